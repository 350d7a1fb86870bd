// Tests of TStream's helpers, the memory streams and the file stream.
#include "platform/rtl/Streams.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <numeric>
#include <string>

using namespace rtl;

namespace {

// A per-test scratch file under the system temp folder, removed afterwards.
class TempFile {
public:
    explicit TempFile(const std::string& tag)
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = (std::filesystem::temp_directory_path() / ("va_rtl_" + std::string(info->name()) + "_" + tag))
                    .string();
        std::filesystem::remove(path_);
    }
    ~TempFile()
    {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// A stream that accepts only so many bytes in total, like a full disk.
class LimitedStream : public TMemoryStream {
public:
    explicit LimitedStream(std::int64_t limit) : limit_(limit) {}
    std::int32_t Write(const void* buffer, std::int32_t count) override
    {
        const auto room = static_cast<std::int32_t>(
            std::max<std::int64_t>(0, std::min<std::int64_t>(count, limit_ - Size())));
        return TMemoryStream::Write(buffer, room);
    }

private:
    std::int64_t limit_;
};

std::vector<std::uint8_t> Ramp(std::size_t n)
{
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return v;
}

}  // namespace

// ---- memory streams ----

TEST(MemoryStream, ReadPastEndReturnsOnlyWhatIsThere)
{
    TMemoryStream s;
    s.WriteBuffer("abcdef", 6);
    s.SetPosition(4);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 2);
    EXPECT_EQ(std::string(buf, 2), "ef");
    EXPECT_EQ(s.Read(buf, 8), 0);
    EXPECT_EQ(s.Read(buf, -1), 0);
}

TEST(MemoryStream, ReadBufferShortRaisesReadError)
{
    TMemoryStream s;
    s.WriteBuffer("abc", 3);
    s.SetPosition(0);
    char buf[4];
    try {
        s.ReadBuffer(buf, 4);
        FAIL() << "no exception";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Stream read error");
    }
    s.SetPosition(0);
    EXPECT_THROW(s.ReadBuffer(buf, -2), EReadError);
    EXPECT_NO_THROW(s.ReadBuffer(buf, 0));
}

TEST(MemoryStream, WriteAfterSeekPastEndZeroFillsTheGap)
{
    TMemoryStream s;
    s.WriteBuffer("ab", 2);
    EXPECT_EQ(s.Seek(3, soCurrent), 5);
    s.WriteBuffer("z", 1);
    ASSERT_EQ(s.Size(), 6);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 6), std::string("ab\0\0\0z", 6));
}

TEST(MemoryStream, NegativePositionTransfersNothingInsteadOfCorrupting)
{
    TMemoryStream s;
    s.WriteBuffer("abc", 3);
    EXPECT_EQ(s.Seek(-10, soEnd), -7);
    char c;
    EXPECT_EQ(s.Read(&c, 1), 0);
    EXPECT_EQ(s.Write("x", 1), 0);
    EXPECT_EQ(s.Size(), 3);
}

TEST(MemoryStream, HostileSeekOffsetsSaturateWithoutOverflow)
{
    TMemoryStream s;
    s.WriteBuffer("abc", 3);
    EXPECT_EQ(s.Seek(INT64_MAX, soEnd), INT64_MAX);
    char c;
    EXPECT_EQ(s.Read(&c, 1), 0);
    EXPECT_THROW(s.Write("x", 1), EStreamError);
    EXPECT_EQ(s.Seek(INT64_MIN, soCurrent), INT64_MIN + INT64_MAX);
}

TEST(MemoryStream, WritingFarPastTheEndFailsWithoutAllocatingIt)
{
    TMemoryStream s;
    s.SetPosition(std::int64_t{3} << 30);
    try {
        s.WriteBuffer("x", 1);
        FAIL() << "no exception";
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.Message(), "Out of memory while expanding memory stream");
    }
    EXPECT_EQ(s.Size(), 0);
    EXPECT_THROW(s.SetSize(std::int64_t{1} << 40), EStreamError);
}

TEST(MemoryStream, SetSizeClampsPositionAndRejectsNegative)
{
    TMemoryStream s;
    s.WriteBuffer("abcdef", 6);
    s.SetSize(2);
    EXPECT_EQ(s.Position(), 2);
    EXPECT_THROW(s.SetSize(-1), EStreamError);
    s.SetSize(4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 4), std::string("ab\0\0", 4));
}

TEST(MemoryStream, ByteByByteWritesGrowCapacityGeometrically)
{
    TMemoryStream s;
    int reallocations = 0;
    std::int64_t lastCapacity = s.Capacity();
    for (int i = 0; i < 1 << 20; ++i) {
        const std::uint8_t b = static_cast<std::uint8_t>(i);
        s.WriteBuffer(&b, 1);
        if (s.Capacity() != lastCapacity) {
            ++reallocations;
            lastCapacity = s.Capacity();
        }
    }
    EXPECT_EQ(s.Size(), 1 << 20);
    EXPECT_LT(reallocations, 40);
}

TEST(MemoryStream, ClearEmptiesAndResetsPosition)
{
    TMemoryStream s;
    s.WriteBuffer("abc", 3);
    s.Clear();
    EXPECT_EQ(s.Size(), 0);
    EXPECT_EQ(s.Position(), 0);
    EXPECT_EQ(s.Memory(), nullptr);
}

TEST(MemoryStream, LoadFromStreamTakesTheWholeSourceRegardlessOfItsPosition)
{
    TStringStream src("hello world");
    src.SetPosition(6);
    TMemoryStream m;
    m.WriteBuffer("old contents that are longer", 28);
    m.LoadFromStream(src);
    EXPECT_EQ(m.Size(), 11);
    EXPECT_EQ(m.Position(), 0);
    TStringStream out;
    m.SetPosition(5);
    m.SaveToStream(out);
    EXPECT_EQ(out.DataString(), "hello world");
}

TEST(ReadOnlyMemoryStream, ReadsTheViewAndRefusesWrites)
{
    const char data[] = "0123456789";
    TReadOnlyMemoryStream s(data, 10);
    char buf[4];
    s.SetPosition(8);
    EXPECT_EQ(s.Read(buf, 4), 2);
    EXPECT_EQ(s.Write("x", 1), 0);
    EXPECT_THROW(s.WriteBuffer("x", 1), EWriteError);
    EXPECT_THROW(s.SetSize(3), EStreamError);
    TReadOnlyMemoryStream empty(nullptr, 50);
    EXPECT_EQ(empty.Size(), 0);
}

TEST(StringStream, ReadStringStopsAtTheEnd)
{
    TStringStream s("abcdef");
    s.SetPosition(4);
    EXPECT_EQ(s.ReadString(10), "ef");
    EXPECT_EQ(s.ReadString(10), "");
}

// ---- CopyFrom ----

TEST(CopyFrom, ZeroCountCopiesWholeSourceFromItsStart)
{
    const auto data = Ramp(200000);
    TMemoryStream src;
    src.WriteBuffer(data.data(), static_cast<std::int32_t>(data.size()));
    TMemoryStream dst;
    EXPECT_EQ(dst.CopyFrom(src, 0), 200000);
    ASSERT_EQ(dst.Size(), 200000);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), dst.Memory()));
}

TEST(CopyFrom, CountCopiesFromCurrentPositionOnly)
{
    TStringStream src("0123456789");
    src.SetPosition(3);
    TStringStream dst;
    EXPECT_EQ(dst.CopyFrom(src, 4), 4);
    EXPECT_EQ(dst.DataString(), "3456");
    EXPECT_EQ(src.Position(), 7);
}

TEST(CopyFrom, SourceEndingEarlyRaisesReadError)
{
    TStringStream src("0123");
    TStringStream dst;
    EXPECT_THROW(dst.CopyFrom(src, 5), EReadError);
    EXPECT_THROW(dst.CopyFrom(src, -1), EStreamError);
}

TEST(CopyFrom, FullDestinationRaisesWriteError)
{
    TStringStream src(std::string(100, 'x'));
    LimitedStream dst(50);
    try {
        dst.CopyFrom(src, 0);
        FAIL() << "no exception";
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.Message(), "Stream write error");
    }
}

// ---- file streams ----

TEST(FileStream, RoundTripsBytesAndReportsSize)
{
    TempFile f("a.bin");
    const auto data = Ramp(100000);
    {
        TFileStream s(f.Path(), fmCreate);
        s.WriteBuffer(data.data(), static_cast<std::int32_t>(data.size()));
        EXPECT_EQ(s.Size(), 100000);
        EXPECT_EQ(s.Position(), 100000);
    }
    TFileStream s(f.Path(), fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(s.Size(), 100000);
    EXPECT_EQ(s.Position(), 0);
    std::vector<std::uint8_t> back(data.size());
    s.ReadBuffer(back.data(), static_cast<std::int32_t>(back.size()));
    EXPECT_EQ(back, data);
    char c;
    EXPECT_EQ(s.Read(&c, 1), 0);
    s.SetPosition(99999);
    EXPECT_THROW(s.ReadBuffer(back.data(), 2), EReadError);
}

TEST(FileStream, CreateTruncatesExistingFile)
{
    TempFile f("t.bin");
    TStringStream("long old contents").SaveToFile(f.Path());
    {
        TFileStream s(f.Path(), fmCreate);
        s.WriteBuffer("new", 3);
    }
    TStringStream back;
    back.LoadFromFile(f.Path());
    EXPECT_EQ(back.DataString(), "new");
}

TEST(FileStream, SetSizeTruncatesAndExtends)
{
    TempFile f("s.bin");
    TFileStream s(f.Path(), fmCreate);
    s.WriteBuffer("abcdef", 6);
    s.SetSize(3);
    EXPECT_EQ(s.Size(), 3);
    EXPECT_EQ(s.Position(), 3);
    s.SetSize(10);
    EXPECT_EQ(s.Size(), 10);
    EXPECT_EQ(s.Position(), 3);
    EXPECT_THROW(s.SetSize(-1), EStreamError);
}

TEST(FileStream, OpeningMissingFileRaisesOpenErrorNamingTheFile)
{
    TempFile f("missing.bin");
    try {
        TFileStream s(f.Path(), fmOpenRead);
        FAIL() << "no exception";
    } catch (const EFOpenError& e) {
        const std::string prefix = "Cannot open file \"" + f.Path() + "\". ";
        EXPECT_EQ(e.Message().substr(0, prefix.size()), prefix);
        EXPECT_GT(e.Message().size(), prefix.size());
    }
}

TEST(FileStream, CreatingInMissingFolderRaisesCreateError)
{
    TempFile f("nofolder");
    const std::string path = f.Path() + "/sub/x.bin";
    try {
        TFileStream s(path, fmCreate);
        FAIL() << "no exception";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message().rfind("Cannot create file \"" + path + "\". ", 0), 0u) << e.Message();
    }
}

TEST(FileStream, OpeningAFolderAsAFileFails)
{
    const std::string dir = std::filesystem::temp_directory_path().string();
    EXPECT_THROW(TFileStream(dir, fmOpenRead | fmShareDenyNone), EFOpenError);
    EXPECT_THROW(TFileStream(dir, fmCreate), EFCreateError);
}

TEST(FileStream, SecondOpenOfExclusiveFileFails)
{
    TempFile f("x.bin");
    TStringStream("data").SaveToFile(f.Path());
    TFileStream first(f.Path(), fmOpenReadWrite | fmShareExclusive);
    EXPECT_THROW(TFileStream(f.Path(), fmOpenRead | fmShareDenyNone), EFOpenError);
    EXPECT_THROW(TFileStream(f.Path(), fmCreate), EFCreateError);
    // The refused create must not have truncated the file.
    EXPECT_EQ(first.Size(), 4);
}

TEST(FileStream, DenyWriteReadersShareTheFile)
{
    TempFile f("r.bin");
    TStringStream("data").SaveToFile(f.Path());
    TFileStream a(f.Path(), fmOpenRead | fmShareDenyWrite);
    TFileStream b(f.Path(), fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(b.Size(), 4);
    EXPECT_THROW(TFileStream(f.Path(), fmOpenReadWrite | fmShareExclusive), EFOpenError);
}

TEST(FileStream, WriteOnlyStreamCannotRead)
{
    TempFile f("w.bin");
    TStringStream("data").SaveToFile(f.Path());
    TFileStream s(f.Path(), fmOpenWrite | fmShareDenyNone);
    char c;
    EXPECT_EQ(s.Read(&c, 1), 0);
    s.WriteBuffer("X", 1);
}
