// File services over the Windows kernel and COM's GUID maker.
#include "platform/rtl/Files.h"

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Win32.h"

#include <objbase.h>

#include <cstdio>
#include <vector>

namespace rtl {

std::string TempFolder()
{
    char buffer[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathA(MAX_PATH + 1, buffer);
    std::string folder = n > 0 && n <= MAX_PATH ? std::string(buffer, n) : std::string(".");
    if (folder.back() != '\\')
        folder += '\\';
    return folder;
}

std::string CreateTempFile(const std::string& folder, const std::string& prefix)
{
    char buffer[MAX_PATH + 1] = {};
    if (::GetTempFileNameA(folder.c_str(), prefix.c_str(), 0, buffer) == 0)
        return {};
    return buffer;
}

std::string NewGuidString()
{
    GUID g{};
    if (FAILED(::CoCreateGuid(&g)))
        throw Exception("cannot create a GUID for the temporary file");
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::string ExecutableFileName()
{
    // Module names may pass MAX_PATH; grow until the name fits.
    std::vector<char> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size() - 1 || buffer.size() > 32768)
            return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

bool FileExists(const std::string& fileName)
{
    const DWORD attributes = ::GetFileAttributesA(fileName.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveFile(const std::string& fileName) { return ::DeleteFileA(fileName.c_str()) != FALSE; }

}  // namespace rtl
