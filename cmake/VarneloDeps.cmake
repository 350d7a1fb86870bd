# Third-party libraries as imported targets: va::zlib, va::png, va::jpeg, va::openjp2, plus GoogleTest
# (va_gtest, without a main: tests/va_gtest_main.cpp is ours) and Google Benchmark.
#
# Native builds take Debian's -dev packages. The i686 build takes the static libraries that
# scripts/bootstrap cross-builds into VA_DEPS_PREFIX (and Google Benchmark into VA_BENCH_DEPS_PREFIX),
# and zlib from the MinGW zlib package.

set(VA_DEPS_PREFIX "/opt/varnelo-deps/i686-mingw-1" CACHE PATH "Cross-built i686 dependencies")

function(_va_import name lib include)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION "${lib}"
                                           INTERFACE_INCLUDE_DIRECTORIES "${include}")
endfunction()

if(VA_WIN32)
  _va_import(va::zlib /usr/i686-w64-mingw32/lib/libz.a /usr/i686-w64-mingw32/include)
  set(missing "")
  foreach(dep png16 jpeg openjp2)
    if(NOT EXISTS "${VA_DEPS_PREFIX}/lib/lib${dep}.a")
      list(APPEND missing ${dep})
    endif()
  endforeach()
  if(missing)
    # The image formats need these; everything else still configures so work can go on.
    message(WARNING "missing i686 libraries (${missing}) in ${VA_DEPS_PREFIX}: run scripts/bootstrap")
  else()
    _va_import(va::png "${VA_DEPS_PREFIX}/lib/libpng16.a" "${VA_DEPS_PREFIX}/include")
    set_target_properties(va::png PROPERTIES INTERFACE_LINK_LIBRARIES va::zlib)
    _va_import(va::jpeg "${VA_DEPS_PREFIX}/lib/libjpeg.a" "${VA_DEPS_PREFIX}/include")
    _va_import(va::openjp2 "${VA_DEPS_PREFIX}/lib/libopenjp2.a" "${VA_DEPS_PREFIX}/include/openjpeg-2.5")
    set_target_properties(va::openjp2 PROPERTIES INTERFACE_COMPILE_DEFINITIONS OPJ_STATIC)
  endif()
else()
  find_package(ZLIB REQUIRED)
  find_package(PNG REQUIRED)
  find_package(JPEG REQUIRED)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(OPENJP2 REQUIRED IMPORTED_TARGET libopenjp2)
  add_library(va::zlib ALIAS ZLIB::ZLIB)
  add_library(va::png ALIAS PNG::PNG)
  add_library(va::jpeg ALIAS JPEG::JPEG)
  add_library(va::openjp2 ALIAS PkgConfig::OPENJP2)
endif()

if(NOT VA_BENCH)
  if(VA_WIN32)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    add_library(va_gtest INTERFACE)
    target_link_libraries(va_gtest INTERFACE gtest gmock)
  else()
    find_package(GTest REQUIRED)
    add_library(va_gtest INTERFACE)
    target_link_libraries(va_gtest INTERFACE GTest::gtest GTest::gmock)
  endif()
endif()

if(VA_BENCH)
  if(VA_WIN32)
    # Cross-built by scripts/bootstrap for the benchmarks that need Windows (they run under Wine).
    set(VA_BENCH_DEPS_PREFIX "/opt/varnelo-deps/i686-mingw-bench-1" CACHE PATH "Google Benchmark for i686")
    if(NOT EXISTS "${VA_BENCH_DEPS_PREFIX}/lib/libbenchmark.a")
      message(FATAL_ERROR "Google Benchmark for i686 is missing in ${VA_BENCH_DEPS_PREFIX}: run scripts/bootstrap")
    endif()
    _va_import(benchmark::benchmark "${VA_BENCH_DEPS_PREFIX}/lib/libbenchmark.a" "${VA_BENCH_DEPS_PREFIX}/include")
    set_target_properties(benchmark::benchmark PROPERTIES INTERFACE_COMPILE_DEFINITIONS BENCHMARK_STATIC_DEFINE
                                                          INTERFACE_LINK_LIBRARIES shlwapi)
    _va_import(benchmark::benchmark_main "${VA_BENCH_DEPS_PREFIX}/lib/libbenchmark_main.a"
               "${VA_BENCH_DEPS_PREFIX}/include")
    set_target_properties(benchmark::benchmark_main PROPERTIES INTERFACE_LINK_LIBRARIES benchmark::benchmark)
  else()
    find_package(benchmark REQUIRED)
  endif()
endif()
