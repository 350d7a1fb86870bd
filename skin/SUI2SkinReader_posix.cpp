// Skin reader's platform pieces on POSIX: random GUID-style names, the temporary folder, files.
#include "skin/SUI2SkinReader.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace skin::detail {

std::string NewGuidString()
{
    // A random (version 4) GUID, so two readers never share a temporary file.
    std::random_device rd;
    std::uint8_t b[16];
    for (int i = 0; i < 16; i += 4) {
        std::uint32_t r = rd();
        for (int k = 0; k < 4; ++k)
            b[i + k] = static_cast<std::uint8_t>(r >> (8 * k));
    }
    b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);
    char text[40];
    std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}

std::string TempFolder()
{
    const char* env = std::getenv("TMPDIR");
    std::string dir = env && *env ? env : "/tmp";
    if (dir.back() != '/')
        dir += '/';
    return dir;
}

bool FileExists(const std::string& fileName)
{
    struct stat st;
    return ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void DeleteFileIfExists(const std::string& fileName) { ::unlink(fileName.c_str()); }

}  // namespace skin::detail
