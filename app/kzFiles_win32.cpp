// Executable path from the module table.
#include "app/kzFiles.h"

#include "platform/rtl/Win32.h"

#include <vector>

namespace app {

std::string ExecutableFileName()
{
    // Paths beyond MAX_PATH are legal for the module name; grow until it fits.
    std::vector<char> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size() - 1)
            return std::string(buffer.data(), length);
        if (buffer.size() > 32768)
            return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace app
