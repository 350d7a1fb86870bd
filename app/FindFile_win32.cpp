// Windows side of the file search: folder expansion, enumeration and the wait for the worker.
#include "app/FindFile.h"

#include "platform/rtl/Win32.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace app {

std::string NativePath(const std::string& path) { return path; }

std::string ExpandFolder(const std::string& folder)
{
    const std::string source = folder.empty() ? std::string(".") : folder;
    std::string expanded = source;
    std::vector<char> buffer(MAX_PATH);
    for (int attempt = 0; attempt < 2; ++attempt) {
        char* filePart = nullptr;
        const DWORD length =
            GetFullPathNameA(source.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), &filePart);
        if (length == 0)
            break;
        if (length < buffer.size()) {
            expanded.assign(buffer.data(), length);
            break;
        }
        buffer.resize(length + 1);
    }
    if (expanded.empty() || (expanded.back() != ':' && expanded.back() != '\\'))
        expanded += '\\';
    return expanded;
}

namespace {

std::uint64_t ToUInt64(const FILETIME& t)
{
    return static_cast<std::uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}

bool IsInputMessage(UINT message)
{
    return (message >= 0x0100 && message <= 0x0109) || (message >= 0x0200 && message <= 0x020A);
}

// Dispatches what is waiting; returns false when a quit message was met (and posted again).
bool DispatchWaiting()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        if (IsInputMessage(msg.message))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return true;
}

}  // namespace

void EnumerateFolder(const std::string& folder, const std::string& mask,
                     const std::function<bool(const TSearchRec&)>& visit)
{
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA((folder + mask).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    // A visitor may throw (an event handler's exception ends the search).
    struct FindGuard {
        HANDLE h;
        ~FindGuard() { FindClose(h); }
    } guard{find};
    do {
        if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0)
            continue;
        // The filter the search enumerates with: read-only, hidden, system, directory, archive,
        // and entries with none of these.
        TSearchRec rec;
        rec.Name = data.cFileName;
        rec.Attr = data.dwFileAttributes;
        rec.Size = static_cast<std::int64_t>(static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 |
                                             data.nFileSizeLow);
        rec.CreationTime = ToUInt64(data.ftCreationTime);
        rec.LastAccessTime = ToUInt64(data.ftLastAccessTime);
        rec.LastWriteTime = ToUInt64(data.ftLastWriteTime);
        if (!visit(rec))
            break;
    } while (FindNextFileA(find, &data));
}

bool WaitWithMessages(std::intptr_t handle, int timeoutMs)
{
    HANDLE h = reinterpret_cast<HANDLE>(handle);
    HANDLE own = nullptr;
    if (h == GetCurrentThread() || h == GetCurrentProcess()) {
        if (!DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &own, SYNCHRONIZE, FALSE, 0))
            return false;
        h = own;
    }
    const ULONGLONG start = GetTickCount64();
    bool signalled = false;
    for (;;) {
        // Queued calls to the main thread (a worker's termination among them) run here too.
        if (rtl::IsMainThread())
            rtl::CheckSynchronize(0);
        DWORD slice = 10;
        if (timeoutMs >= 0) {
            const ULONGLONG spent = GetTickCount64() - start;
            if (spent >= static_cast<ULONGLONG>(timeoutMs))
                break;
            slice = static_cast<DWORD>(std::min<ULONGLONG>(slice, timeoutMs - spent));
        }
        const DWORD result = MsgWaitForMultipleObjects(1, &h, FALSE, slice,
                                                       QS_SENDMESSAGE | QS_POSTMESSAGE | QS_PAINT | QS_TIMER);
        if (result == WAIT_OBJECT_0) {
            signalled = true;
            break;
        }
        if (result == WAIT_FAILED)
            break;
        if (result == WAIT_OBJECT_0 + 1 && !DispatchWaiting())
            break;
    }
    if (own)
        CloseHandle(own);
    return signalled;
}

void PumpMessages() { DispatchWaiting(); }

std::intptr_t DuplicateThreadHandle(std::intptr_t handle)
{
    HANDLE copy = nullptr;
    if (!handle || !DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(handle),
                                    GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0))
        return 0;
    return reinterpret_cast<std::intptr_t>(copy);
}

void CloseThreadHandle(std::intptr_t handle)
{
    if (handle)
        CloseHandle(reinterpret_cast<HANDLE>(handle));
}

}  // namespace app
