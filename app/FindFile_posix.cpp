// POSIX side of the file search: paths and enumeration, for the portable build.
#include "app/FindFile.h"

#include <dirent.h>
#include <memory>
#include <sys/stat.h>

#include <ctime>

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
