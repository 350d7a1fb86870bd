// The HTTP library the I/O component loads at run time: its release at the end of the program,
// and what tests need to see it loaded once and to stand in a missing one.
#pragma once

#include <string>

namespace imaging::detail {

// Frees the library when it is loaded and no fetch uses it; false when one still does (an aborted
// load whose connection has not given up yet). The unit's finalisation.
bool IEFreeHttpLibrary();
// The library's file name, "wininet.dll"; frees the library first, as IEFreeHttpLibrary does.
void IESetHttpLibraryName(const std::string& Name);
// Waits until no fetch uses the library.
void IEAwaitHttpFetches();

}  // namespace imaging::detail
