// The I/O component around its readers and writers: the load and save skeletons, formats without
// a reader, safe file saves, stream headers, the resolution adjustment, and the worker (made
// deterministic with streams that block on a latch until the test or an abort lets them go).
#include "imaging/io/vodiradio.h"

#include "imaging/io/bmpfilt.h"
#include "tests/imaging/core/bitmap_test_util.h"
#include "tests/imaging/io/bmp_test_util.h"
#include "platform/rtl/Endian.h"
#include "platform/rtl/FormStream.h"
#include "platform/rtl/FormText.h"
#include "platform/rtl/Thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

using namespace imaging;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A 24-bit BMP of w x h whose pixel (x, y) is (x, y, seed), at the given resolution in dots per
// metre (0: none).
Bytes MakeBmp(int w, int h, int seed, int xPerMetre = 0, int yPerMetre = 0)
{
    return test::PatternBmp(
        w, h,
        [seed](int x, int y) {
            return TRGB{std::uint8_t(seed), std::uint8_t(y), std::uint8_t(x)};
        },
        xPerMetre, yPerMetre);
}

bool HoldsSeed(TIEBitmap& b, int w, int h, int seed)
{
    if (b.GetWidth() != w || b.GetHeight() != h)
        return false;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (!(b.GetPixelRGB(x, y) == TRGB{std::uint8_t(seed), std::uint8_t(y), std::uint8_t(x)}))
                return false;
    return true;
}

class ScratchDir {
public:
    ScratchDir()
    {
        path_ = std::filesystem::temp_directory_path() /
                ("va_vodiradio_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string Path(const std::string& name) const { return (path_ / name).string(); }
    std::string Write(const std::string& name, const Bytes& bytes) const
    {
        rtl::TMemoryStream m;
        if (!bytes.empty())
            m.WriteBuffer(bytes.data(), std::int32_t(bytes.size()));
        m.SaveToFile(Path(name));
        return Path(name);
    }
    Bytes Read(const std::string& name) const
    {
        rtl::TMemoryStream m;
        m.LoadFromFile(Path(name));
        return m.Bytes();
    }
    std::size_t Count() const
    {
        return std::size_t(std::distance(std::filesystem::directory_iterator(path_), {}));
    }

private:
    std::filesystem::path path_;
};

rtl::TMemoryStream* NewStream(const Bytes& bytes)
{
    auto* m = new rtl::TMemoryStream;
    m->WriteBuffer(bytes.data(), std::int32_t(bytes.size()));
    m->SetPosition(0);
    return m;
}

// Counts finish events and where they ran.
struct Events {
    int finished = 0;
    bool allOnMain = true;
    void Attach(TVodirAdIO& io)
    {
        io.OnFinishWork = [this](rtl::TObject*) {
            ++finished;
            allOnMain = allOnMain && rtl::IsMainThread();
        };
        io.OnProgress = [this](void*, int) { allOnMain = allOnMain && rtl::IsMainThread(); };
    }
};

// A row of steps for a test; the row it replaced, or none, is back when the test ends.
class ScopedSteps {
public:
    explicit ScopedSteps(const TIEFormatSteps& steps)
    {
        const TIEFormatSteps* old = IEFormatSteps(steps.FileType);
        old_ = old ? *old : TIEFormatSteps{.FileType = steps.FileType};
        IEAddFormatSteps(steps);
    }
    ~ScopedSteps() { IEAddFormatSteps(old_); }

private:
    TIEFormatSteps old_;
};

class MainThreadTest : public ::testing::Test {
protected:
    void SetUp() override { rtl::SetMainThread(); }
};

// ---- loads and saves on the calling thread ----

using Loads = MainThreadTest;

TEST_F(Loads, FileLoadFillsTheBitmapAndParameters)
{
    ScratchDir dir;
    TIEBitmap target;
    TVodirAdIO io(nullptr);
    io.SetAttachedTIEBitmap(&target);
    Events ev;
    ev.Attach(io);
    struct Case {
        const char* name;
        int xPerMetre, yPerMetre, dpiX, dpiY;
    };
    for (Case c : {Case{"a.bmp", 0, 0, 300, 300}, Case{"b.DIB", 3780, 5906, 96, 150}}) {
        const std::string file = dir.Write(c.name, MakeBmp(7, 5, 9, c.xPerMetre, c.yPerMetre));
        io.LoadFromFile(file);
        EXPECT_FALSE(io.AbortFlag) << c.name;
        EXPECT_TRUE(HoldsSeed(target, 7, 5, 9)) << c.name;
        EXPECT_EQ(io.Params().FileType, ioBMP);
        EXPECT_EQ(io.Params().FileName, file);
        EXPECT_EQ(io.Params().DpiX, c.dpiX) << c.name;
        EXPECT_EQ(io.Params().DpiY, c.dpiY) << c.name;
    }
    EXPECT_EQ(ev.finished, 2);
}

TEST_F(Loads, FormatsWithoutAReaderFailCleanly)
{
    ScratchDir dir;
    TIEBitmap target;
    target.Allocate(3, 2, ie24RGB);
    target.SetPixel24(1, 1, TRGB{1, 2, 3});
    TVodirAdIO io(nullptr);
    io.SetAttachedTIEBitmap(&target);
    Events ev;
    ev.Attach(io);
    const Bytes junk(64, 0x55);
    for (const char* name : {"a.tif", "a.gif", "a.pcx", "a.tga", "a.ppm", "a.ico", "a.cur", "a.wbmp", "a.jp2",
                             "a.j2k", "a.xyz", "a.pix", "a.wmf", "a.avi"}) {
        io.AbortFlag = false;
        io.LoadFromFile(dir.Write(name, junk));
        EXPECT_TRUE(io.AbortFlag) << name;
        EXPECT_EQ(target.GetWidth(), 3) << name;
        EXPECT_TRUE(target.GetPixel24(1, 1) == (TRGB{1, 2, 3})) << name;
    }
    for (int type = ioTIFF; type <= ioPDF; ++type) {
        if (type == ioBMP || type == ioJPEG || type == ioPNG || type == ioJP2 || type == ioJ2K ||
            type == ioTIFF || type == ioGIF)
            continue;
        std::unique_ptr<rtl::TMemoryStream> m(NewStream(junk));
        io.AbortFlag = false;
        io.LoadFromStreamType(*m, type);
        EXPECT_TRUE(io.AbortFlag) << type;
        EXPECT_EQ(target.GetWidth(), 3) << type;
    }
    EXPECT_EQ(ev.finished, 14 + 11);
}

TEST_F(Loads, SavesOfFormatsWithoutAWriterWriteNothing)
{
    ScratchDir dir;
    TVodirAdIO io(nullptr);
    io.IEBitmap()->Allocate(4, 4, ie24RGB);
    for (const char* name : {"a.xyz", "a.cur"}) {
        io.AbortFlag = false;
        io.SaveToFile(dir.Path(name));
        EXPECT_TRUE(io.AbortFlag) << name;
    }
    EXPECT_EQ(dir.Count(), 0u);
    rtl::TMemoryStream m;
    for (int type = ioTIFF; type <= ioPDF; ++type) {
        if (type == ioBMP || type == ioPCX || type == ioTGA || type == ioPXM || type == ioWBMP ||
            type == ioJPEG || type == ioPNG || type == ioJP2 || type == ioJ2K || type == ioPS ||
            type == ioPDF || type == ioTIFF || type == ioGIF || type == ioICO)
            continue;
        io.AbortFlag = false;
        io.SaveToStream(m, type);
        EXPECT_TRUE(io.AbortFlag) << type;
    }
    EXPECT_EQ(m.Size(), 0);
}

TEST_F(Loads, AFailedSaveLeavesTheOldFileAndNoTemporaryFile)
{
    ScratchDir dir;
    const Bytes old = MakeBmp(3, 3, 1);
    const std::string file = dir.Write("keep.bmp", old);
    TVodirAdIO io(nullptr);  // an empty working bitmap: the writer refuses it
    io.SaveToFile(file);
    EXPECT_TRUE(io.AbortFlag);
    EXPECT_EQ(dir.Read("keep.bmp"), old);
    EXPECT_EQ(dir.Count(), 1u);

    // A good save replaces it.
    io.IEBitmap()->Allocate(5, 2, ie24RGB);
    io.SaveToFile(file);
    EXPECT_FALSE(io.AbortFlag);
    EXPECT_EQ(dir.Count(), 1u);
    EXPECT_EQ(rtl::LoadLE32(dir.Read("keep.bmp").data() + 18), 5u);
}

TEST_F(Loads, SavesConvertACopyAndLeaveTheWorkingBitmapAlone)
{
    // A writer that takes 24 bits only sees 24 bits; the working bitmap keeps its own format.
    TIEPixelFormat seen = ieNull;
    static TIEPixelFormat* seenAt = nullptr;
    seenAt = &seen;
    ScopedSteps steps(TIEFormatSteps{
        .FileType = ioPXM,
        .Save = [](TIESaveJob& job) { *seenAt = job.Bitmap.GetPixelFormat(); },
    });
    for (TIEPixelFormat format : {ie8p, ie8g, ie16g, ie32f}) {
        TVodirAdIO io(nullptr);
        io.IEBitmap()->Allocate(3, 2, format);
        std::memset(io.IEBitmap()->ScanLine(1), 0x40, 2);
        const Bytes before(io.IEBitmap()->ScanLine(1),
                           io.IEBitmap()->ScanLine(1) + io.IEBitmap()->GetRowLen());
        rtl::TMemoryStream m;
        io.SaveToStream(m, ioPXM);
        EXPECT_EQ(seen, ie24RGB) << int(format);
        EXPECT_EQ(io.IEBitmap()->GetPixelFormat(), format);
        EXPECT_EQ(Bytes(io.IEBitmap()->ScanLine(1), io.IEBitmap()->ScanLine(1) + io.IEBitmap()->GetRowLen()),
                  before);
    }
}

// Every byte of an image: format, rows, palette and alpha channel.
struct Snapshot {
    TIEPixelFormat format;
    Bytes rows, palette, alpha;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(TIEBitmap& b)
{
    Snapshot s{b.GetPixelFormat(), test::Rows(b), {}, {}};
    for (int i = 0; i < b.PaletteLen(); ++i) {
        const TRGB c = b.GetPaletteColor(i);
        s.palette.insert(s.palette.end(), {c.b, c.g, c.r});
    }
    if (b.HasAlphaChannel())
        s.alpha = test::Rows(*b.GetAlphaChannel());
    return s;
}

// A 37 x 23 picture in the format, with an alpha channel when asked.
void Picture(TIEBitmap& b, TIEPixelFormat format, bool alpha)
{
    b.Allocate(37, 23, format);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < b.GetRowLen(); ++x)
            b.ScanLine(y)[x] = std::uint8_t(x * 7 + y * 13);
    for (int i = 0; i < b.PaletteLen(); ++i)
        b.SetPaletteColor(i, TRGB{std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 3)});
    if (alpha)
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x)
                b.GetAlphaChannel()->ScanLine(y)[x] = std::uint8_t(x * 5 + y);
}

TEST_F(Loads, EveryWriterLeavesTheWorkingBitmapAsItWas)
{
    // The writer may read the working bitmap itself: none may change it, in any pixel format it
    // takes, with or without alpha.
    for (int type :
         {ioTIFF, ioGIF, ioJPEG, ioPCX, ioBMP, ioICO, ioPNG, ioTGA, ioPXM, ioJP2, ioJ2K, ioWBMP, ioPS, ioPDF})
        for (TIEPixelFormat format : {ie24RGB, ie1g, ie8p, ie8g})
            for (bool alpha : {false, true}) {
                TVodirAdIO io(nullptr);
                TIEBitmap& b = *io.IEBitmap();
                Picture(b, format, alpha);
                const Snapshot before = Take(b);
                io.Params().BitsPerSample = format == ie1g ? 1 : 8;
                io.Params().SamplesPerPixel = format == ie24RGB ? 3 : 1;
                rtl::TMemoryStream m;
                io.SaveToStream(m, type);
                EXPECT_FALSE(io.AbortFlag) << type << " " << int(format);
                EXPECT_GT(m.Size(), 0) << type << " " << int(format);
                EXPECT_TRUE(Take(b) == before) << type << " " << int(format) << " " << alpha;
            }
}

// A point a reader or writer waits at until the test lets it go (or, when given one, an abort is
// set, which is seen within a millisecond).
class Latch {
public:
    void Hold(const std::atomic<bool>* abort = nullptr)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        held_ = true;
        cv_.notify_all();
        while (!released_ && !(abort && abort->load()))
            cv_.wait_for(lock, std::chrono::milliseconds(1));
    }
    void WaitHeld()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return held_; });
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        cv_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool held_ = false;
    bool released_ = false;
};

// Bytes written only up to `holdAt` until the test lets the writer go.
class HeldWrites : public rtl::TMemoryStream, public Latch {
public:
    explicit HeldWrites(std::int64_t holdAt) : holdAt_(holdAt) {}
    std::int32_t Write(const void* buffer, std::int32_t count) override
    {
        if (Position() + count > holdAt_)
            Hold();
        return rtl::TMemoryStream::Write(buffer, count);
    }

private:
    std::int64_t holdAt_;
};

TEST_F(Loads, ASaveNeverSeesThePictureChangeUnderIt)
{
    // The picture is changed while the writer is half way: from the progress handler on this
    // thread, and from this thread while a worker writes.
    const auto change = [](TIEBitmap& b) {
        b.Fill(255);
        b.Allocate(5, 5, ie24RGB);
    };
    for (bool worker : {false, true}) {
        TIEBitmap target;
        std::unique_ptr<rtl::TMemoryStream> in(NewStream(MakeBmp(40, 30, 3)));
        TVodirAdIO io(nullptr);
        io.SetAttachedTIEBitmap(&target);
        io.LoadFromStreamType(*in, ioBMP);
        HeldWrites out(worker ? 600 : std::int64_t(1) << 40);
        bool changed = false;
        if (worker) {
            io.Asynchronous = true;
            io.SaveToStream(out, ioBMP);
            out.WaitHeld();
            change(target);
            out.Release();
            io.WaitThreads(false);
        } else {
            io.OnProgress = [&](rtl::TObject*, int per) {
                if (per >= 50 && !changed) {
                    changed = true;
                    change(target);
                }
            };
            io.SaveToStream(out, ioBMP);
            EXPECT_TRUE(changed);
        }
        ASSERT_FALSE(io.AbortFlag) << worker;
        out.SetPosition(0);
        TVodirAdIO reader(nullptr);
        reader.LoadFromStreamType(out, ioBMP);
        EXPECT_TRUE(HoldsSeed(*reader.IEBitmap(), 40, 30, 3)) << worker;
    }
}

TEST_F(Loads, ParamsOnlyReadsLeaveTheBitmapAndReportFailureAsTypeZero)
{
    TIEBitmap target;
    target.Allocate(2, 2, ie8g);
    TVodirAdIO io(nullptr);
    io.SetAttachedTIEBitmap(&target);
    std::unique_ptr<rtl::TMemoryStream> good(NewStream(MakeBmp(11, 6, 3)));
    io.ReadParamsFromStream(*good, ioBMP);
    EXPECT_EQ(io.Params().Width, 11);
    EXPECT_EQ(io.Params().FileType, ioBMP);
    EXPECT_EQ(target.GetWidth(), 2);
    std::unique_ptr<rtl::TMemoryStream> bad(NewStream(Bytes(30, 1)));
    io.ReadParamsFromStream(*bad, ioBMP);
    EXPECT_EQ(io.Params().FileType, ioUnknown);
}

TEST_F(Loads, AutoAdjustDpiStretchesTheShorterSideAndBoundsTheResult)
{
    struct Case {
        int w, h, xPerMetre, yPerMetre;
        int expectW, expectH;
        bool aborted;
    };
    const Case cases[] = {
        {40, 30, 7874, 3937, 40, 60, false},         // 200 x 100 dpi: the height doubles
        {30, 40, 3937, 7874, 60, 40, false},         // 100 x 200 dpi: the width doubles
        {40, 30, 3937, 3937, 40, 30, false},         // equal: nothing
        {200, 1, 7874, 79, 200, 100, false},         // 200 x 2 dpi
        {60, 2, 79, 7874, 60, 1, false},             // 2 x 200 dpi: the height would be 0 and stays 1
        {3, 40000, 79, 0x7FFFFFFF, 3, 40000, true},  // 2 x 54 million dpi: beyond the container
        {13, 7, 11811, 79, 13, 7, true},    // 300 x 2 dpi: 150 times the pixels, no picture asks that
        {13, 7, 7874, 79, 13, 700, false},  // 200 x 2 dpi: 100 times
    };
    for (const Case& c : cases) {
        TVodirAdIO io(nullptr);
        io.AutoAdjustDPI = true;
        std::unique_ptr<rtl::TMemoryStream> m(NewStream(MakeBmp(c.w, c.h, 0, c.xPerMetre, c.yPerMetre)));
        io.LoadFromStreamType(*m, ioBMP);
        EXPECT_EQ(bool(io.AbortFlag), c.aborted) << c.w << "x" << c.h;
        EXPECT_EQ(io.IEBitmap()->GetWidth(), c.expectW) << c.w << "x" << c.h;
        EXPECT_EQ(io.IEBitmap()->GetHeight(), c.expectH) << c.w << "x" << c.h;
        // A refused stretch leaves the resolutions as the file gave them.
        EXPECT_EQ(io.Params().DpiX == io.Params().DpiY, !c.aborted) << c.w << "x" << c.h;
    }
}

// Readers for a type that carry a BMP inside, so the component's steps around them can be seen.
std::atomic<std::int64_t> gBlockSize{-1};
void LoadInnerBmp(TIELoadJob& job)
{
    gBlockSize = job.BlockSize;
    ReadBMPStream(job.Stream, &job.Bitmap, job.BlockSize, job.Params, job.Progress, job.ParamsOnly, false);
}
void SaveInnerBmp(TIESaveJob& job) { WriteBMPStream(job.Stream, &job.Bitmap, job.Params, job.Progress); }

TEST_F(Loads, StreamHeadersFrameEachImageAndLeaveThePositionAfterIt)
{
    ScopedSteps tiff(TIEFormatSteps{ioTIFF, LoadInnerBmp, SaveInnerBmp, false, false, true, "TIFF"});
    ScopedSteps pcx(
        TIEFormatSteps{ioPCX, LoadInnerBmp, SaveInnerBmp, false, false, true, "PCX2", false, true});
    ScopedSteps jpeg(TIEFormatSteps{ioJPEG, LoadInnerBmp, SaveInnerBmp, false, false, true, "JFIF", true});
    TVodirAdIO io(nullptr);
    io.StreamHeaders = true;
    rtl::TMemoryStream m;
    std::vector<std::int64_t> ends;
    for (int type : {ioTIFF, ioPCX, ioJPEG}) {
        std::unique_ptr<rtl::TMemoryStream> src(NewStream(MakeBmp(3 + type, 2, type)));
        io.LoadFromStreamType(*src, ioBMP);
        io.SaveToStream(m, type);
        ASSERT_FALSE(io.AbortFlag);
        ends.push_back(m.Position());
    }
    m.SetPosition(0);
    for (std::size_t i = 0; i < 3; ++i) {
        const int type = std::vector<int>{ioTIFF, ioPCX, ioJPEG}[i];
        io.LoadFromStream(m);
        EXPECT_FALSE(io.AbortFlag) << type;
        EXPECT_EQ(io.Params().FileType, type);
        EXPECT_TRUE(HoldsSeed(*io.IEBitmap(), 3 + type, 2, type)) << type;
        EXPECT_EQ(m.Position(), ends[i]) << type;
    }

    // The older PCX form: the reader gets the bytes from after its 4 bytes, wherever it starts.
    Bytes old = {'x', 'y', 'P', 'C', 'X', 0};
    const Bytes inner = MakeBmp(2, 2, 7);
    old.insert(old.end(), inner.begin(), inner.end());
    std::unique_ptr<rtl::TMemoryStream> o(NewStream(old));
    o->SetPosition(2);
    io.LoadFromStreamType(*o, ioPCX);
    EXPECT_FALSE(io.AbortFlag);
    EXPECT_EQ(gBlockSize.load(), std::int64_t(inner.size()));
    EXPECT_TRUE(HoldsSeed(*io.IEBitmap(), 2, 2, 7));

    // A plain JPEG without the header is read as it is; a TIFF without it is refused.
    std::unique_ptr<rtl::TMemoryStream> plain(NewStream(inner));
    io.LoadFromStreamType(*plain, ioJPEG);
    EXPECT_FALSE(io.AbortFlag);
    plain->SetPosition(0);
    io.LoadFromStreamType(*plain, ioTIFF);
    EXPECT_TRUE(io.AbortFlag);
    EXPECT_EQ(plain->Position(), 0);
}

TEST_F(Loads, AlphaFromTheReaderIsKeptOnEveryLoadAndDroppedWhenThereIsNone)
{
    static bool withAlpha = true;
    ScopedSteps png(TIEFormatSteps{
        .FileType = ioPNG,
        .Load =
            [](TIELoadJob& job) {
                LoadInnerBmp(job);
                if (withAlpha) {
                    job.Alpha =
                        TIEBitmap::CreateAlpha(job.Bitmap.GetWidth(), job.Bitmap.GetHeight(), ieMemory);
                    job.Alpha->ScanLine(0)[0] = 7;
                }
            },
    });
    TIEBitmap target;
    TVodirAdIO io(nullptr);
    io.SetAttachedTIEBitmap(&target);
    for (bool alpha : {true, true, false, true}) {
        withAlpha = alpha;
        std::unique_ptr<rtl::TMemoryStream> m(NewStream(MakeBmp(3, 3, 1)));
        io.LoadFromStreamType(*m, ioPNG);
        ASSERT_EQ(target.HasAlphaChannel(), alpha);
        if (alpha) {
            EXPECT_EQ(target.GetAlpha(0, 0), 7);
        }
    }
}

// ---- the worker ----

// Bytes that a reader gets only up to `holdAt` until the test lets it go or the component aborts.
class LatchStream : public rtl::TMemoryStream, public Latch {
public:
    LatchStream(const std::vector<std::uint8_t>& bytes, std::int64_t holdAt,
                const std::atomic<bool>* abort = nullptr)
        : holdAt_(holdAt), abort_(abort)
    {
        WriteBuffer(bytes.data(), std::int32_t(bytes.size()));
        SetPosition(0);
    }
    std::int32_t Read(void* buffer, std::int32_t count) override
    {
        // A reader counts from the moment it asks, held or not: two jobs reading at once show 2.
        {
            std::lock_guard<std::mutex> lock(readersMutex_);
            maxReaders_ = std::max(maxReaders_, ++readers_);
            read_ = true;
        }
        readersChanged_.notify_all();
        if (Position() + count > holdAt_)
            Hold(abort_);
        const std::int32_t got = rtl::TMemoryStream::Read(buffer, count);
        {
            std::lock_guard<std::mutex> lock(readersMutex_);
            --readers_;
        }
        return got;
    }
    static void ResetReaders()
    {
        std::lock_guard<std::mutex> lock(readersMutex_);
        maxReaders_ = readers_ = 0;
    }
    static int MaxReaders()
    {
        std::lock_guard<std::mutex> lock(readersMutex_);
        return maxReaders_;
    }
    // Waits until this stream is read, or `patience` has passed.
    bool AwaitRead(std::chrono::milliseconds patience)
    {
        std::unique_lock<std::mutex> lock(readersMutex_);
        return readersChanged_.wait_for(lock, patience, [&] { return read_; });
    }
    // Waits until `count` readers are in at once, or `patience` has passed.
    static bool AwaitReaders(int count, std::chrono::milliseconds patience)
    {
        std::unique_lock<std::mutex> lock(readersMutex_);
        return readersChanged_.wait_for(lock, patience, [&] { return readers_ >= count; });
    }
    static inline std::mutex readersMutex_;
    static inline std::condition_variable readersChanged_;
    static inline int readers_ = 0;
    static inline int maxReaders_ = 0;

private:
    std::int64_t holdAt_;
    const std::atomic<bool>* abort_;
    bool read_ = false;  // under readersMutex_
};

using Worker = MainThreadTest;

TEST_F(Worker, AsynchronousLoadHandsTheImageOverOnTheMainThread)
{
    TIEBitmap target;
    target.Allocate(1, 1, ie24RGB);
    TVodirAdIO io(nullptr);
    io.SetAttachedTIEBitmap(&target);
    io.Asynchronous = true;
    Events ev;
    ev.Attach(io);
    LatchStream s(MakeBmp(9, 8, 4), 200);
    io.LoadFromStreamType(s, ioBMP);
    s.WaitHeld();
    // The reader is mid-image; nothing of it has reached the working bitmap.
    EXPECT_EQ(target.GetWidth(), 1);
    EXPECT_FALSE(io.IsIOThread());
    s.Release();
    io.WaitThreads(false);
    EXPECT_TRUE(HoldsSeed(target, 9, 8, 4));
    EXPECT_EQ(io.Params().Width, 9);
    EXPECT_EQ(ev.finished, 1);
    EXPECT_TRUE(ev.allOnMain);
    // The queued hand-over finds nothing left to do.
    while (rtl::CheckSynchronize(0)) {
    }
    EXPECT_EQ(ev.finished, 1);
}

TEST_F(Worker, AComponentOwningItsBitmapLoadsOnTheCallingThread)
{
    TVodirAdIO io(nullptr);
    io.Asynchronous = true;
    std::unique_ptr<rtl::TMemoryStream> m(NewStream(MakeBmp(4, 4, 2)));
    io.LoadFromStreamType(*m, ioBMP);
    EXPECT_TRUE(HoldsSeed(*io.IEBitmap(), 4, 4, 2));
}

// Starts an asynchronous load whose stream is never released (only the abort lets its reader go)
// and destroys the component, once the reader is held or at once. Gives the finish events seen and
// the width the attached bitmap ends with.
std::pair<int, int> DestroyDuringLoad(int side, std::int64_t holdAt, bool waitHeld)
{
    TIEBitmap target;
    Events ev;
    std::unique_ptr<LatchStream> s;
    {
        TVodirAdIO io(nullptr);
        io.SetAttachedTIEBitmap(&target);
        io.Asynchronous = true;
        ev.Attach(io);
        s = std::make_unique<LatchStream>(MakeBmp(side, side, 1), holdAt, &io.AbortFlag);
        io.LoadFromStreamType(*s, ioBMP);
        if (waitHeld)
            s->WaitHeld();
    }
    return {ev.finished, target.GetWidth()};
}

TEST_F(Worker, DestructionAbortsAStalledWorkerAndStillReportsItsEnd)
{
    EXPECT_EQ(DestroyDuringLoad(50, 500, true), std::make_pair(1, 0));
}

TEST_F(Worker, DestructionHandsOverALoadThatEndedBeforeTheMainThreadTookItOver)
{
    struct Case {
        Bytes file;
        bool loads;
    } cases[] = {{MakeBmp(9, 8, 4), true}, {Bytes(40, 7), false}};
    for (const Case& c : cases) {
        TIEBitmap target;
        target.Allocate(1, 1, ie24RGB);
        int finished = 0;
        bool failedAtFinish = !c.loads;
        std::unique_ptr<rtl::TMemoryStream> m(NewStream(c.file));
        {
            TVodirAdIO io(nullptr);
            io.SetAttachedTIEBitmap(&target);
            io.Asynchronous = true;
            io.OnFinishWork = [&](rtl::TObject*) {
                ++finished;
                failedAtFinish = io.AbortFlag;
            };
            io.LoadFromStreamType(*m, ioBMP);
            // The job ends without the main thread looking at its queue.
            std::thread([&] { io.WaitThreads(false); }).join();
        }
        EXPECT_EQ(finished, 1) << c.loads;
        EXPECT_EQ(failedAtFinish, !c.loads);
        if (c.loads) {
            EXPECT_TRUE(HoldsSeed(target, 9, 8, 4));
        } else {
            EXPECT_EQ(target.GetWidth(), 1);
        }
        while (rtl::CheckSynchronize(0)) {
        }
        EXPECT_EQ(finished, 1) << "the queued hand-over went with the component";
    }
}

// A stream whose reads fail with something no reader expects.
class ThrowingStream : public rtl::TMemoryStream {
public:
    std::int32_t Read(void*, std::int32_t) override { throw std::runtime_error("device gone"); }
};

TEST_F(Worker, AWorkerThatRaisesEndsWithTheAbortFlagAndTheFinishEvent)
{
    TIEBitmap target;
    TVodirAdIO io(nullptr);
    io.SetAttachedTIEBitmap(&target);
    io.Asynchronous = true;
    Events ev;
    ev.Attach(io);
    ThrowingStream s;
    io.LoadFromStreamType(s, ioBMP);
    io.WaitThreads(false);
    EXPECT_TRUE(io.AbortFlag);
    EXPECT_EQ(ev.finished, 1);
    EXPECT_FALSE(io.IsIOThread());
}

TEST_F(Worker, OneJobAtATimeAndSettersWaitForIt)
{
    TIEBitmap first, second;
    TVodirAdIO io(nullptr);
    io.SetAttachedTIEBitmap(&first);
    io.Asynchronous = true;
    LatchStream::ResetReaders();
    LatchStream a(MakeBmp(6, 6, 1), 100);
    LatchStream b(MakeBmp(6, 6, 2), 1 << 20);
    io.LoadFromStreamType(a, ioBMP);
    a.WaitHeld();
    // The first job stays held until a second reader shows up, or long enough that one would have.
    std::thread releaser([&] {
        LatchStream::AwaitReaders(2, std::chrono::milliseconds(300));
        a.Release();
    });
    io.LoadFromStreamType(b, ioBMP);  // waits for the first job
    io.WaitThreads(false);
    releaser.join();
    EXPECT_EQ(LatchStream::MaxReaders(), 1);
    EXPECT_TRUE(HoldsSeed(first, 6, 6, 2));

    // Switching to another bitmap aborts and waits for the running job before it swaps.
    LatchStream c(MakeBmp(30, 30, 3), 300, &io.AbortFlag);
    io.LoadFromStreamType(c, ioBMP);
    c.WaitHeld();
    io.SetAttachedTIEBitmap(&second);
    EXPECT_EQ(io.IEBitmap(), &second);
    EXPECT_EQ(second.GetWidth(), 0);
    EXPECT_FALSE(io.IsIOThread());
}

// A test whose fault would be a hang ends the run instead, after far longer than it ever takes.
class Watchdog {
public:
    explicit Watchdog(const char* what)
        : thread_([this, what] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!cv_.wait_for(lock, std::chrono::seconds(120), [this] { return done_; })) {
                  std::fprintf(stderr, "%s: still waiting after two minutes\n", what);
                  std::_Exit(1);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

TEST_F(Worker, AnAbortBeforeTheWorkerRunsStillWins)
{
    Watchdog dog("destroying a component right after an asynchronous start");
    // The component goes away before its worker has (most likely) even started: the worker must not
    // clear the abort it finds.
    for (int round = 0; round < 20; ++round)
        EXPECT_EQ(DestroyDuringLoad(20, 100, false), std::make_pair(1, 0)) << round;
}

// A component working asynchronously on a bitmap of the test's.
class AsyncWorker : public MainThreadTest {
protected:
    void SetUp() override
    {
        MainThreadTest::SetUp();
        io.SetAttachedTIEBitmap(&target);
        io.Asynchronous = true;
    }
    TIEBitmap target;
    TVodirAdIO io{nullptr};
};

TEST_F(AsyncWorker, AJobStartedFromAFinishHandlerEndsWithItsOwnFinishEvent)
{
    std::unique_ptr<rtl::TMemoryStream> a(NewStream(MakeBmp(5, 2, 1))), b(NewStream(MakeBmp(6, 2, 2))),
        c(NewStream(MakeBmp(7, 2, 3)));
    std::vector<int> widths;
    io.OnFinishWork = [&](rtl::TObject*) {
        widths.push_back(target.GetWidth());
        if (widths.size() == 1)
            io.LoadFromStreamType(*c, ioBMP);
    };
    io.LoadFromStreamType(*a, ioBMP);
    io.LoadFromStreamType(*b, ioBMP);
    io.WaitThreads(false);
    while (rtl::CheckSynchronize(0)) {
    }
    EXPECT_EQ(widths, (std::vector<int>{5, 7, 6}));
    EXPECT_TRUE(HoldsSeed(target, 6, 2, 2));
}

TEST_F(AsyncWorker, AJobStartedOffTheMainThreadComesAfterTheHandOverOfTheOneBefore)
{
    std::unique_ptr<rtl::TMemoryStream> a(NewStream(MakeBmp(5, 2, 1)));
    LatchStream b(MakeBmp(6, 2, 2), 1 << 20);
    std::vector<int> widths;
    io.OnFinishWork = [&](rtl::TObject*) { widths.push_back(target.GetWidth()); };
    io.LoadFromStreamType(*a, ioBMP);
    // The first job ends without the main thread looking: its hand-over is still to come.
    std::thread([&] { io.WaitThreads(false); }).join();
    std::atomic<bool> started{false};
    std::thread other([&] {
        io.LoadFromStreamType(b, ioBMP);
        started = true;
    });
    // The second job must not start before the first is handed over; the main thread gives it the
    // time it would take to start before it hands the first one over.
    b.AwaitRead(std::chrono::milliseconds(300));
    while (!started)
        rtl::CheckSynchronize(5);
    other.join();
    io.WaitThreads(false);
    EXPECT_EQ(widths, (std::vector<int>{5, 6}));
    EXPECT_TRUE(HoldsSeed(target, 6, 2, 2));
}

TEST_F(AsyncWorker, TheFinishEventComesAfterEveryProgressEventOfItsJob)
{
    std::vector<char> events;
    io.OnProgress = [&](void*, int) { events.push_back('p'); };
    io.OnFinishWork = [&](rtl::TObject*) { events.push_back('f'); };
    std::unique_ptr<rtl::TMemoryStream> m(NewStream(MakeBmp(4, 32, 1)));
    io.LoadFromStreamType(*m, ioBMP);
    io.WaitThreads(false);
    while (rtl::CheckSynchronize(0)) {
    }
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(std::count(events.begin(), events.end(), 'p'), 33) << "one a row, and 100 at the end";
    EXPECT_EQ(std::count(events.begin(), events.end(), 'f'), 1);
    EXPECT_EQ(events.back(), 'f');
}

TEST_F(AsyncWorker, ASaveStartedBehindALoadWritesTheLoadedImage)
{
    target.Allocate(1, 1, ie24RGB);
    std::unique_ptr<rtl::TMemoryStream> in(NewStream(MakeBmp(9, 3, 4)));
    rtl::TMemoryStream out;
    io.LoadFromStreamType(*in, ioBMP);
    io.SaveToStream(out, ioBMP);
    io.WaitThreads(false);
    ASSERT_FALSE(io.AbortFlag);
    TVodirAdIO reader(nullptr);
    out.SetPosition(0);
    reader.LoadFromStreamType(out, ioBMP);
    EXPECT_TRUE(HoldsSeed(*reader.IEBitmap(), 9, 3, 4));
}

TEST_F(Loads, TheAbortFlagSaysOnlyWhetherTheLastOperationFailed)
{
    TIEBitmap a, b;
    TVodirAdIO io(nullptr);
    EXPECT_FALSE(io.AbortFlag);
    io.SetAttachedTIEBitmap(&a);
    EXPECT_FALSE(io.AbortFlag) << "attaching is no failure";
    std::unique_ptr<rtl::TMemoryStream> good(NewStream(MakeBmp(3, 3, 1))), bad(NewStream(Bytes(40, 7)));
    io.LoadFromStreamType(*bad, ioBMP);
    EXPECT_TRUE(io.AbortFlag);
    io.SetAttachedTIEBitmap(&b);
    EXPECT_TRUE(io.AbortFlag) << "nor does attaching undo one";
    io.LoadFromStreamType(*good, ioBMP);
    EXPECT_FALSE(io.AbortFlag);
    io.SetAttachedTIEBitmap(nullptr);
    io.WaitThreads(true);
    EXPECT_FALSE(io.AbortFlag) << "with no job to abort";
    io.Asynchronous = true;
    io.SetAttachedTIEBitmap(&a);
    good->SetPosition(0);
    io.LoadFromStreamType(*good, ioBMP);
    io.WaitThreads(false);
    EXPECT_FALSE(io.AbortFlag);
}

// ---- acquired images, black and white, the GIF and TIFF loads ----

TEST_F(Loads, AnAcquiredImageGoesToTheWorkingBitmapUnlessAHandlerTakesIt)
{
    std::unique_ptr<rtl::TMemoryStream> m(NewStream(MakeBmp(40, 30, 6)));
    TVodirAdIO source(nullptr);
    source.LoadFromStreamType(*m, ioBMP);
    TIEBitmap& acquired = *source.IEBitmap();
    struct Case {
        bool handled, adjust;
        int dpiX, dpiY;
        int width, height;  // the working bitmap afterwards
    } cases[] = {
        {true, false, 300, 300, 1, 1},  // the handler keeps it
        {false, false, 300, 300, 40, 30},
        {false, true, 300, 300, 40, 30},  // equal resolutions: nothing to stretch
        {false, true, 200, 100, 40, 60},  // the shorter side takes the higher resolution
    };
    for (const Case& c : cases) {
        TIEBitmap target;
        target.Allocate(1, 1, ie24RGB);
        TVodirAdIO io(nullptr);
        io.SetAttachedTIEBitmap(&target);
        io.AutoAdjustDPI = c.adjust;
        io.Params().SetDpiX(c.dpiX);
        io.Params().SetDpiY(c.dpiY);
        rtl::TObject* sender = nullptr;
        TIEBitmap* offered = nullptr;
        io.OnAcquireBitmap = [&](rtl::TObject* Sender, TIEBitmap* ABitmap, bool& Handled) {
            EXPECT_FALSE(Handled);
            sender = Sender;
            offered = ABitmap;
            Handled = c.handled;
        };
        Events ev;
        ev.Attach(io);
        io.AcquisitionState = 7;
        TIOParamsVals* params = reinterpret_cast<TIOParamsVals*>(&io);  // anything but the answer
        io.DeliverAcquiredBitmap(&acquired, params);
        EXPECT_EQ(sender, &io);
        EXPECT_EQ(offered, &acquired);
        EXPECT_EQ(params, c.handled ? nullptr : &io.Params());
        EXPECT_EQ(target.GetWidth(), c.width);
        EXPECT_EQ(target.GetHeight(), c.height);
        if (!c.handled && !c.adjust) {
            EXPECT_TRUE(HoldsSeed(target, 40, 30, 6));
        }
        if (c.adjust) {
            EXPECT_EQ(io.Params().DpiY, c.dpiX);
        }
        EXPECT_TRUE(HoldsSeed(acquired, 40, 30, 6)) << "the acquisition's own image stays";
        EXPECT_EQ(ev.finished, 0) << "a delivery is no operation of the component's";
        io.ClearAcquisitionState();
        EXPECT_EQ(io.AcquisitionState, 0);
    }
}

// A grey ramp from black to white, left to right.
void Ramp(TIEBitmap& b, int w, int h)
{
    b.Allocate(w, h, ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto v = std::uint8_t(x * 255 / (w - 1));
            b.SetPixel24(x, y, TRGB{v, v, v});
        }
}

// Changes between black and white along the rows of a 1-bit image.
int Transitions(TIEBitmap& b)
{
    int n = 0;
    for (int y = 0; y < b.GetHeight(); ++y)
        for (int x = 1; x < b.GetWidth(); ++x)
            n += !(b.GetPixelRGB(x, y) == b.GetPixelRGB(x - 1, y));
    return n;
}

TEST_F(Loads, TheBlackAndWhiteMethodReachesTheWorkingBitmapAndOutlivesLoads)
{
    for (bool threshold : {false, true}) {
        TIEBitmap target;
        TVodirAdIO io(nullptr);
        io.SetAttachedTIEBitmap(&target);
        EXPECT_TRUE(io.MonoThreshold());
        io.SetMonoThreshold(threshold);
        std::unique_ptr<rtl::TMemoryStream> m(NewStream(MakeBmp(4, 4, 1)));
        io.LoadFromStreamType(*m, ioBMP);
        EXPECT_EQ(target.MonoConversion, threshold ? 1 : 0);
        // A ramp saved as one bit: the threshold cuts each row once, the dither many times.
        Ramp(target, 64, 8);
        io.Params().BitsPerSample = 1;
        io.Params().SamplesPerPixel = 1;
        rtl::TMemoryStream saved;
        io.SaveToStream(saved, ioBMP);
        saved.SetPosition(0);
        TVodirAdIO reader(nullptr);
        reader.LoadFromStreamType(saved, ioBMP);
        TIEBitmap& bw = *reader.IEBitmap();
        ASSERT_EQ(bw.GetPixelFormat(), ie1g);
        if (threshold) {
            EXPECT_EQ(Transitions(bw), 8);
        } else {
            EXPECT_GT(Transitions(bw), 8 * 16);
        }
    }
}

// A GIF of `frames` frames of one pixel each.
Bytes GifOfFrames(int frames)
{
    Bytes f = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255};
    for (int i = 0; i < frames; ++i) {
        const Bytes frame = {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0};
        f.insert(f.end(), frame.begin(), frame.end());
    }
    f.push_back(0x3B);
    return f;
}

// A little-endian TIFF of `pages` grey pages of one pixel each, one directory after another.
Bytes TiffOfPages(int pages)
{
    constexpr std::uint32_t kEntries = 8, kDirectory = 2 + kEntries * 12 + 4;
    Bytes f = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put16 = [&](std::uint32_t v) { f.insert(f.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); };
    auto put32 = [&](std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    const std::uint32_t pixels = 8 + std::uint32_t(pages) * kDirectory;
    for (int p = 0; p < pages; ++p) {
        put16(kEntries);
        const std::uint32_t entries[kEntries][3] = {{256, 3, 1}, {257, 3, 1}, {258, 3, 8},
                                                    {259, 3, 1}, {262, 3, 1}, {273, 4, pixels + p},
                                                    {277, 3, 1}, {279, 4, 1}};
        for (const auto& e : entries) {
            put16(e[0]);
            put16(e[1]);
            put32(1);
            put32(e[2]);
        }
        put32(p + 1 < pages ? 8 + std::uint32_t(p + 1) * kDirectory : 0);
    }
    for (int p = 0; p < pages; ++p)
        f.push_back(std::uint8_t(p * 40));
    return f;
}

TEST_F(Loads, TheGifAndTiffLoadsGiveTheFramesOrPagesOfTheFile)
{
    ScratchDir dir;
    using Load = int (TVodirAdIO::*)(rtl::TStream&);
    using LoadFile = int (TVodirAdIO::*)(const std::string&);
    struct Case {
        const char* what;
        Bytes bytes;
        Load stream;
        LoadFile file;
        int count;
    } cases[] = {
        {"gif of 3", GifOfFrames(3), &TVodirAdIO::LoadFromStreamGIF, &TVodirAdIO::LoadFromFileGIF, 3},
        {"gif of 1", GifOfFrames(1), &TVodirAdIO::LoadFromStreamGIF, &TVodirAdIO::LoadFromFileGIF, 1},
        {"tiff of 4", TiffOfPages(4), &TVodirAdIO::LoadFromStreamTIFF, &TVodirAdIO::LoadFromFileTIFF, 4},
        {"a bmp as gif", MakeBmp(2, 2, 1), &TVodirAdIO::LoadFromStreamGIF, &TVodirAdIO::LoadFromFileGIF, 0},
        {"a bmp as tiff", MakeBmp(2, 2, 1), &TVodirAdIO::LoadFromStreamTIFF, &TVodirAdIO::LoadFromFileTIFF,
         0},
    };
    for (const Case& c : cases) {
        TIEBitmap target;
        TVodirAdIO io(nullptr);
        io.SetAttachedTIEBitmap(&target);
        std::unique_ptr<rtl::TMemoryStream> m(NewStream(c.bytes));
        EXPECT_EQ((io.*c.stream)(*m), c.count) << c.what;
        EXPECT_EQ(io.AbortFlag.load(), c.count == 0) << c.what;
        EXPECT_EQ((io.*c.file)(dir.Write("f", c.bytes)), c.count) << c.what;
        EXPECT_EQ(target.GetWidth(), c.count ? 1 : 0) << c.what;
        // Handed to a worker, the load has no count to give yet.
        io.Asynchronous = true;
        m->SetPosition(0);
        EXPECT_EQ((io.*c.stream)(*m), -1) << c.what;
        io.WaitThreads(false);
        EXPECT_EQ(io.AbortFlag.load(), c.count == 0) << c.what;
    }
}

// ---- what a description stores ----

TEST_F(Loads, ADescriptionStoresThePropertiesThatDifferFromTheirDefaults)
{
    // Through text and back, as a window description holds them (the Windows-only properties
    // and the events are stored too, in the Windows build's test of the component on a form).
    const std::string text =
        "object IO: TVodirAdIO\n"
        "  Background = 255\n"
        "  MsgLanguage = msGerman\n"
        "  PreviewsParams = [ioppApplyButton]\n"
        "  StreamHeaders = True\n"
        "  DialogsMeasureUnit = ieduSelectableDefCm\n"
        "  AutoAdjustDPI = True\n"
        "  FilteredAdjustDPI = True\n"
        "  SimplifiedParamsDialogs = False\n"
        "  NativePixelFormat = True\n"
        "end\n";
    rtl::RegisterClass(TVodirAdIO::StaticClassInfo());
    rtl::TStringStream source(text);
    rtl::TMemoryStream binary;
    rtl::ObjectTextToBinary(source, binary);
    binary.SetPosition(0);
    std::unique_ptr<rtl::TComponent> read(rtl::ReadComponentRes(binary, nullptr));
    // Written back as text, without the line ends' carriage returns.
    const auto asText = [](TVodirAdIO& io) {
        rtl::TMemoryStream written;
        rtl::WriteComponentRes(written, &io);
        written.SetPosition(0);
        rtl::TStringStream back;
        rtl::ObjectBinaryToText(written, back);
        std::string text = back.DataString();
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        return text;
    };
    auto* io = dynamic_cast<TVodirAdIO*>(read.get());
    ASSERT_NE(io, nullptr);
    EXPECT_EQ(io->Background(), 255u);
    EXPECT_EQ(io->MsgLanguage, msGerman);
    EXPECT_TRUE(io->PreviewsParams.Contains(ioppApplyButton));
    EXPECT_TRUE(io->StreamHeaders);
    EXPECT_EQ(io->DialogsMeasureUnit, ieduSelectableDefCm);
    EXPECT_TRUE(io->AutoAdjustDPI);
    EXPECT_TRUE(io->FilteredAdjustDPI);
    EXPECT_FALSE(io->SimplifiedParamsDialogs);
    EXPECT_TRUE(io->NativePixelFormat());

    EXPECT_EQ(asText(*io), text);
    // At their defaults nothing is stored.
    TVodirAdIO fresh(nullptr);
    fresh.SetName("IO");
    EXPECT_EQ(asText(fresh), "object IO: TVodirAdIO\nend\n");
}

}  // namespace

TEST(Previews, AHandlerStandsForTheDialogAndASetWithoutPagesShowsNone)
{
    TVodirAdIO io(nullptr);
    rtl::TObject* asked = nullptr;
    io.OnDoPreviews = [&](rtl::TObject* sender, bool& handled) {
        asked = sender;
        handled = true;
    };
    EXPECT_TRUE(io.DoPreviews(1));
    EXPECT_EQ(asked, &io);
    // Unhandled, a set that names no page answers false before any dialog is made: only the
    // current format's page, of a format without one.
    asked = nullptr;
    io.OnDoPreviews = [&](rtl::TObject* sender, bool&) { asked = sender; };
    io.Params().FileType = ioICO;
    EXPECT_FALSE(io.DoPreviews(2));
    EXPECT_FALSE(io.DoPreviews(0));
    EXPECT_EQ(asked, &io);
    EXPECT_TRUE(io.SimplifiedParamsDialogs);
    EXPECT_TRUE(io.PreviewsParams.Empty());
}
