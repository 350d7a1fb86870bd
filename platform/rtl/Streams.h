// Byte streams: the abstract TStream, memory-backed streams and the file stream.
#pragma once

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Object.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rtl {

enum TSeekOrigin : int { soBeginning, soCurrent, soEnd };

// Sequential and random access to bytes. Read and Write transfer at most `count` bytes and
// return how many they moved (0 for count <= 0); ReadBuffer and WriteBuffer insist on all
// of them. Positions and sizes are 64-bit everywhere.
class TStream : public TObject {
public:
    virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
    virtual std::int32_t Write(const void* buffer, std::int32_t count) = 0;
    // Returns the new position, or -1 when the underlying device refuses the move.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

    std::int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(std::int64_t position) { Seek(position, soBeginning); }
    virtual std::int64_t Size();
    // Streams that cannot change size ignore it.
    virtual void SetSize(std::int64_t newSize);

    // Throws EReadError "Stream read error" / EWriteError "Stream write error" on a short
    // transfer; the stream position is then wherever the partial transfer left it.
    void ReadBuffer(void* buffer, std::int32_t count);
    void WriteBuffer(const void* buffer, std::int32_t count);

    // Copies `count` bytes from the current position of `source`; count 0 copies the whole
    // source from its start. Returns the number of bytes copied. A source that ends early
    // raises EReadError; a negative count raises EStreamError.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// Read-write stream over a growable block of memory, zero-filled when grown. Positions may
// be moved anywhere at or after 0; writing past the end extends the stream. Seeking before 0
// clamps nothing: Read and Write then transfer no bytes.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;

    std::int32_t Read(void* buffer, std::int32_t count) override;
    std::int32_t Write(const void* buffer, std::int32_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
    // Throws EStreamError "Out of memory while expanding memory stream" when the block cannot
    // grow or would pass 2 GB; a negative size raises EStreamError too.
    void SetSize(std::int64_t newSize) override;

    // The bytes held; valid until the next size change. nullptr when empty.
    std::uint8_t* Memory() { return data_.empty() ? nullptr : data_.data(); }
    const std::uint8_t* Memory() const { return data_.empty() ? nullptr : data_.data(); }
    std::int64_t Capacity() const { return static_cast<std::int64_t>(data_.capacity()); }
    const std::vector<std::uint8_t>& Bytes() const { return data_; }

    void Clear();
    // Replace the contents with the whole of `source` (read from its start); position 0.
    void LoadFromStream(TStream& source);
    void LoadFromFile(const std::string& fileName);
    // Write the whole contents, regardless of the position.
    void SaveToStream(TStream& dest) const;
    void SaveToFile(const std::string& fileName) const;

private:
    void Grow(std::int64_t newSize);

    std::vector<std::uint8_t> data_;
    std::int64_t position_ = 0;
};

// Read-only view over memory owned by someone else (a resource, a mapped buffer).
// Write returns 0 and SetSize raises EStreamError.
class TReadOnlyMemoryStream : public TStream {
public:
    TReadOnlyMemoryStream(const void* data, std::int64_t size);

    std::int32_t Read(void* buffer, std::int32_t count) override;
    std::int32_t Write(const void* buffer, std::int32_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return size_; }
    void SetSize(std::int64_t newSize) override;
    const std::uint8_t* Memory() const { return data_; }

private:
    const std::uint8_t* data_;  // not owned
    std::int64_t size_;
    std::int64_t position_ = 0;
};

// Memory stream over a string, for text a caller builds or parses in one piece.
class TStringStream : public TMemoryStream {
public:
    TStringStream() = default;
    explicit TStringStream(const std::string& text);
    std::string DataString() const;
    // Reads up to `count` bytes from the position as a string.
    std::string ReadString(std::int32_t count);
    void WriteString(const std::string& text);
};

// File open modes; combine one access mode with one share mode. fmCreate creates or
// truncates the file and opens it for reading and writing, denying all sharing.
inline constexpr std::uint16_t fmCreate = 0xFFFF;
inline constexpr std::uint16_t fmOpenRead = 0x0000;
inline constexpr std::uint16_t fmOpenWrite = 0x0001;
inline constexpr std::uint16_t fmOpenReadWrite = 0x0002;
inline constexpr std::uint16_t fmShareCompat = 0x0000;
inline constexpr std::uint16_t fmShareExclusive = 0x0010;
inline constexpr std::uint16_t fmShareDenyWrite = 0x0020;
inline constexpr std::uint16_t fmShareDenyRead = 0x0030;
inline constexpr std::uint16_t fmShareDenyNone = 0x0040;

// The system's own text for an error code (GetLastError on Windows, errno on POSIX), without
// the closing full stop and line break.
std::string SysErrorMessage(std::uint32_t code);

// Stream over an operating-system file. The constructor raises EFCreateError
// "Cannot create file \"name\". <reason>" or EFOpenError "Cannot open file \"name\". <reason>".
// fmShareCompat behaves like fmShareExclusive. On POSIX the share modes are advisory locks:
// exclusive and compat take an exclusive lock, the others a shared one.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, std::uint16_t mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::int32_t Read(void* buffer, std::int32_t count) override;
    std::int32_t Write(const void* buffer, std::int32_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    // Raises EStreamError when the file cannot be resized.
    void SetSize(std::int64_t newSize) override;

    const std::string& FileName() const { return fileName_; }
    // When the file was last written, in the system's units (100 ns on Windows, 1 ns elsewhere); 0
    // when the system cannot say. Tells a file rewritten in place from the one read before.
    std::uint64_t WriteTime() const;
    // The operating-system handle (a HANDLE on Windows, a descriptor on POSIX).
    std::intptr_t Handle() const { return handle_; }

private:
    std::string fileName_;
    std::intptr_t handle_;
};

}  // namespace rtl
