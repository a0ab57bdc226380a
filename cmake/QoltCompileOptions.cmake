# Warnings, instrumentation and link policy shared by every target of the
# project.
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
