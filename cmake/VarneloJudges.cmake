# Judges: the independent tools and libraries that tests compare our output with. A judge never
# vanishes: when one is missing the configure fails, so a machine without it cannot quietly pass.
#
#   va_require_judge(<name> PACKAGE <debian-package> FOR <what it judges>
#                    (PROGRAM <file>... | PKGCONFIG <module> | LIBRARY <lib> HEADER <header>))
#     Sets VA_JUDGE_<name> in the caller's scope: the program's full path, or the imported target
#     judge::<name> for a library. Programs are looked up on PATH only, where the tests' users find
#     them too. A missing judge stops the configure and names its Debian package (scripts/bootstrap
#     installs them all). With -DVA_ALLOW_MISSING_JUDGES=ON the configure goes on with a warning,
#     VA_JUDGE_<name> is empty and the test judge_missing.<name> is registered, which always fails:
#     the tests it would judge are not built, and the run cannot report success.
#
#   va_test(... JUDGES <name>...) (VarneloTargets.cmake) builds a test only when its judges are
#   there, links the library judges and passes each program judge's path as the macro
#   VA_JUDGE_<NAME> (upper case). Tests that run a judge outside a test binary check
#   `if(VA_JUDGE_<name>)` before add_test; the failing placeholder already stands for them.
#
# Judges are looked for only by configurations that build tests (native and win32).

option(VA_ALLOW_MISSING_JUDGES
       "Configure without the peer tools and libraries the tests judge with (their tests then fail)" OFF)

function(va_require_judge name)
  cmake_parse_arguments(A "" "PACKAGE;FOR;PKGCONFIG;LIBRARY;HEADER" "PROGRAM" ${ARGN})
  if(VA_BENCH OR VA_HOST_TOOLS_ONLY)
    return()
  endif()
  if(NOT A_PACKAGE OR NOT A_FOR OR NOT (A_PROGRAM OR A_PKGCONFIG OR (A_LIBRARY AND A_HEADER)))
    message(FATAL_ERROR "va_require_judge(${name}): give PACKAGE, FOR and one of PROGRAM, PKGCONFIG, LIBRARY+HEADER")
  endif()

  set(found "")
  if(TARGET judge::${name})
    set(found judge::${name})
  elseif(A_PROGRAM)
    find_program(VA_JUDGE_PROGRAM_${name} NAMES ${A_PROGRAM} NO_CMAKE_SYSTEM_PATH NO_CMAKE_INSTALL_PREFIX)
    if(VA_JUDGE_PROGRAM_${name})
      set(found ${VA_JUDGE_PROGRAM_${name}})
    endif()
  elseif(A_PKGCONFIG)
    find_package(PkgConfig QUIET)
    if(PkgConfig_FOUND)
      pkg_check_modules(VA_JUDGE_PC_${name} QUIET IMPORTED_TARGET GLOBAL ${A_PKGCONFIG})
    endif()
    if(TARGET PkgConfig::VA_JUDGE_PC_${name})
      add_library(judge::${name} ALIAS PkgConfig::VA_JUDGE_PC_${name})
      set(found judge::${name})
    endif()
  else()
    find_library(VA_JUDGE_LIB_${name} ${A_LIBRARY})
    find_path(VA_JUDGE_INC_${name} ${A_HEADER})
    if(VA_JUDGE_LIB_${name} AND VA_JUDGE_INC_${name})
      add_library(judge::${name} INTERFACE IMPORTED GLOBAL)
      set_target_properties(judge::${name} PROPERTIES INTERFACE_LINK_LIBRARIES "${VA_JUDGE_LIB_${name}}"
                                                      INTERFACE_INCLUDE_DIRECTORIES "${VA_JUDGE_INC_${name}}")
      set(found judge::${name})
    endif()
  endif()

  set(VA_JUDGE_${name} "${found}" PARENT_SCOPE)
  if(found)
    return()
  endif()
  set(what "the judge '${name}' (${A_PROGRAM}${A_PKGCONFIG}${A_LIBRARY}) for ${A_FOR} is missing: install the Debian package ${A_PACKAGE} (scripts/bootstrap installs every judge)")
  if(NOT VA_ALLOW_MISSING_JUDGES)
    message(FATAL_ERROR "${what}, or configure with -DVA_ALLOW_MISSING_JUDGES=ON to build without it")
  endif()
  message(WARNING "${what}. VA_ALLOW_MISSING_JUDGES is ON: the tests it judges are not built and the test judge_missing.${name} fails.")
  if(NOT TEST judge_missing.${name})
    set(script ${CMAKE_BINARY_DIR}/judge_missing/${name}.cmake)
    file(WRITE ${script} "message(FATAL_ERROR [==[${what}]==])\n")
    add_test(NAME judge_missing.${name} COMMAND ${CMAKE_COMMAND} -P ${script})
  endif()
endfunction()

# Used by va_test: false when a judge is missing (its placeholder test already fails), else adds
# the judges to the test target.
function(_va_apply_judges out target)
  foreach(judge ${ARGN})
    if(NOT DEFINED VA_JUDGE_${judge})
      message(FATAL_ERROR "${target}: va_require_judge(${judge} ...) must come before the test that uses it")
    endif()
    if(NOT VA_JUDGE_${judge})
      set(${out} OFF PARENT_SCOPE)
      return()
    endif()
  endforeach()
  if(target)
    foreach(judge ${ARGN})
      if(TARGET ${VA_JUDGE_${judge}})
        target_link_libraries(${target} PRIVATE ${VA_JUDGE_${judge}})
      else()
        string(TOUPPER ${judge} upper)
        target_compile_definitions(${target} PRIVATE VA_JUDGE_${upper}="${VA_JUDGE_${judge}}")
      endif()
    endforeach()
  endif()
  set(${out} ON PARENT_SCOPE)
endfunction()
