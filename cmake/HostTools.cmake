# The i686 build runs its build-time tools (form compiler and kin) on the build host: they come from
# a nested host build of the same tree. va_host_tool(<var> <name>) gives the path of a host tool;
# custom commands that run it depend on the target va_host_tools.
include(ExternalProject)

set(VA_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
ExternalProject_Add(va_host_tools
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${VA_HOST_TOOLS_DIR}
  CMAKE_ARGS -DVA_HOST_TOOLS_ONLY=ON -DCMAKE_BUILD_TYPE=Release
             -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  USES_TERMINAL_BUILD OFF)
