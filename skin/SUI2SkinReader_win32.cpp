// Skin reader's platform pieces on Windows: CoCreateGuid names, GetTempPathA, file calls.
#include "skin/SUI2SkinReader.h"

#include "platform/rtl/Win32.h"

#include <objbase.h>

#include <cstdio>

namespace skin::detail {

std::string NewGuidString()
{
    GUID g{};
    if (FAILED(CoCreateGuid(&g)))
        throw rtl::Exception("cannot create a GUID for the temporary file");
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::string TempFolder()
{
    char buffer[MAX_PATH + 1] = {};
    DWORD n = GetTempPathA(MAX_PATH, buffer);
    std::string dir = (n > 0 && n <= MAX_PATH) ? std::string(buffer, n) : std::string(".");
    if (dir.back() != '\\')
        dir += '\\';
    return dir;
}

bool FileExists(const std::string& fileName)
{
    DWORD attributes = GetFileAttributesA(fileName.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void DeleteFileIfExists(const std::string& fileName) { DeleteFileA(fileName.c_str()); }

}  // namespace skin::detail
