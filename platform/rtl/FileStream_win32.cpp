// TFileStream over Win32 file handles, with the platform's share modes.
#include "platform/rtl/Streams.h"

#include "platform/rtl/Win32.h"

namespace rtl {

std::string SysErrorMessage(std::uint32_t code)
{
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = n && text ? std::string(text, n) : "System error code " + std::to_string(code);
    if (text)
        ::LocalFree(text);
    while (!result.empty() &&
           (result.back() == '\r' || result.back() == '\n' || result.back() == ' ' || result.back() == '.'))
        result.pop_back();
    return result;
}

namespace {

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

TFileStream::TFileStream(const std::string& fileName, std::uint16_t mode)
    : fileName_(fileName), handle_(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE))
{
    HANDLE h;
    if (mode == fmCreate) {
        h = ::CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            throw EFCreateError("Cannot create file \"" + fileName + "\". " +
                                SysErrorMessage(::GetLastError()));
    } else {
        static constexpr DWORD kAccess[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
        // Indexed by the share bits: compat, exclusive, deny write, deny read, deny none.
        static constexpr DWORD kShare[] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE};
        const unsigned access = mode & 0x3;
        const unsigned share = (mode & 0xF0) >> 4;
        if (access > 2 || share > 4)
            throw EFOpenError("Cannot open file \"" + fileName + "\". " +
                              SysErrorMessage(ERROR_INVALID_PARAMETER));
        h = ::CreateFileA(fileName.c_str(), kAccess[access], kShare[share], nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            throw EFOpenError("Cannot open file \"" + fileName + "\". " + SysErrorMessage(::GetLastError()));
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
}

TFileStream::~TFileStream()
{
    if (AsHandle(handle_) != INVALID_HANDLE_VALUE)
        ::CloseHandle(AsHandle(handle_));
}

std::int32_t TFileStream::Read(void* buffer, std::int32_t count)
{
    DWORD done = 0;
    if (count <= 0 || !::ReadFile(AsHandle(handle_), buffer, static_cast<DWORD>(count), &done, nullptr))
        return 0;
    return static_cast<std::int32_t>(done);
}

std::int32_t TFileStream::Write(const void* buffer, std::int32_t count)
{
    DWORD done = 0;
    if (count <= 0 || !::WriteFile(AsHandle(handle_), buffer, static_cast<DWORD>(count), &done, nullptr))
        return 0;
    return static_cast<std::int32_t>(done);
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    const DWORD method = origin == soBeginning ? FILE_BEGIN : origin == soCurrent ? FILE_CURRENT : FILE_END;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER result;
    if (!::SetFilePointerEx(AsHandle(handle_), distance, &result, method))
        return -1;
    return result.QuadPart;
}

void TFileStream::SetSize(std::int64_t newSize)
{
    const std::int64_t position = Position();
    if (newSize < 0 || Seek(newSize, soBeginning) != newSize || !::SetEndOfFile(AsHandle(handle_))) {
        const DWORD error = newSize < 0 ? ERROR_INVALID_PARAMETER : ::GetLastError();
        Seek(position, soBeginning);
        throw EStreamError("Cannot set the size of file \"" + fileName_ + "\". " + SysErrorMessage(error));
    }
    Seek(position < newSize ? position : newSize, soBeginning);
}

std::uint64_t TFileStream::WriteTime() const
{
    FILETIME written{};
    if (!::GetFileTime(AsHandle(handle_), nullptr, nullptr, &written))
        return 0;
    return std::uint64_t(written.dwHighDateTime) << 32 | written.dwLowDateTime;
}

}  // namespace rtl
