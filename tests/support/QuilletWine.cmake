# The Wine test harness, for every CMakeLists.txt of the project (included from
# tests/CMakeLists.txt before any test folder).
#
# Paths, usable in both builds (the helpers are Linux programs built with the
# host compiler even in the MinGW build; target quillet_host_helpers):
#   QUILLET_PTYPAIR    null-modem helper: ptypair [--control FIFO] LINK1 LINK2
#   QUILLET_MODEMSHIM  modem-line shim, preloaded into Wine (LD_PRELOAD)
#   QUILLET_WINE_RUN   the CTest emulator: wine-run <build-dir> <exe> [args...]
#   QUILLET_WINE_ENV   wine-env start|stop|env|register-com <build-dir> ...
#
# quillet_add_wine_test(NAME <name> COMMAND <target-or-exe> [args...]
#                       [COM_PAIR <a> <b>] [REGISTER_COM]
#                       [LABELS <label>...] [TIMEOUT <seconds>]
#                       [ENVIRONMENT <VAR=value>...] [WORKING_DIRECTORY <dir>])
#   Adds a test that runs a Windows program under Wine through wine-run, in the
#   build's shared prefix and display. COM_PAIR links a fresh null-modem pair
#   as COM<a> <-> COM<b> for this test only (both ends are COM ports in the
#   prefix: open one from the program under test, write on the other);
#   REGISTER_COM also lists them in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM.
#   COM_PAIR <a> <b> <c> <d> links two pairs (control of the second pair:
#   QUILLET_COM_CONTROL2_WIN). The
#   program finds QUILLET_MODEM_LINES_WIN (file setting the modem lines),
#   QUILLET_COM_CONTROL_WIN (write "unplug 2\n"/"plug 2\n") and
#   QUILLET_ARTIFACTS_WIN (folder for screenshots) in its environment; see
#   tests/support/wine-run. LABELS defaults to "win", TIMEOUT to 120 s. Wine
#   tests share the prefix, display and COM links, so they hold one resource
#   lock and never run side by side.

set(QUILLET_PTYPAIR ${CMAKE_BINARY_DIR}/tests/support/ptypair
  CACHE INTERNAL "Null-modem helper (Linux program)")
set(QUILLET_MODEMSHIM ${CMAKE_BINARY_DIR}/tests/support/libquillet_modemshim.so
  CACHE INTERNAL "Modem-line shim preloaded into Wine")
set(QUILLET_WINE_RUN ${CMAKE_SOURCE_DIR}/tests/support/wine-run
  CACHE INTERNAL "Runs a Windows program under the build's Wine environment")
set(QUILLET_WINE_ENV ${CMAKE_SOURCE_DIR}/tests/support/wine-env
  CACHE INTERNAL "Starts and stops the build's Wine environment")

function(quillet_add_wine_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "REGISTER_COM" "NAME;TIMEOUT;WORKING_DIRECTORY"
    "COMMAND;COM_PAIR;LABELS;ENVIRONMENT")
  if(NOT arg_NAME OR NOT arg_COMMAND)
    message(FATAL_ERROR "quillet_add_wine_test: NAME and COMMAND are required")
  endif()
  if(NOT QUILLET_WIN32)
    return()
  endif()
  list(GET arg_COMMAND 0 program)
  set(command ${arg_COMMAND})
  # CMake puts the emulator in front of executable targets itself; anything
  # else (a program given by path) gets wine-run here.
  if(NOT TARGET ${program})
    list(PREPEND command ${QUILLET_WINE_RUN} ${CMAKE_BINARY_DIR})
  endif()
  set(extra)
  if(arg_WORKING_DIRECTORY)
    set(extra WORKING_DIRECTORY ${arg_WORKING_DIRECTORY})
  endif()
  add_test(NAME ${arg_NAME} COMMAND ${command} ${extra})

  set(environment ${arg_ENVIRONMENT})
  if(arg_COM_PAIR)
    list(LENGTH arg_COM_PAIR n)
    math(EXPR odd "${n} % 2")
    if(n EQUAL 0 OR odd)
      message(FATAL_ERROR "quillet_add_wine_test(${arg_NAME}): COM_PAIR takes pairs of port numbers")
    endif()
    set(pairs)
    math(EXPR last "${n} - 1")
    foreach(i RANGE 0 ${last} 2)
      math(EXPR j "${i} + 1")
      list(GET arg_COM_PAIR ${i} a)
      list(GET arg_COM_PAIR ${j} b)
      list(APPEND pairs "${a}:${b}")
    endforeach()
    list(JOIN pairs "," pair)
    list(APPEND environment QUILLET_COM_PAIR=${pair})
    if(arg_REGISTER_COM)
      list(APPEND environment QUILLET_COM_REGISTER=1)
    endif()
  endif()
  if(NOT arg_LABELS)
    set(arg_LABELS win)
  endif()
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 120)
  endif()
  set_tests_properties(${arg_NAME} PROPERTIES
    LABELS "${arg_LABELS}" TIMEOUT ${arg_TIMEOUT} RESOURCE_LOCK quillet_wine)
  if(environment)
    set_tests_properties(${arg_NAME} PROPERTIES ENVIRONMENT "${environment}")
  endif()
endfunction()
