# Runs the i686 tests under Wine: every test that needs it requires the fixture "wine", whose setup
# prepares the build tree's prefix (and Xvfb when there is no display) and whose cleanup stops them.

set(VA_WINE_HARNESS ${CMAKE_SOURCE_DIR}/scripts/wine-harness)
set(VA_WINE_EXEC ${CMAKE_BINARY_DIR}/wine-exec)
file(CONFIGURE OUTPUT ${VA_WINE_EXEC} CONTENT
"#!/bin/sh\nexec '${VA_WINE_HARNESS}' exec '${CMAKE_BINARY_DIR}' \"$@\"\n" @ONLY)
file(CHMOD ${VA_WINE_EXEC} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VA_WINE_EXEC})

add_test(NAME wine.setup COMMAND ${VA_WINE_HARNESS} start ${CMAKE_BINARY_DIR})
add_test(NAME wine.cleanup COMMAND ${VA_WINE_HARNESS} stop ${CMAKE_BINARY_DIR})
set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
set_tests_properties(wine.cleanup PROPERTIES FIXTURES_CLEANUP wine)
