// Executable path on POSIX, for the portable build of the file helpers.
#include "app/kzFiles.h"

#include <unistd.h>

#include <vector>

namespace app {

// POSIX paths use "/", which the helpers do not split on; the portable build keeps the
// Windows shape so ProgramPath ends in "\" on every platform.
std::string ExecutableFileName()
{
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0)
        return {};
    std::string path(buffer.data(), static_cast<std::size_t>(length));
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

}  // namespace app
