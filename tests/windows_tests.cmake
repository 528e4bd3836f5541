# Tests of the Windows program's parts, in the test process, under Wine.
add_executable(ui_tests
  ui_test_support.cpp
  send_key.cpp
  hotkey_poller_test.cpp
  main_window_test.cpp
  options_dialog_test.cpp
  $<TARGET_OBJECTS:morvi_resources>)
target_link_libraries(ui_tests PRIVATE morvi_ui morvi_test_support GTest::gtest_main)
target_compile_options(ui_tests PRIVATE ${MORVI_WARNINGS})
# Keyboard input is global to the Wine desktop: these tests never run side by side.
add_test(NAME ui_tests_wine COMMAND ui_tests)
set_tests_properties(ui_tests_wine PROPERTIES LABELS "wine" TIMEOUT 900 RESOURCE_LOCK wine_input
  SKIP_RETURN_CODE 125)

# What the window shows on a real screen, under Xvfb; skipped without one.
add_executable(display_tests ui_test_support.cpp send_key.cpp display_test.cpp $<TARGET_OBJECTS:morvi_resources>)
target_link_libraries(display_tests PRIVATE morvi_ui morvi_test_support GTest::gtest)
target_compile_options(display_tests PRIVATE ${MORVI_WARNINGS})
add_test(NAME display_tests_xvfb
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/with-display ${CMAKE_SOURCE_DIR}/scripts/wine-run
          $<TARGET_FILE:display_tests> ${CMAKE_BINARY_DIR}/morvi-window.bmp)
# A prefix of its own: Wine processes of one prefix share one desktop, and the
# other tests' desktop runs on the null driver, without a screen.
set_tests_properties(display_tests_xvfb PROPERTIES LABELS "display" TIMEOUT 600 SKIP_RETURN_CODE 125
  RESOURCE_LOCK wine_input ENVIRONMENT "MORVI_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-display")

# The real Morvi.exe driven from outside: a driver program of ours starts it in
# scratch folders. The soak cases take a few minutes and carry their own label.
add_executable(blackbox_tests blackbox/blackbox_test.cpp blackbox/morvi_process.cpp send_key.cpp)
target_include_directories(blackbox_tests PRIVATE blackbox)
target_link_libraries(blackbox_tests PRIVATE morvi_test_support winmm)
target_compile_options(blackbox_tests PRIVATE ${MORVI_WARNINGS})
add_dependencies(blackbox_tests Morvi)
add_test(NAME blackbox_wine COMMAND blackbox_tests --morvi=$<TARGET_FILE:Morvi> --gtest_filter=BlackBox.*)
add_test(NAME soak_wine COMMAND blackbox_tests --morvi=$<TARGET_FILE:Morvi> --gtest_filter=Soak.*)
set_tests_properties(blackbox_wine PROPERTIES LABELS "wine" TIMEOUT 900 RESOURCE_LOCK wine_input
  SKIP_RETURN_CODE 125)
set_tests_properties(soak_wine PROPERTIES LABELS "wine;soak" TIMEOUT 1800 RESOURCE_LOCK wine_input
  SKIP_RETURN_CODE 125)
