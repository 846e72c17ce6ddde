# The user's menu folders hold the same files of ours after the test run as
# before it (MODE=snapshot records them, MODE=check compares), and the build
# tree's fallback home, which every test sees unless it sets its own, holds
# none at all.
cmake_minimum_required(VERSION 3.25)

set(data "$ENV{XDG_DATA_HOME}")
if(NOT IS_ABSOLUTE "${data}")
  set(data "$ENV{HOME}/.local/share")
endif()
set(config "$ENV{XDG_CONFIG_HOME}")
if(NOT IS_ABSOLUTE "${config}")
  set(config "$ENV{HOME}/.config")
endif()

function(files_of_ours out)
  set(found)
  foreach(root IN LISTS ARGN)
    file(GLOB_RECURSE files LIST_DIRECTORIES false "${root}/*vornalux-setup-*")
    list(APPEND found ${files})
  endforeach()
  file(GLOB records LIST_DIRECTORIES false "${data}/vornalux-setup-*")
  list(APPEND found ${records})
  set(stamped)
  foreach(file IN LISTS found)
    file(TIMESTAMP "${file}" stamp "%s")
    list(APPEND stamped "${file}@${stamp}")
  endforeach()
  list(SORT stamped)
  set(${out} "${stamped}" PARENT_SCOPE)
endfunction()

files_of_ours(now "${data}/applications" "${data}/desktop-directories" "${data}/icons/hicolor"
              "${config}/menus/applications-merged")
if(MODE STREQUAL "snapshot")
  file(REMOVE_RECURSE "${TEST_HOME}")
  file(WRITE "${RECORD}" "${now}")
  return()
endif()

file(READ "${RECORD}" before)
if(NOT before STREQUAL now)
  message(FATAL_ERROR "the tests changed the user's menu files of ours:\nbefore: ${before}\nafter: ${now}")
endif()
file(GLOB_RECURSE leaked LIST_DIRECTORIES false "${TEST_HOME}/*vornalux-setup-*")
if(leaked)
  message(FATAL_ERROR "a test wrote menu files into the fallback home: ${leaked}")
endif()
