// Operating-system file services: the temporary folder, unique temporary names, the program's own
// path, and plain existence and removal of files. One implementation per platform.
#pragma once

#include <string>

namespace rtl {

// The system's folder for temporary files, always ending in a path separator: on Windows
// GetTempPath's answer with "\" (".\" when it has none), elsewhere $TMPDIR or "/tmp" with "/".
std::string TempFolder();

// Creates an empty file with a new, unique name in `folder` and returns its full name; empty when
// that fails (a missing or unwritable folder), with the system's reason left in GetLastError or
// errno. The name starts with `prefix`; on Windows only its first three characters are kept, as
// GetTempFileName keeps them, and the name ends in ".tmp".
std::string CreateTempFile(const std::string& folder, const std::string& prefix);

// A new GUID in its braced text form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper-case hex:
// CoCreateGuid on Windows, a random (version 4) GUID elsewhere. Raises rtl::Exception when the
// system cannot make one.
std::string NewGuidString();

// The full path of the running program as the system reports it (no length limit on Windows);
// empty when it cannot be read.
std::string ExecutableFileName();

// True for an existing file; false for folders and for names that do not exist.
bool FileExists(const std::string& fileName);

// Removes a file; false when there was none or it could not be removed.
bool RemoveFile(const std::string& fileName);

}  // namespace rtl
