# Makes the Wine prefix the Windows tests run in anew: removed, then created
# and settled, so that every run starts from Wine's own fresh machine.
# With -DSHUTDOWN=ON it only ends the prefix's Wine server and the programs
# still running in it.
# Arguments: -DPREFIX=<folder> -DWINE=<wine64 launcher> -DWINESERVER=<wineserver>
set(ENV{WINEPREFIX} ${PREFIX})
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} winemenubuilder.exe=d)
execute_process(COMMAND ${WINESERVER} -k OUTPUT_QUIET ERROR_QUIET)
if(SHUTDOWN)
  return()
endif()
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${WINE} wineboot --init RESULT_VARIABLE booted OUTPUT_QUIET ERROR_QUIET
                TIMEOUT 300)
execute_process(COMMAND ${WINESERVER} -w TIMEOUT 300)
if(NOT booted EQUAL 0 OR NOT EXISTS ${PREFIX}/drive_c/windows)
  message(FATAL_ERROR "could not create the Wine prefix ${PREFIX} (${booted})")
endif()
message(STATUS "fresh Wine prefix in ${PREFIX}")
