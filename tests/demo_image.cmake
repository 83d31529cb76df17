# The demo image kept in the repository (carts/demo/demo.gba, which
# scripts/run starts) must be exactly what the sources build.
if(TARGET cart_demo)
  add_test(NAME DemoImage.CommittedImageMatchesTheSources
           COMMAND ${CMAKE_COMMAND} -E compare_files
                   ${CMAKE_BINARY_DIR}/carts/demo.gba ${CMAKE_SOURCE_DIR}/carts/demo/demo.gba)
endif()
