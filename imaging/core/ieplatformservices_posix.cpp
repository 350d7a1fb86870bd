// Free memory and temporary file names on POSIX systems.
#include "imaging/core/detail/ieplatformservices.h"

#include "imaging/core/ieplatformbitmap.h"

#include <cstdlib>
#include <unistd.h>

namespace imaging::detail {

std::int64_t PlatformAvailableMemory()
{
    const long pages = ::sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return std::int64_t(pages) * pageSize;
}

std::string PlatformTempPath()
{
    const char* dir = std::getenv("TMPDIR");
    std::string path = dir && *dir ? dir : "/tmp";
    if (path.back() != '/')
        path += '/';
    return path;
}

std::string PlatformCreateTempFile(const std::string& Folder)
{
    std::string pattern = Folder;
    if (!pattern.empty() && pattern.back() != '/' && pattern.back() != '\\')
        pattern += '/';
    pattern += "vodiradXXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return {};
    ::close(fd);
    return pattern;
}

std::unique_ptr<TIEPlatformBitmap> PlatformCreateBitmap()
{
    return std::make_unique<TIEMemoryPlatformBitmap>();
}

} // namespace imaging::detail
