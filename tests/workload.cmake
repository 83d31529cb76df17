# The C workload built for the host: the cartridge test compares what the
# console prints with what this program prints.
add_executable(workload_host ${CMAKE_SOURCE_DIR}/carts/workload/workload.c)
if(TARGET cart_tests)
  target_compile_definitions(cart_tests PRIVATE WORKLOAD_HOST="$<TARGET_FILE:workload_host>")
  add_dependencies(cart_tests workload_host)
endif()
