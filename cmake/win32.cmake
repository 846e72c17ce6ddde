# The Windows build (the win32 preset): the setup program, the group
# converter and the stand-in game as Windows programs in ${VX_DIST_DIR}, beside
# the placeholder game files and runtime libraries from demo/, and the tests
# that run them under Wine.

set(VX_WIN32_SYSTEM_LIBRARIES shell32 ole32 version user32 gdi32)
# GCC 12 warns falsely about string concatenation inlined at -O2 (its bug 105329).
add_compile_options(-Wno-restrict)

# The pass-through system services and the real dialog manager.
add_library(vx_win32 STATIC
  ${PROJECT_SOURCE_DIR}/platform/win32/win32_system_services.cpp
  ${PROJECT_SOURCE_DIR}/platform/win32/win32_window_backend.cpp)
target_include_directories(vx_win32 PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vx_win32 PUBLIC vx_framework ${VX_WIN32_SYSTEM_LIBRARIES})

# The icon group and the banner bitmap, under the identifiers ui/resource.h gives them.
file(STRINGS ${PROJECT_SOURCE_DIR}/ui/resource.h VX_RESOURCE_LINES REGEX "constexpr int ID")
foreach(name IDR_MAINFRAME IDB_BANNER)
  string(REGEX MATCH "${name} = ([0-9]+)" found "${VX_RESOURCE_LINES}")
  if(NOT found)
    message(FATAL_ERROR "ui/resource.h does not define ${name}")
  endif()
  set(VX_${name} ${CMAKE_MATCH_1})
endforeach()
set(VX_ICON_FILE ${PROJECT_SOURCE_DIR}/ui/icon.ico)
set(VX_BANNER_FILE ${PROJECT_SOURCE_DIR}/ui/banner.bmp)
set(VX_INSTALL_RC ${CMAKE_BINARY_DIR}/generated/install.rc)
configure_file(${PROJECT_SOURCE_DIR}/platform/win32/install.rc.in ${VX_INSTALL_RC} @ONLY)
set_source_files_properties(${VX_INSTALL_RC} PROPERTIES
  OBJECT_DEPENDS "${VX_ICON_FILE};${VX_BANNER_FILE}")

add_executable(vx_install WIN32
  ${PROJECT_SOURCE_DIR}/app/win32_main.cpp ${PROJECT_SOURCE_DIR}/app/install_app.cpp
  ${VX_INSTALL_RC})
target_link_libraries(vx_install PRIVATE vx_ui vx_win32)
set_target_properties(vx_install PROPERTIES OUTPUT_NAME install RUNTIME_OUTPUT_DIRECTORY ${VX_DIST_DIR})

# The converter from the same parser and shortcut writer as the Linux one.
add_library(vx_grpconv STATIC
  ${PROJECT_SOURCE_DIR}/platform/grpconv/group_script.cpp
  ${PROJECT_SOURCE_DIR}/platform/grpconv/shell_link.cpp)
target_include_directories(vx_grpconv PUBLIC ${PROJECT_SOURCE_DIR})
add_executable(grpconv WIN32 ${PROJECT_SOURCE_DIR}/platform/win32/grpconv_main.cpp)
target_link_libraries(grpconv PRIVATE vx_grpconv)
set_target_properties(grpconv PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VX_DIST_DIR})

# The stand-in game.
add_executable(vx_demo_game WIN32 ${PROJECT_SOURCE_DIR}/demo/win32/vornalux_game.cpp)
set_target_properties(vx_demo_game PROPERTIES OUTPUT_NAME vornalux
                      RUNTIME_OUTPUT_DIRECTORY ${VX_DIST_DIR})

if(VX_BUILD_TESTS)
  enable_testing()
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/win32 ${CMAKE_BINARY_DIR}/tests)
endif()
