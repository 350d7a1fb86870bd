// The install transaction: new files beside the old ones first, then swapped in by renames
// within the folder, which need no space and either happen whole or not at all.
#include "app/Installer.h"

#include "app/kzFiles.h"
#include "platform/rtl/Files.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/Win32.h"

namespace app {

namespace {

constexpr char kInUse[] = "Unable to continue - Quit Varnelo if it is running";

[[noreturn]] void Fail(DWORD code, const std::string& what)
{
    if (code == ERROR_SUCCESS)
        code = ERROR_GEN_FAILURE;  // a call failed without saying why: still a failure
    throw EInstallError(code, what + ": " + rtl::SysErrorMessage(code));
}

// A file opened for writing whose failed writes keep the system's reason.
class TTargetStream : public rtl::TStream {
public:
    explicit TTargetStream(HANDLE file) : file_(file) {}

    std::int32_t Read(void*, std::int32_t) override { return 0; }
    std::int32_t Write(const void* buffer, std::int32_t count) override
    {
        DWORD done = 0;
        if (count <= 0)
            return 0;
        if (!::WriteFile(file_, buffer, static_cast<DWORD>(count), &done, nullptr))
            error_ = ::GetLastError();
        else if (done < static_cast<DWORD>(count))
            error_ = ERROR_DISK_FULL;  // a short write without an error: the volume is full
        return static_cast<std::int32_t>(done);
    }
    std::int64_t Seek(std::int64_t offset, rtl::TSeekOrigin origin) override
    {
        LARGE_INTEGER distance, result;
        distance.QuadPart = offset;
        const DWORD method = origin == rtl::soBeginning ? FILE_BEGIN
                             : origin == rtl::soCurrent ? FILE_CURRENT
                                                        : FILE_END;
        return ::SetFilePointerEx(file_, distance, &result, method) ? result.QuadPart : -1;
    }
    DWORD Error() const { return error_; }

private:
    HANDLE file_;
    DWORD error_ = ERROR_SUCCESS;
};

// A new, empty file with a unique name in `folder`: the place a new or an old copy waits in.
std::string UniqueFileIn(const std::string& folder)
{
    const std::string name = rtl::CreateTempFile(folder, "va~");
    if (name.empty())
        Fail(::GetLastError(), "Cannot create a file in " + folder);
    return name;
}

void ExpandTo(TPackedItem& item, const std::string& path)
{
    HANDLE file =
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Fail(::GetLastError(), "Cannot write " + path);
    TTargetStream stream(file);
    DWORD error = ERROR_SUCCESS;
    try {
        item.ExtractToStream(stream);
        // Delayed write errors (a network folder, a full volume) surface here rather than never.
        if (!::FlushFileBuffers(file))
            error = ::GetLastError();
    } catch (const std::exception&) {
        // A write that failed has its reason; anything else is damaged stored data.
        error = stream.Error() != ERROR_SUCCESS ? stream.Error() : ERROR_INVALID_DATA;
    }
    if (!::CloseHandle(file) && error == ERROR_SUCCESS)
        error = ::GetLastError();
    if (error != ERROR_SUCCESS)
        Fail(error, "Cannot write " + path);
}

// One stored file on its way into the folder.
struct TStep {
    std::string Target;  // where the item belongs
    std::string Fresh;   // the new copy until it takes Target's place
    std::string Old;     // where the old file waits (a reserved empty file until it moves there)
    bool OldMoved = false;
    bool FreshPlaced = false;
};

void MoveAside(TStep& step)
{
    const DWORD attributes = ::GetFileAttributesA(step.Target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return;  // nothing there yet
        Fail(error, "Cannot replace " + step.Target);
    }
    // A folder of that name is the user's: it is never moved, and a file cannot take its place.
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        Fail(ERROR_ACCESS_DENIED, "Cannot replace the folder " + step.Target);
    step.Old = UniqueFileIn(ExtractFilePath(step.Target));
    if (!::MoveFileExA(step.Target.c_str(), step.Old.c_str(), MOVEFILE_REPLACE_EXISTING))
        Fail(::GetLastError(), "Cannot replace " + step.Target);
    step.OldMoved = true;
}

// Puts back what was there; an old file that cannot go back stays where it waits, never lost.
void Undo(std::vector<TStep>& steps)
{
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        if (step->FreshPlaced)
            ::DeleteFileA(step->Target.c_str());
        if (step->OldMoved)
            ::MoveFileExA(step->Old.c_str(), step->Target.c_str(), MOVEFILE_REPLACE_EXISTING);
        else if (!step->Old.empty())
            ::DeleteFileA(step->Old.c_str());
        if (!step->Fresh.empty())
            ::DeleteFileA(step->Fresh.c_str());
    }
}

}  // namespace

std::vector<std::string> InstallStoredFiles(TzResStorage& store, const std::string& folder,
                                            std::vector<TLeftover>* leftovers)
{
    std::vector<TStep> steps;
    steps.reserve(static_cast<std::size_t>(store.Items()->Count()));
    try {
        for (std::int32_t i = 0; i < store.Items()->Count(); ++i) {
            TPackedItem* item = store.Item(i);
            steps.push_back(TStep{folder + item->Name(), {}, {}, false, false});
            steps.back().Fresh = UniqueFileIn(folder);
            ExpandTo(*item, steps.back().Fresh);
        }
        for (TStep& step : steps)
            MoveAside(step);
        for (TStep& step : steps) {
            if (!::MoveFileExA(step.Fresh.c_str(), step.Target.c_str(), 0))
                Fail(::GetLastError(), "Cannot write " + step.Target);
            step.FreshPlaced = true;
        }
    } catch (...) {
        Undo(steps);
        throw;
    }
    std::vector<std::string> targets;
    for (const TStep& step : steps) {
        targets.push_back(step.Target);
        if (!step.OldMoved || ::DeleteFileA(step.Old.c_str()))
            continue;
        // A read-only old copy goes once its attribute is cleared.
        if (::SetFileAttributesA(step.Old.c_str(), FILE_ATTRIBUTE_NORMAL) && ::DeleteFileA(step.Old.c_str()))
            continue;
        // An old program still running cannot be deleted yet: it goes at the next start when the
        // user may schedule that; otherwise it stays, and the user is told either way.
        const bool queued = ::MoveFileExA(step.Old.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
        if (leftovers)
            leftovers->push_back(TLeftover{step.Target, step.Old, queued});
    }
    return targets;
}

std::string LeftoverMessage(const TLeftover& leftover)
{
    return "Varnelo is installed, but the previous " + ExtractFileName(leftover.Target, true) +
           " was in use and could not be removed.\r\n\r\nIt stays as " + leftover.Path +
           (leftover.Queued ? " until Windows restarts." : "; delete it once it is no longer running.");
}

std::string RecordFailureMessage(const std::string& folder, const std::string& iniFile,
                                 const std::string& reason)
{
    return "Varnelo's files are in place in " + folder + ", but the install could not be recorded in " +
           iniFile + ":\r\n" + reason + "\r\n\r\nA later run will not know that this version is installed.";
}

std::string InstallFailureMessage(std::uint32_t code)
{
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_USER_MAPPED_FILE)
        return kInUse;
    return std::string(kInUse) + "\r\n\r\n" + rtl::SysErrorMessage(code) + ".";
}

}  // namespace app
