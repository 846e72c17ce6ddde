# The Windows build (the win32 preset): the setup program, the group
# converter and the stand-in game as Windows programs in ${VX_DIST_DIR}, beside
# the placeholder game files and runtime libraries from demo/, and the tests
# that run them under Wine.

set(VX_WIN32_SYSTEM_LIBRARIES shell32 ole32 oleaut32 uuid version user32 gdi32)
# GCC 12 warns falsely about string concatenation inlined at -O2 (its bug 105329).
add_compile_options(-Wno-restrict)

# The pass-through system services and the real dialog manager.
add_library(vx_win32 STATIC
  ${PROJECT_SOURCE_DIR}/platform/win32/win32_system_services.cpp
  ${PROJECT_SOURCE_DIR}/platform/win32/desktop_shell.cpp
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

# Each program's application manifest and version resource, from the
# project's version. The setup program asks for administrator rights (it
# writes the Windows and system directories) and the system's look of its
# controls (Common Controls 6); the others run as their caller.
set(VX_VERSION_NUMBERS)
foreach(part MAJOR MINOR PATCH TWEAK)
  if("${PROJECT_VERSION_${part}}" STREQUAL "")
    list(APPEND VX_VERSION_NUMBERS 0)
  else()
    list(APPEND VX_VERSION_NUMBERS ${PROJECT_VERSION_${part}})
  endif()
endforeach()
list(JOIN VX_VERSION_NUMBERS "," VX_VERSION_COMMAS)
list(JOIN VX_VERSION_NUMBERS "." VX_VERSION_DOTS)
set(VX_COMMON_CONTROLS_6 [=[
  <dependency>
    <dependentAssembly>
      <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>
    </dependentAssembly>
  </dependency>
]=])
# vx_program_resources(<target> <file name without .exe> <description>
#                      <assembly name> <execution level> [ICON <file>] [COMMON_CONTROLS])
function(vx_program_resources target name description assembly level)
  cmake_parse_arguments(PARSE_ARGV 5 arg "COMMON_CONTROLS" "ICON" "")
  set(VX_PROGRAM_NAME ${name})
  set(VX_FILE_DESCRIPTION ${description})
  set(VX_ASSEMBLY_NAME ${assembly})
  set(VX_EXECUTION_LEVEL ${level})
  set(VX_MANIFEST_DEPENDENCIES "")
  if(arg_COMMON_CONTROLS)
    set(VX_MANIFEST_DEPENDENCIES "${VX_COMMON_CONTROLS_6}")
  endif()
  set(VX_ICON_LINE "")
  set(depends)
  if(arg_ICON)
    set(VX_ICON_LINE "1 ICON \"${arg_ICON}\"")
    set(depends ${arg_ICON})
  endif()
  set(VX_MANIFEST_FILE ${CMAKE_BINARY_DIR}/generated/${name}.manifest)
  set(rc ${CMAKE_BINARY_DIR}/generated/${name}_program.rc)
  configure_file(${PROJECT_SOURCE_DIR}/platform/win32/program.manifest.in ${VX_MANIFEST_FILE} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/platform/win32/program.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${VX_MANIFEST_FILE};${depends}")
  target_sources(${target} PRIVATE ${rc})
endfunction()

add_executable(vx_install WIN32
  ${PROJECT_SOURCE_DIR}/app/win32_main.cpp ${PROJECT_SOURCE_DIR}/app/install_app.cpp
  ${VX_INSTALL_RC})
target_link_libraries(vx_install PRIVATE vx_ui vx_win32)
set_target_properties(vx_install PROPERTIES OUTPUT_NAME install RUNTIME_OUTPUT_DIRECTORY ${VX_DIST_DIR})
vx_program_resources(vx_install install "Vornalux! Setup" Setup requireAdministrator
                     COMMON_CONTROLS)

# The same converter as the Linux one; its shortcuts are saved by the shell.
add_library(vx_grpconv STATIC ${PROJECT_SOURCE_DIR}/platform/grpconv/converter.cpp
                              ${PROJECT_SOURCE_DIR}/platform/grpconv/group_script.cpp)
target_include_directories(vx_grpconv PUBLIC ${PROJECT_SOURCE_DIR})
add_executable(grpconv WIN32 ${PROJECT_SOURCE_DIR}/platform/win32/grpconv_main.cpp)
target_link_libraries(grpconv PRIVATE vx_grpconv shell32 ole32 uuid)
set_target_properties(grpconv PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VX_DIST_DIR})
vx_program_resources(grpconv grpconv "Start Menu group converter" GroupConverter asInvoker)

# The stand-in game.
add_executable(vx_demo_game WIN32 ${PROJECT_SOURCE_DIR}/demo/win32/vornalux_game.cpp)
set_target_properties(vx_demo_game PROPERTIES OUTPUT_NAME vornalux
                      RUNTIME_OUTPUT_DIRECTORY ${VX_DIST_DIR})
vx_program_resources(vx_demo_game vornalux "Vornalux!" Game asInvoker ICON ${VX_ICON_FILE})

if(VX_BUILD_TESTS)
  enable_testing()
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/win32 ${CMAKE_BINARY_DIR}/tests)
endif()
