# End-to-end tests of the real program in a private X server (label e2e).
find_program(XVFB Xvfb)
find_program(XDOTOOL xdotool)
find_package(X11)
if(XVFB AND XDOTOOL AND X11_FOUND)
  add_executable(send_close ${CMAKE_CURRENT_SOURCE_DIR}/e2e/send_close.c)
  target_link_libraries(send_close PRIVATE X11::X11)
  set_target_properties(send_close PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_executable(demo_counter ${CMAKE_CURRENT_SOURCE_DIR}/e2e/demo_counter.cpp)
  target_include_directories(demo_counter PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(demo_counter PRIVATE PNG::PNG)
  set_target_properties(demo_counter PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  foreach(case window demo_start demo_buttons demo_methods scaled_window close_request no_dialog
                no_display usage f1_failures real_zenity paced fast_forward pause restart
                method_title screenshot)
    add_test(NAME e2e.${case}
      COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e.sh ${case} ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
    # One X server at a time: two private servers started side by side under
    # load have left a program unable to open its window.
    set_tests_properties(e2e.${case} PROPERTIES LABELS e2e TIMEOUT 120 RUN_SERIAL TRUE)
  endforeach()
else()
  message(WARNING "Xvfb, xdotool or X11 missing: the end-to-end tests are not built")
endif()
