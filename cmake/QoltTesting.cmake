# Test registration for both libraries: GoogleTest binaries, the checks of a
# built shared library's binary interface, and the X display the dialog
# tests run on.  Included by the top level; the functions are called from
# each library's tests/ folder.

# Runs a command on the caller's display or a private Xvfb; with
# --screen WxHxD always on a private Xvfb of that size.
set(QOLT_WITH_DISPLAY ${CMAKE_CURRENT_LIST_DIR}/../tools/with_display.sh)
# What the dialog tests run through: with QOLT_PRIVATE_XVFB, a private Xvfb
# even on a desktop's display (a package build must open no window there).
set(_qolt_display_runner ${QOLT_WITH_DISPLAY})
if(QOLT_PRIVATE_XVFB)
  list(APPEND _qolt_display_runner --private)
endif()
set(_qolt_test_scripts ${CMAKE_CURRENT_LIST_DIR}/../tests)

# The environment that hands a cross build's emulator to the test scripts
# that run the build's programs themselves ($QOLT_EMULATOR, words split).
string(JOIN " " _qolt_emulator ${CMAKE_CROSSCOMPILING_EMULATOR})
set(QOLT_EMULATOR_ENVIRONMENT "QOLT_EMULATOR=${_qolt_emulator}")

if(NOT QOLT_TESTS)
  return()
endif()

find_package(GTest REQUIRED)
include(GoogleTest)

# qolt_add_test(name SOURCES ... LIBS ... LABEL label [LARGE] [MAIN target]
#               [DISPLAY] [SERIAL] [TIMEOUT s] [ENVIRONMENT var=value...]
#               [VARIANT_OPTION --flag VARIANTS value...])
# A GoogleTest binary registered with CTest, one CTest test per GoogleTest
# test.
#   MAIN: a library that holds main(), instead of gtest_main.
#   VARIANTS: the binary is registered once as it is, then once more per
#     value with <VARIANT_OPTION>=<value> on its command line, its tests
#     prefixed "<value>/".
#   LARGE: the binary also holds tests named *Large*, which need gigabytes or
#     minutes; they are registered once, with the label "large" and nothing
#     else, only when QOLT_LARGE_TESTS is on.
#   DISPLAY: every process runs on an X display (QOLT_WITH_DISPLAY); one
#     that finds no X server exits with 77, which CTest counts as skipped.
#   SERIAL: no other test runs at the same time (for tests that drive the X
#     server's own pointer, or time what a busy machine would stretch).
function(qolt_add_test name)
  cmake_parse_arguments(T "LARGE;DISPLAY;SERIAL" "LABEL;MAIN;TIMEOUT;VARIANT_OPTION"
                        "SOURCES;LIBS;ENVIRONMENT;VARIANTS" ${ARGN})
  if(NOT T_MAIN)
    set(T_MAIN GTest::gtest_main)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest ${T_MAIN}
                        qolt_warnings qolt_instrument)
  # The emulator of a cross build (the toolchain's) runs inside the display
  # helper, for test discovery as for the tests.
  if(T_DISPLAY)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
                          "${_qolt_display_runner};${CMAKE_CROSSCOMPILING_EMULATOR}")
  endif()

  # gtest_discover_tests writes the properties out unquoted, so a list value
  # (several labels, several variables) would break into separate
  # properties: one label per binary, one variable.
  set(properties LABELS "${T_LABEL}" TIMEOUT ${T_TIMEOUT})
  if(T_ENVIRONMENT)
    list(APPEND properties ENVIRONMENT ${T_ENVIRONMENT})
  endif()
  if(T_SERIAL)
    list(APPEND properties RUN_SERIAL TRUE)
  endif()
  if(T_DISPLAY)
    list(APPEND properties SKIP_RETURN_CODE 77)
  endif()
  set(filter "")
  if(T_LARGE)
    set(filter TEST_FILTER "-*Large*")
  endif()
  gtest_discover_tests(${name} ${filter} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
  foreach(variant IN LISTS T_VARIANTS)
    gtest_discover_tests(${name} ${filter} DISCOVERY_TIMEOUT 60
                         EXTRA_ARGS ${T_VARIANT_OPTION}=${variant} TEST_PREFIX ${variant}/
                         PROPERTIES ${properties})
  endforeach()
  if(T_LARGE AND QOLT_LARGE_TESTS)
    gtest_discover_tests(${name} TEST_FILTER "*Large*" DISCOVERY_TIMEOUT 60
                         PROPERTIES LABELS large TIMEOUT 1800)
  endif()
endfunction()

# qolt_add_abi_tests(TARGET target SONAME soname EXPORTS file LABEL label
#                    [READ_ONLY symbol-regex])
# The binary interface of a built shared library, as two tests:
#   <target>_exports: its soname, exactly the committed exports, and the
#     named local tables in read-only data;
#   <target>_own_calls: no dynamic relocation names a symbol the library
#     defines, so its calls to itself and its own function addresses are
#     bound at link time.
function(qolt_add_abi_tests)
  cmake_parse_arguments(A "" "TARGET;SONAME;EXPORTS;LABEL;READ_ONLY" "" ${ARGN})
  add_test(NAME ${A_TARGET}_exports
           COMMAND ${_qolt_test_scripts}/check_exports.sh $<TARGET_FILE:${A_TARGET}>
                   ${A_SONAME} ${A_EXPORTS} ${A_READ_ONLY})
  add_test(NAME ${A_TARGET}_own_calls
           COMMAND ${_qolt_test_scripts}/check_self_binding.sh $<TARGET_FILE:${A_TARGET}>)
  set_tests_properties(${A_TARGET}_exports ${A_TARGET}_own_calls PROPERTIES LABELS ${A_LABEL})
endfunction()
