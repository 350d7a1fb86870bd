// File services over POSIX calls, for the native build.
#include "platform/rtl/Files.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace rtl {

std::string TempFolder()
{
    const char* env = std::getenv("TMPDIR");
    std::string folder = env && *env ? env : "/tmp";
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

std::string CreateTempFile(const std::string& folder, const std::string& prefix)
{
    std::string pattern = folder;
    if (!pattern.empty() && pattern.back() != '/' && pattern.back() != '\\')
        pattern += '/';
    pattern += prefix + "XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return {};
    ::close(fd);
    return pattern;
}

std::string NewGuidString()
{
    // A random (version 4) GUID, so two processes never share a temporary name.
    std::random_device rd;
    std::uint8_t b[16];
    for (int i = 0; i < 16; i += 4) {
        const std::uint32_t r = rd();
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

std::string ExecutableFileName()
{
    // Grow until the link's target fits; readlink does not say how long it is.
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length <= 0)
            return {};
        if (static_cast<std::size_t>(length) < buffer.size() || buffer.size() > 65536)
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

bool FileExists(const std::string& fileName)
{
    struct stat st {};
    return ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RemoveFile(const std::string& fileName) { return ::unlink(fileName.c_str()) == 0; }

}  // namespace rtl
