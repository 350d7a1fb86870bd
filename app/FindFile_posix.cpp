// POSIX side of the file search: character classes and local time, for the portable build.
#include "app/FindFile.h"

#include <dirent.h>
#include <memory>
#include <sys/stat.h>

#include <cctype>
#include <cmath>
#include <ctime>

namespace app {

void BuildPlatformCharTables(std::array<std::uint8_t, 256>& lower, std::array<bool, 256>& alnum)
{
    // The C locale classes only ASCII; the Windows build asks the ANSI code page.
    for (int i = 0; i < 256; ++i) {
        lower[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i < 128 ? std::tolower(i) : i);
        alnum[static_cast<std::size_t>(i)] = i < 128 && std::isalnum(i);
    }
}

TDateTime FileTimeToLocalDateTime(std::uint64_t fileTime)
{
    // 1601-01-01 to 1970-01-01 is 11644473600 seconds.
    const std::int64_t seconds = static_cast<std::int64_t>(fileTime / 10000000ULL) - 11644473600LL;
    const std::uint64_t ticks = fileTime % 10000000ULL;
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!localtime_r(&t, &local))
        return 0;
    const std::int64_t localSeconds = seconds + local.tm_gmtoff;
    // 1899-12-30 to 1970-01-01 is 25569 days.
    return static_cast<double>(localSeconds) / 86400.0 + 25569.0 +
           static_cast<double>(ticks) / 864000000000.0;
}

}  // namespace app

namespace app {

std::string NativePath(const std::string& path)
{
    std::string native = path;
    for (char& c : native)
        if (c == '\\')
            c = '/';
    return native;
}

std::string ExpandFolder(const std::string& folder)
{
    std::string expanded = folder.empty() ? std::string(".") : folder;
    if (expanded.back() != ':' && expanded.back() != '\\')
        expanded += '\\';
    return expanded;
}

namespace {

std::uint64_t ToFileTime(const struct timespec& ts)
{
    const std::int64_t seconds = static_cast<std::int64_t>(ts.tv_sec) + 11644473600LL;
    if (seconds < 0)
        return 0;
    return static_cast<std::uint64_t>(seconds) * 10000000ULL + static_cast<std::uint64_t>(ts.tv_nsec / 100);
}

}  // namespace

void EnumerateFolder(const std::string& folder, const std::string& mask,
                     const std::function<bool(const TSearchRec&)>& visit)
{
    const std::string native = NativePath(folder);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(native.c_str()), &closedir);
    if (!dir)
        return;
    while (dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || !FileNameMatches(name, mask))
            continue;
        struct stat st {};
        if (stat((native + name).c_str(), &st) != 0)
            continue;
        TSearchRec rec;
        rec.Name = name;
        rec.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::int64_t>(st.st_size);
        if (S_ISDIR(st.st_mode))
            rec.Attr |= faDirectory;
        if (!(st.st_mode & S_IWUSR))
            rec.Attr |= faReadOnly;
        if (name[0] == '.')
            rec.Attr |= faHidden;
        rec.CreationTime = ToFileTime(st.st_ctim);
        rec.LastWriteTime = ToFileTime(st.st_mtim);
        rec.LastAccessTime = ToFileTime(st.st_atim);
        if (!visit(rec))
            break;
    }
}

bool WaitWithMessages(std::intptr_t, int) { return false; }

void PumpMessages() {}

std::intptr_t DuplicateThreadHandle(std::intptr_t) { return 0; }

void CloseThreadHandle(std::intptr_t) {}

}  // namespace app
