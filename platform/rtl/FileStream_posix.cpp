// TFileStream over POSIX descriptors, for the native build.
#include "platform/rtl/Streams.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rtl {

std::string SysErrorMessage(std::uint32_t code) { return std::strerror(static_cast<int>(code)); }

namespace {

std::string Reason(int error) { return SysErrorMessage(static_cast<std::uint32_t>(error)); }

// Windows share modes have no POSIX equivalent; advisory locks between our own streams
// catch the conflicts that matter: an exclusive stream shuts out every other one.
int LockFor(std::uint16_t mode)
{
    if (mode == fmCreate)
        return LOCK_EX;
    const int share = mode & 0xF0;
    return share == fmShareCompat || share == fmShareExclusive ? LOCK_EX : LOCK_SH;
}

// Repeats `io` (read or write) until `count` bytes are done, the descriptor gives no more, or it
// fails; interrupted calls are retried. Returns the bytes done.
template <class Byte, class Io>
std::int32_t Transfer(Byte* buffer, std::int32_t count, Io io)
{
    std::int32_t done = 0;
    while (done < count) {
        const ssize_t n = io(buffer + done, static_cast<std::size_t>(count - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::int32_t>(n);
    }
    return done;
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, std::uint16_t mode) : fileName_(fileName), handle_(-1)
{
    const bool create = mode == fmCreate;
    int flags = O_CLOEXEC;
    if (create) {
        flags |= O_RDWR | O_CREAT;
    } else {
        switch (mode & 0x3) {
        case fmOpenRead: flags |= O_RDONLY; break;
        case fmOpenWrite: flags |= O_WRONLY; break;
        default: flags |= O_RDWR; break;
        }
    }
    const char* what = create ? "Cannot create file" : "Cannot open file";
    auto fail = [&](int error) -> void {
        const std::string message = std::string(what) + " \"" + fileName + "\". " + Reason(error);
        if (create)
            throw EFCreateError(message);
        throw EFOpenError(message);
    };

    const int fd = ::open(fileName.c_str(), flags, 0666);
    if (fd < 0)
        fail(errno);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        fail(EISDIR);
    }
    if (::flock(fd, LockFor(mode) | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        fail(error);
    }
    // Truncate only once the lock is ours, so a refused create leaves the file alone.
    if (create && ::ftruncate(fd, 0) != 0) {
        const int error = errno;
        ::close(fd);
        fail(error);
    }
    handle_ = fd;
}

TFileStream::~TFileStream()
{
    if (handle_ >= 0)
        ::close(static_cast<int>(handle_));
}

std::int32_t TFileStream::Read(void* buffer, std::int32_t count)
{
    const int fd = static_cast<int>(handle_);
    return Transfer(static_cast<char*>(buffer), count,
                    [fd](char* at, std::size_t n) { return ::read(fd, at, n); });
}

std::int32_t TFileStream::Write(const void* buffer, std::int32_t count)
{
    const int fd = static_cast<int>(handle_);
    return Transfer(static_cast<const char*>(buffer), count,
                    [fd](const char* at, std::size_t n) { return ::write(fd, at, n); });
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    const off_t result = ::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), whence);
    return result < 0 ? -1 : static_cast<std::int64_t>(result);
}

void TFileStream::SetSize(std::int64_t newSize)
{
    const std::int64_t position = Position();
    if (newSize < 0 || ::ftruncate(static_cast<int>(handle_), static_cast<off_t>(newSize)) != 0)
        throw EStreamError("Cannot set the size of file \"" + fileName_ + "\". " +
                           Reason(newSize < 0 ? EINVAL : errno));
    if (position > newSize)
        Seek(newSize, soBeginning);
}

std::uint64_t TFileStream::WriteTime() const
{
    struct stat st {};
    if (::fstat(static_cast<int>(handle_), &st) != 0)
        return 0;
    return std::uint64_t(st.st_mtim.tv_sec) * 1000000000u + std::uint64_t(st.st_mtim.tv_nsec);
}

}  // namespace rtl
