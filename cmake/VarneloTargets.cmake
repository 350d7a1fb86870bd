# Target helpers shared by every folder: libraries, tests, fuzz targets and benchmarks.
#
#   va_library(name [WIN32] SOURCES ... [SOURCES_WIN32 ...] [SOURCES_POSIX ...] [DEPS ...])
#     WIN32 marks a library that calls Windows; it exists only in the i686 build. A library without
#     it is portable core: it builds everywhere and must never include windows.h. SOURCES_WIN32 and
#     SOURCES_POSIX hold the few files a portable library implements per platform.
#   va_test(name [WIN32] [SERIAL] SOURCES ... [DEPS ...] [JUDGES ...] [LAUNCHER command...])
#     One GoogleTest executable, one CTest test. In the i686 build it runs under Wine. LAUNCHER runs
#     the test through a command (which starts the servers the test talks to, say) that ends with
#     the test's own command line and returns its status. SERIAL runs it alone: the Wine tests
#     share one Xvfb screen, and a window another test shows can take the focus, activation or
#     mouse capture that a test of dialogs and input depends on. JUDGES names
#     the peers it compares with (va_require_judge, VarneloJudges.cmake). Each test writes a GoogleTest
#     report to <build>/test-reports, where scripts/test looks for skipped cases. Its main
#     (va_gtest_main_<layer>) runs the unit table of the highest layer among what it links.
#   va_fuzzer(name SOURCES ... [DEPS ...] [SEEDS folder...] [MUTATE n])
#     A libFuzzer target where VA_FUZZ is on (the native build, clang), whose replay test runs it
#     once over tests/fuzz/corpus/<name>; in the i686 build a replay program run under Wine, which
#     with MUTATE also feeds n changed copies of every input (for Windows code no fuzzer reaches).
#   va_bench(name SOURCES ... [DEPS ...])
#     A Google Benchmark binary, bench build only.

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(VA_WIN32 ON)
else()
  set(VA_WIN32 OFF)
endif()

if(VA_WIN32)
  # Where the i686 tests find the source tree's data: Wine maps Z: to the root.
  set(VA_SOURCE_DIR_NATIVE "Z:${CMAKE_SOURCE_DIR}")
  set(VA_BINARY_DIR_NATIVE "Z:${CMAKE_BINARY_DIR}")
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 _USE_MATH_DEFINES)
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
  # SSE2 is the baseline the program ships for: the codecs' and resampling's vector paths use it.
  # Floating point stays on the x87 unit, so no computed value changes.
  add_compile_options(-msse2)
  add_link_options(-static -static-libgcc -static-libstdc++)
  # No sanitizer runs on Windows code: the standard library checks its own preconditions (indexes,
  # empty containers) and the stack protector catches overwritten frames, in the tests and the
  # program alike.
  add_compile_definitions(_GLIBCXX_ASSERTIONS)
  add_compile_options(-fstack-protector-strong)
  add_link_options(-fstack-protector-strong)
  # Optimised with assertions on: the shipping build still checks our own invariants.
  set(CMAKE_C_FLAGS_RELEASE "-O2" CACHE STRING "" FORCE)
  set(CMAKE_CXX_FLAGS_RELEASE "-O2" CACHE STRING "" FORCE)
else()
  set(VA_SOURCE_DIR_NATIVE "${CMAKE_SOURCE_DIR}")
  set(VA_BINARY_DIR_NATIVE "${CMAKE_BINARY_DIR}")
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
  if(VA_FUZZ)
    # One sanitized build serves the tests and the fuzz targets: everything carries the fuzzer's
    # coverage, which the tests' own programs leave unused.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer -g -O1)
    add_link_options(-fsanitize=address,undefined)
  elseif(NOT VA_BENCH AND NOT VA_HOST_TOOLS_ONLY)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()

# GCC 12 at -O2 reports std::string copies inside its own headers as overlapping (-Wrestrict); the
# warning is about the library, not our code, and would bury real ones.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)
endif()

set(VA_TEST_DATA_DIR "${VA_SOURCE_DIR_NATIVE}/tests/data")

# va_host_tool(var name): the path of a build-time tool, runnable on the build host. Native builds
# run their own target; the i686 build runs the copy from its nested host build.
function(va_host_tool var name)
  if(VA_WIN32)
    set(${var} ${VA_HOST_TOOLS_DIR}/tools/bin/${name} PARENT_SCOPE)
  else()
    set(${var} $<TARGET_FILE:${name}> PARENT_SCOPE)
  endif()
endfunction()

function(va_library name)
  cmake_parse_arguments(A "WIN32" "" "SOURCES;SOURCES_WIN32;SOURCES_POSIX;DEPS" ${ARGN})
  if(A_WIN32 AND NOT VA_WIN32)
    return()
  endif()
  set(sources ${A_SOURCES})
  if(VA_WIN32)
    list(APPEND sources ${A_SOURCES_WIN32})
  else()
    list(APPEND sources ${A_SOURCES_POSIX})
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_DEPS})
endfunction()

# Tests are built by the native and i686 configurations, not by the bench one.
function(_va_tests_wanted out)
  if(VA_BENCH)
    set(${out} OFF PARENT_SCOPE)
  else()
    set(${out} ON PARENT_SCOPE)
  endif()
endfunction()

function(_va_under_wine test)
  if(VA_WIN32)
    set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED wine)
  endif()
endfunction()

# The shared test main for a test linking `deps`: that of the highest layer (app, skin, placement,
# the image I/O, the image core, win, else rtl) among everything the test links, directly or
# through other libraries.
function(_va_gtest_main out deps)
  set(seen "")
  set(todo ${deps})
  while(todo)
    list(POP_FRONT todo dep)
    if(dep IN_LIST seen OR NOT TARGET ${dep})
      continue()
    endif()
    list(APPEND seen ${dep})
    get_target_property(links ${dep} INTERFACE_LINK_LIBRARIES)
    if(links)
      list(APPEND todo ${links})
    endif()
  endwhile()
  foreach(layer_library app=va_app skin=va_skin placement=va_placement imagingio=va_imaging_io_core
                        imaging=va_imaging_core win=va_win)
    string(REPLACE "=" ";" parts ${layer_library})
    list(GET parts 0 layer)
    list(GET parts 1 library)
    if(library IN_LIST seen)
      set(${out} va_gtest_main_${layer} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} va_gtest_main_rtl PARENT_SCOPE)
endfunction()

function(va_test name)
  cmake_parse_arguments(A "WIN32;SERIAL" "TIMEOUT" "SOURCES;DEPS;JUDGES;LAUNCHER" ${ARGN})
  _va_tests_wanted(wanted)
  if(NOT wanted OR (A_WIN32 AND NOT VA_WIN32))
    return()
  endif()
  _va_apply_judges(judged "" ${A_JUDGES})
  if(NOT judged)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  _va_apply_judges(judged ${name} ${A_JUDGES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  _va_gtest_main(main "${A_DEPS}")
  target_link_libraries(${name} PRIVATE ${A_DEPS} ${main})
  target_compile_definitions(${name} PRIVATE
    VA_TEST_DATA_DIR="${VA_TEST_DATA_DIR}" VA_SOURCE_DIR="${VA_SOURCE_DIR_NATIVE}")
  set(run ${name})
  if(A_LAUNCHER)
    # The emulator is added only to a command that starts with the target itself.
    set(run ${A_LAUNCHER} ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}>)
  endif()
  add_test(NAME ${name} COMMAND ${run} --gtest_brief=1
                                       --gtest_output=xml:${VA_BINARY_DIR_NATIVE}/test-reports/${name}.xml)
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${A_TIMEOUT})
  if(NOT VA_WIN32)
    # Native tests keep their scratch files in their own build tree, so two trees tested at once
    # never share a file name. Under Wine the prefix's own temporary folder already does this.
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/test-tmp)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT TMPDIR=${CMAKE_BINARY_DIR}/test-tmp)
  endif()
  if(A_SERIAL)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL ON)
  endif()
  _va_under_wine(${name})
endfunction()

# SEEDS: a folder of seeds made at build time (as the test sees it), replayed with the corpus;
# scripts/test hands build/fuzz/seeds/<name> to the fuzzer.
function(va_fuzzer name)
  cmake_parse_arguments(A "" "MUTATE" "SOURCES;DEPS;SEEDS" ${ARGN})
  if(VA_BENCH)
    return()
  endif()
  if(VA_FUZZ)
    add_executable(${name} ${A_SOURCES})
    target_link_libraries(${name} PRIVATE ${A_DEPS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    # -runs=0 runs every input of the folders once and writes nothing into them.
    add_test(NAME ${name}_replay
             COMMAND ${name} -runs=0 "${VA_SOURCE_DIR_NATIVE}/tests/fuzz/corpus/${name}" ${A_SEEDS})
    set_tests_properties(${name}_replay PROPERTIES TIMEOUT 300)
    return()
  endif()
  add_executable(${name}_replay ${A_SOURCES} ${CMAKE_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
  target_link_libraries(${name}_replay PRIVATE ${A_DEPS})
  set(mutate "")
  if(A_MUTATE)
    set(mutate --mutate=${A_MUTATE})
  endif()
  add_test(NAME ${name}_replay
           COMMAND ${name}_replay ${mutate} "${VA_SOURCE_DIR_NATIVE}/tests/fuzz/corpus/${name}" ${A_SEEDS})
  set_tests_properties(${name}_replay PROPERTIES TIMEOUT 300)
  _va_under_wine(${name}_replay)
endfunction()

function(va_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  if(NOT VA_BENCH)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS} benchmark::benchmark_main)
endfunction()

include(VarneloJudges)
