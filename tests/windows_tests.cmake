# Tests of the Windows program's parts, in the test process, under Wine.

# A test that needs a screen: under Xvfb with a window manager (skipped, 125,
# when none can be had), on a Windows of a locale (its ANSI code page and
# interface language) and a scale (DPI). Each such configuration has a Wine
# prefix of its own, made once, apart from the tests without a screen, since
# Wine processes of one prefix share one desktop. Keyboard input is global to
# the Wine desktop: such tests never run side by side.
function(morvi_screen_test name label locale dpi)
  add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/scripts/with-display ${CMAKE_SOURCE_DIR}/scripts/wine-run ${ARGN})
  set(environment "MORVI_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-${locale}-${dpi}" "MORVI_WINE_LOCALE=${locale}.UTF-8")
  if(NOT dpi EQUAL 96)
    list(APPEND environment "MORVI_WINE_DPI=${dpi}")
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${label}" TIMEOUT 900 SKIP_RETURN_CODE 125
    RESOURCE_LOCK wine_input ENVIRONMENT "${environment}")
endfunction()

add_executable(ui_tests
  ui_test_support.cpp
  send_key.cpp
  hotkey_poller_test.cpp
  main_window_test.cpp
  options_dialog_test.cpp
  $<TARGET_OBJECTS:morvi_resources>)
target_link_libraries(ui_tests PRIVATE morvi_ui morvi_test_support winmm imm32 GTest::gtest_main)
target_compile_options(ui_tests PRIVATE ${MORVI_WARNINGS})
# The options dialog, focus and the mouse: on a desktop like a user's.
morvi_screen_test(ui_tests_screen "wine;display" ja_JP 96 $<TARGET_FILE:ui_tests>)

# What the window shows on a real screen, under Xvfb; skipped without one.
add_executable(display_tests ui_test_support.cpp send_key.cpp display_test.cpp $<TARGET_OBJECTS:morvi_resources>)
target_link_libraries(display_tests PRIVATE morvi_ui morvi_test_support winmm GTest::gtest)
target_compile_options(display_tests PRIVATE ${MORVI_WARNINGS})
morvi_screen_test(display_tests_screen display ja_JP 96 $<TARGET_FILE:display_tests>
                  ${CMAKE_BINARY_DIR}/morvi-window.bmp)
set_property(TEST display_tests_screen APPEND PROPERTY ENVIRONMENT "MORVI_EXPECT_ACP=932")
# What the user reads on a Western and on a Cyrillic Windows (ANSI code pages
# 1252 and 1251), each in a prefix of its own.
foreach(system en_US:1252 ru_RU:1251)
  string(REPLACE ":" ";" parts ${system})
  list(GET parts 0 locale)
  list(GET parts 1 codePage)
  morvi_screen_test(texts_${locale}_screen display ${locale} 96 $<TARGET_FILE:display_tests> --gtest_filter=Texts.*
                    ${CMAKE_BINARY_DIR}/morvi-window-${locale}.bmp)
  set_property(TEST texts_${locale}_screen APPEND PROPERTY ENVIRONMENT "MORVI_EXPECT_ACP=${codePage}")
endforeach()
# The English dialogs on a desktop at 150 %: nothing cut off there either.
morvi_screen_test(texts_en_US_144dpi_screen display en_US 144 $<TARGET_FILE:display_tests>
                  --gtest_filter=Texts.* ${CMAKE_BINARY_DIR}/morvi-window-en_US-144dpi.bmp)
set_property(TEST texts_en_US_144dpi_screen APPEND PROPERTY ENVIRONMENT "MORVI_EXPECT_ACP=1252")
# The same on a desktop scaled to 150 %, in a prefix made at 144 DPI.
morvi_screen_test(display_144dpi_screen display ja_JP 144 $<TARGET_FILE:display_tests> --gtest_filter=HighDpi.*
                  ${CMAKE_BINARY_DIR}/morvi-window-144dpi.bmp)

# The real Morvi.exe driven from outside: a driver program of ours starts it in
# scratch folders. The soak cases take a few minutes and carry their own label.
add_executable(blackbox_tests blackbox/blackbox_test.cpp blackbox/morvi_process.cpp send_key.cpp)
target_link_libraries(blackbox_tests PRIVATE morvi_test_support winmm version)
target_compile_options(blackbox_tests PRIVATE ${MORVI_WARNINGS})
add_dependencies(blackbox_tests Morvi)
# DLLs named as the two that Morvi loads from the system folder, for planting
# beside a copy of it.
foreach(name winmm dinput)
  add_library(planted_${name} SHARED blackbox/planted_dll.cpp)
  set_target_properties(planted_${name} PROPERTIES OUTPUT_NAME ${name} PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/planted)
  target_compile_options(planted_${name} PRIVATE ${MORVI_WARNINGS})
  # No runtime DLL of its own, or it could not load anywhere.
  target_link_options(planted_${name} PRIVATE -static -static-libgcc -static-libstdc++)
  add_dependencies(blackbox_tests planted_${name})
endforeach()
# Hotkeys with another window in front, the options dialog: on the screen.
morvi_screen_test(blackbox_screen "wine;display" ja_JP 96 $<TARGET_FILE:blackbox_tests> --morvi=$<TARGET_FILE:Morvi>
                  --gtest_filter=BlackBox.*)
# With Wine told to prefer a DLL in the program's folder, as Windows does.
morvi_screen_test(planted_dlls_screen "wine;display" ja_JP 96 $<TARGET_FILE:blackbox_tests>
                  --morvi=$<TARGET_FILE:Morvi> --planted=${CMAKE_BINARY_DIR}/planted --gtest_filter=Planted.*)
set_property(TEST planted_dlls_screen APPEND PROPERTY ENVIRONMENT "MORVI_WINEDLLOVERRIDES=winmm,dinput=n,b")
# No key is typed: beside the screen tests, in a prefix of its own.
add_test(NAME soak_wine COMMAND blackbox_tests --morvi=$<TARGET_FILE:Morvi> --gtest_filter=Soak.*)
set_tests_properties(soak_wine PROPERTIES LABELS "wine;soak" TIMEOUT 1800 SKIP_RETURN_CODE 125)

# The release zip, packed twice, unpacked, and its program started once.
add_test(NAME dist_wine COMMAND ${CMAKE_SOURCE_DIR}/tests/dist_test.sh $<TARGET_FILE:Morvi>
                                $<TARGET_FILE:blackbox_tests> ${PROJECT_VERSION})
set_tests_properties(dist_wine PROPERTIES LABELS "wine" TIMEOUT 300 SKIP_RETURN_CODE 125)
