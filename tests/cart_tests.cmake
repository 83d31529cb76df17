# Cartridge tests: each runs the real quorrant-run on a cartridge built from
# carts/ and checks what it reports (results block, registers, picture hash).
if(TARGET cartridges)
  file(GLOB CART_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/carts/*.cpp)
  add_executable(cart_tests ${CART_TEST_SOURCES})
  target_link_libraries(cart_tests PRIVATE ${GTEST_TARGETS})
  target_include_directories(cart_tests PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(cart_tests PRIVATE
    QUORRANT_RUN="$<TARGET_FILE:quorrant-run>"
    CART_DIR="${CMAKE_BINARY_DIR}/carts"
    CART_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/tests")
  add_dependencies(cart_tests quorrant-run cartridges)
  gtest_discover_tests(cart_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endif()
