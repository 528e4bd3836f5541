# The Windows program and what only Windows builds need.
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")

# Layers, each built on the ones before it: the system DLLs and the functions
# taken from them at run time, the keyboard, the windows.
add_library(morvi_platform STATIC
  platform/system_libraries.cpp
  platform/display_dpi.cpp)
target_include_directories(morvi_platform PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(morvi_platform PRIVATE ${MORVI_WARNINGS})
target_link_libraries(morvi_platform PUBLIC gdi32 user32)

add_library(morvi_input STATIC
  input/keyboard_device.cpp
  input/hotkey_poller.cpp)
target_compile_options(morvi_input PRIVATE ${MORVI_WARNINGS})
# dinput and dxguid give only static data here (the keyboard's data format, its
# GUID): winmm.dll and dinput.dll themselves are loaded from the system folder.
target_link_libraries(morvi_input PUBLIC morvi_platform morvi_core dinput dxguid)

add_library(morvi_ui STATIC
  ui/main_window.cpp
  ui/main_window_proc.cpp
  ui/options_dialog.cpp
  ui/program_text.cpp
  ui/font_faces.cpp
  ui/lap_time_window.cpp
  ui/single_instance.cpp
  ui/setting_switches.cpp
  ui/program_resources.cpp
  ui/app.cpp)
target_compile_options(morvi_ui PRIVATE ${MORVI_WARNINGS})
target_link_libraries(morvi_ui PUBLIC morvi_input comdlg32 gdi32 user32)

# The resources, linked into the program and into the tests that open windows.
configure_file(ui/version.h.in ${CMAKE_BINARY_DIR}/generated/morvi_version.h @ONLY)
add_library(morvi_resources OBJECT ui/morvi.rc)
target_include_directories(morvi_resources PRIVATE ${CMAKE_BINARY_DIR}/generated ${PROJECT_SOURCE_DIR})
set_source_files_properties(ui/morvi.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/ui/options_dialog.rc;${CMAKE_CURRENT_SOURCE_DIR}/ui/options_dialog_en.rc;${CMAKE_CURRENT_SOURCE_DIR}/ui/morvi.ico;${CMAKE_CURRENT_SOURCE_DIR}/ui/morvi.manifest;${CMAKE_CURRENT_SOURCE_DIR}/ui/resource_ids.h")

add_executable(Morvi WIN32 ui/winmain.cpp $<TARGET_OBJECTS:morvi_resources>)
target_compile_options(Morvi PRIVATE ${MORVI_WARNINGS})
target_link_libraries(Morvi PRIVATE morvi_ui)

# The release: the stripped program, README.txt and LICENSE in one zip, the same
# bytes on every run (`make dist` for the 32-bit one).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
  set(MORVI_DIST_NAME Morvi-${PROJECT_VERSION}-win64.zip)
else()
  set(MORVI_DIST_NAME Morvi-${PROJECT_VERSION}-win32.zip)
endif()
add_custom_target(dist
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/dist $<TARGET_FILE:Morvi> ${CMAKE_SOURCE_DIR}/dist/${MORVI_DIST_NAME}
  DEPENDS Morvi VERBATIM)
