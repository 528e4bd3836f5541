# Tests of the Windows program's parts, in the test process, under Wine.
add_executable(ui_tests
  ui_test_support.cpp
  hotkey_poller_test.cpp
  main_window_test.cpp
  options_dialog_test.cpp
  $<TARGET_OBJECTS:morvi_resources>)
target_link_libraries(ui_tests PRIVATE morvi_ui morvi_test_support GTest::gtest_main)
target_compile_options(ui_tests PRIVATE ${MORVI_WARNINGS})
# Keyboard input is global to the Wine desktop: these tests never run side by side.
add_test(NAME ui_tests_wine COMMAND ui_tests)
set_tests_properties(ui_tests_wine PROPERTIES LABELS "wine" TIMEOUT 900 RESOURCE_LOCK wine_input)

# What the window shows on a real screen, under Xvfb; skipped without one.
add_executable(display_tests ui_test_support.cpp display_test.cpp $<TARGET_OBJECTS:morvi_resources>)
target_link_libraries(display_tests PRIVATE morvi_ui morvi_test_support GTest::gtest)
target_compile_options(display_tests PRIVATE ${MORVI_WARNINGS})
add_test(NAME display_tests_xvfb
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/with-display ${CMAKE_SOURCE_DIR}/scripts/wine-run
          $<TARGET_FILE:display_tests> ${CMAKE_BINARY_DIR}/morvi-window.bmp)
# A prefix of its own: Wine processes of one prefix share one desktop, and the
# other tests' desktop runs on the null driver, without a screen.
set_tests_properties(display_tests_xvfb PROPERTIES LABELS "display" TIMEOUT 600 SKIP_RETURN_CODE 125
  RESOURCE_LOCK wine_input ENVIRONMENT "MORVI_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-display")
