# Warnings and instrumentation shared by every target of the project.
# Distribution flags (-O levels) are left to CMAKE_BUILD_TYPE / CXXFLAGS.

add_library(qolt_warnings INTERFACE)
target_compile_options(qolt_warnings INTERFACE
  -Wall -Wextra -Wformat=2 -Wshadow -Wcast-qual
  $<$<BOOL:${QOLT_WERROR}>:-Werror>)

add_library(qolt_instrument INTERFACE)
if(QOLT_SANITIZE OR QOLT_TSAN OR QOLT_FUZZ)
  target_compile_definitions(qolt_instrument INTERFACE QOLT_INSTRUMENTED)
endif()
if(QOLT_SANITIZE)
  target_compile_options(qolt_instrument INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
    # GCC's variable tracking on the unrolled, UBSan-checked cipher rounds
    # takes minutes and then gives up; reports keep their file and line.
    $<$<CXX_COMPILER_ID:GNU>:-fno-var-tracking-assignments>)
  target_link_options(qolt_instrument INTERFACE -fsanitize=address,undefined)
endif()
if(QOLT_TSAN)
  target_compile_options(qolt_instrument INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(qolt_instrument INTERFACE -fsanitize=thread)
endif()
# Fuzzing: the libraries get coverage hooks and the sanitizers; only the fuzz
# targets themselves link libFuzzer (-fsanitize=fuzzer).
if(QOLT_FUZZ)
  target_compile_options(qolt_instrument INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer)
  target_link_options(qolt_instrument INTERFACE -fsanitize=address,undefined)
endif()

# Shared objects must resolve every symbol at link time, except under the
# sanitizers, whose runtime lives in the executable.
if(QOLT_SANITIZE OR QOLT_TSAN OR QOLT_FUZZ)
  set(QOLT_NO_UNDEFINED "")
else()
  set(QOLT_NO_UNDEFINED "-Wl,-z,defs")
endif()

# add_qolt_test(name SOURCES ... LIBS ... LABEL label [LARGE] [BACKENDS name...]):
# a GoogleTest binary registered with CTest.  With BACKENDS, the binary takes
# the cipher tests' main and is registered once as the processor chooses and
# once more per named cipher backend, its tests prefixed "backend/".  LARGE:
# the binary also holds tests named *Large*, which need gigabytes or minutes;
# they are registered once, with the label "large" and nothing else, only when
# QOLT_LARGE_TESTS is on.
function(add_qolt_test name)
  cmake_parse_arguments(T "LARGE" "LABEL" "SOURCES;LIBS;BACKENDS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_BACKENDS)
    target_sources(${name} PRIVATE ${pelidor_libraries_SOURCE_DIR}/tests/support/backend_main.cpp)
    set(main_lib "")
  else()
    set(main_lib GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest ${main_lib}
                        qolt_warnings qolt_instrument)
  # gtest_discover_tests writes the properties out unquoted, so a list of
  # labels would break into separate properties: one label per binary.
  set(filter "")
  if(T_LARGE)
    set(filter TEST_FILTER "-*Large*")
  endif()
  gtest_discover_tests(${name} ${filter} DISCOVERY_TIMEOUT 60
                       PROPERTIES LABELS "${T_LABEL}" TIMEOUT 300)
  foreach(backend IN LISTS T_BACKENDS)
    gtest_discover_tests(${name} ${filter} DISCOVERY_TIMEOUT 60
                         EXTRA_ARGS --backend=${backend} TEST_PREFIX ${backend}/
                         PROPERTIES LABELS "${T_LABEL}" TIMEOUT 300)
  endforeach()
  if(T_LARGE AND QOLT_LARGE_TESTS)
    gtest_discover_tests(${name} TEST_FILTER "*Large*" DISCOVERY_TIMEOUT 60
                         PROPERTIES LABELS large TIMEOUT 1800)
  endif()
endfunction()
