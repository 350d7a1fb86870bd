// TIEBitmap storage: allocation by size rule, row access in every location, copies, moves and the alpha
// plane.
#include "imaging/core/iebitmap.h"

#include "imaging/core/detail/ieplatformservices.h"
#include "imaging/core/vodiradproc.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Files.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>

namespace imaging {

std::int64_t IEMinFileSize = -1;

namespace {

std::mutex gTempFolderLock;
std::string gTempFolder;

constexpr std::int64_t kCopyBlock = 0x100000;
// The library's temporary pixel files are known by this prefix.
constexpr const char kTempFilePrefix[] = "vodirad";

[[noreturn]] void ThrowTooLarge(std::int64_t width, std::int64_t height)
{
    throw rtl::EOutOfMemory(std::to_string(width) + "x" + std::to_string(height) +
                            " image exceeds the size limit");
}

int PlatformBitsFor(TIEPixelFormat format)
{
    switch (format) {
    case ie1g: return 1;
    case ie8p:
    case ie8g: return 8;
    case ie24RGB: return 24;
    default: return 0;
    }
}

}  // namespace

int IERowLen(std::int64_t Width, int BitCount, int Alignment)
{
    if (Width < 0 || BitCount < 0 || Alignment <= 0 || Alignment % 8 != 0)
        throw rtl::EInvalidArgument("invalid row: width " + std::to_string(Width) + ", " +
                                    std::to_string(BitCount) + " bits, alignment " +
                                    std::to_string(Alignment));
    auto bits = rtl::CheckedMul<std::int64_t>(Width, BitCount);
    auto padded = bits ? rtl::CheckedAdd<std::int64_t>(*bits, Alignment - 1) : std::nullopt;
    if (!padded)
        throw rtl::EInvalidArgument("row of " + std::to_string(Width) + " pixels is too long");
    const std::int64_t len = (*padded / Alignment) * (Alignment / 8);
    if (len > INT_MAX)
        throw rtl::EInvalidArgument("row of " + std::to_string(Width) + " pixels is too long");
    return static_cast<int>(len);
}

std::int64_t IEAvailablePhysicalMemory() { return detail::PlatformAvailableMemory(); }

void IESetTempFolder(const std::string& folder)
{
    std::lock_guard guard(gTempFolderLock);
    gTempFolder = folder;
}

std::string IEGetTempFolder()
{
    std::lock_guard guard(gTempFolderLock);
    return gTempFolder;
}

// ---------------------------------------------------------------- TIEFileBuffer

TIEFileBuffer::~TIEFileBuffer()
{
    try {
        DeAllocate();
    } catch (...) {
        // A row that cannot be written back any more is lost with the file itself.
    }
}

bool TIEFileBuffer::AllocateFile(const std::string& FileName, std::int64_t Size)
{
    DeAllocate();
    if (Size < 0)
        return false;
    std::string name = FileName;
    try {
        if (name.empty()) {
            std::string folder = IEGetTempFolder();
            if (folder.empty())
                folder = rtl::TempFolder();
            std::error_code ec;
            std::filesystem::create_directories(std::filesystem::u8path(folder), ec);
            name = rtl::CreateTempFile(folder, kTempFilePrefix);
            if (name.empty())
                return false;
        }
        stream_ = std::make_unique<rtl::TFileStream>(name, rtl::fmCreate);
        stream_->SetSize(Size);
        // Reopen so that others may read the pixels (a viewer, a test) but never change them.
        stream_.reset();
        stream_ = std::make_unique<rtl::TFileStream>(name, rtl::fmOpenReadWrite | rtl::fmShareDenyWrite);
        fileName_ = name;
        size_ = Size;
        return true;
    } catch (const std::exception&) {
        stream_.reset();
        if (!name.empty()) {
            std::error_code ec;
            std::filesystem::remove(std::filesystem::u8path(name), ec);
        }
        return false;
    }
}

void TIEFileBuffer::RemoveLeftovers()
{
    std::erase_if(leftovers_, [](const std::string& name) {
        std::error_code ec;
        std::filesystem::remove(std::filesystem::u8path(name), ec);
        return !ec;
    });
}

void TIEFileBuffer::DeAllocate()
{
    RemoveLeftovers();
    if (!stream_)
        return;
    struct TCloser {
        TIEFileBuffer& self;
        ~TCloser()
        {
            self.views_.clear();
            self.stream_.reset();
            std::error_code ec;
            std::filesystem::remove(std::filesystem::u8path(self.fileName_), ec);
            self.fileName_.clear();
            self.size_ = 0;
        }
    } closer{*this};
    UnMapAll();
}

std::uint8_t* TIEFileBuffer::Map(std::uint8_t Access, std::int64_t Length, std::int64_t Offset)
{
    if (!stream_)
        throw rtl::EInvalidOperation("temporary pixel file not allocated");
    if (Length <= 0 || Offset < 0 || Length > INT_MAX || Offset > size_ - Length)
        throw rtl::EInvalidArgument("view of " + std::to_string(Length) + " bytes at " +
                                    std::to_string(Offset) + " outside the " + std::to_string(size_) +
                                    "-byte pixel file");
    TView view;
    view.offset = Offset;
    view.length = Length;
    view.access = Access;
    if (spare_ && spareLength_ == Length) {
        view.buffer = std::move(spare_);
        spareLength_ = 0;
    } else {
        view.buffer.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(Length)]);
        if (!view.buffer)
            throw rtl::EOutOfMemory("Out of memory");
    }
    if (Access & 1) {
        stream_->Seek(Offset, rtl::soBeginning);
        stream_->ReadBuffer(view.buffer.get(), static_cast<std::int32_t>(Length));
    } else {
        // Never hand out stale bytes: a partly written row goes back to the file as it is seen.
        std::memset(view.buffer.get(), 0, static_cast<std::size_t>(Length));
    }
    views_.push_back(std::move(view));
    return views_.back().buffer.get();
}

int TIEFileBuffer::FindView(const std::uint8_t* Buffer) const
{
    for (std::size_t i = 0; i < views_.size(); ++i)
        if (views_[i].buffer.get() == Buffer)
            return static_cast<int>(i);
    return -1;
}

void TIEFileBuffer::UnMap(std::uint8_t* Buffer)
{
    const int index = FindView(Buffer);
    if (index < 0)
        return;
    TView view = std::move(views_[static_cast<std::size_t>(index)]);
    views_.erase(views_.begin() + index);
    if ((view.access & 2) && stream_) {
        stream_->Seek(view.offset, rtl::soBeginning);
        stream_->WriteBuffer(view.buffer.get(), static_cast<std::int32_t>(view.length));
    }
    spare_ = std::move(view.buffer);
    spareLength_ = view.length;
}

void TIEFileBuffer::UnMapAll()
{
    while (!views_.empty())
        UnMap(views_.back().buffer.get());
}

// The whole file goes through the system's file copy, which needs no pixel buffer of ours. False
// when the system cannot copy it; both files are open again either way, Dest at its old size.
bool TIEFileBuffer::CopyWholeFile(TIEFileBuffer& Dest)
{
    namespace fs = std::filesystem;
    const auto reopen = [](TIEFileBuffer& b) {
        b.stream_ =
            std::make_unique<rtl::TFileStream>(b.fileName_, rtl::fmOpenReadWrite | rtl::fmShareDenyWrite);
    };
    stream_.reset();
    Dest.stream_.reset();
    std::error_code ec;
    fs::remove(fs::u8path(Dest.fileName_), ec);
    if (!ec)
        fs::copy_file(fs::u8path(fileName_), fs::u8path(Dest.fileName_), ec);
    reopen(*this);
    if (ec) {
        // The system may still hold the deleted name (Wine keeps a deletion pending while another
        // process looks at the folder): the copy then goes block by block into a new file. A name
        // that could not be deleted stays Dest's to delete, or its file would outlive us.
        const std::int64_t size = Dest.size_;
        std::error_code gone;
        fs::remove(fs::u8path(Dest.fileName_), gone);
        if (gone)
            Dest.leftovers_.push_back(Dest.fileName_);
        Dest.fileName_.clear();
        if (!Dest.AllocateFile("", size))
            throw rtl::EFCreateError("Cannot create a temporary pixel file");
        return false;
    }
    reopen(Dest);
    Dest.size_ = size_;
    return true;
}

void TIEFileBuffer::CopyTo(TIEFileBuffer& Dest, std::int64_t Size, std::int64_t Offset)
{
    if (!stream_ || !Dest.stream_ || &Dest == this)
        throw rtl::EInvalidOperation("pixel file copy needs two allocated files");
    if (Size < 0 || Offset < 0 || Offset > size_ - Size || Offset > Dest.size_ - Size)
        throw rtl::EInvalidArgument("pixel file copy of " + std::to_string(Size) + " bytes at " +
                                    std::to_string(Offset) + " exceeds a file");
    UnMapAll();
    Dest.UnMapAll();
    if (Offset == 0 && Size == size_ && CopyWholeFile(Dest))
        return;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(std::min(Size, kCopyBlock)));
    stream_->Seek(Offset, rtl::soBeginning);
    Dest.stream_->Seek(Offset, rtl::soBeginning);
    for (std::int64_t left = Size; left > 0;) {
        const auto n = static_cast<std::int32_t>(std::min(left, kCopyBlock));
        stream_->ReadBuffer(block.data(), n);
        Dest.stream_->WriteBuffer(block.data(), n);
        left -= n;
    }
}

// ---------------------------------------------------------------- TIEBitmap

TIEBitmap::TIEBitmap() : fileBuffer_(std::make_unique<TIEFileBuffer>())
{
    if (IEMinFileSize != -1) {
        MinFileSize = IEMinFileSize;
    } else {
        MinFileSize = IEAvailablePhysicalMemory() / 2;
        if (MinFileSize == 0)
            MinFileSize = 0x2000000;
    }
}

TIEBitmap::~TIEBitmap()
{
    try {
        FreeImage();
    } catch (...) {
    }
}

std::unique_ptr<TIEBitmap> TIEBitmap::CreateAlpha(int Width, int Height, TIELocation Location)
{
    auto alpha = std::make_unique<TIEBitmap>();
    alpha->isAlpha_ = true;
    alpha->location_ = Location == ieTBitmap ? ieMemory : Location;
    alpha->Allocate(Width, Height, ie8g);
    alpha->Fill(255);
    return alpha;
}

void TIEBitmap::ReleaseRows()
{
    if (mappedRow_) {
        std::uint8_t* row = mappedRow_;
        mappedRow_ = nullptr;
        fileBuffer_->UnMap(row);
    }
}

std::uint8_t* TIEBitmap::ScanLine(int Row)
{
    if (location_ == ieTBitmap && VclBitmap()) {
        auto* bm = VclBitmap();
        // Someone may have resized the platform bitmap behind our back: never index stale rows.
        if (bm->Width() != width_ || bm->Height() != height_ ||
            bm->BitsPerPixel() != PlatformBitsFor(pixelFormat_))
            SyncFromTBitmap();
    }
    if (Row < 0 || Row >= height_ || rowLen_ <= 0)
        throw rtl::EInvalidArgument("row " + std::to_string(Row) + " outside an image of " +
                                    std::to_string(height_) + " rows");
    switch (location_) {
    case ieMemory:
        if (!memory_)
            break;
        return memory_.get() +
               static_cast<std::size_t>(height_ - Row - 1) * static_cast<std::size_t>(rowLen_);
    case ieFile:
        if (!fileBuffer_->IsAllocated())
            break;
        ReleaseRows();
        mappedRow_ = fileBuffer_->Map(Access, rowLen_, std::int64_t(Row) * rowLen_);
        return mappedRow_;
    case ieTBitmap:
        if (!VclBitmap())
            break;
        return VclBitmap()->ScanLine(Row);
    }
    throw rtl::EInvalidOperation("image has no storage");
}

int TIEBitmap::GetBitCount()
{
    SyncFromTBitmap();
    return bitCount_;
}

int TIEBitmap::GetHeight()
{
    SyncFromTBitmap();
    return height_;
}

int TIEBitmap::GetWidth()
{
    SyncFromTBitmap();
    return width_;
}

TIEPixelFormat TIEBitmap::GetPixelFormat()
{
    SyncFromTBitmap();
    return pixelFormat_;
}

int TIEBitmap::GetRowLen()
{
    SyncFromTBitmap();
    return rowLen_;
}

void TIEBitmap::FreeImage()
{
    alpha_.reset();
    palette_.reset();
    paletteLen_ = 0;
    struct TReset {
        TIEBitmap& self;
        ~TReset()
        {
            self.mappedRow_ = nullptr;
            self.memory_.reset();
            if (!self.encapsulated_)
                self.ownedBitmap_.reset();
            self.borrowedBitmap_ = nullptr;
            self.wrapper_.reset();
            self.width_ = self.height_ = self.bitCount_ = self.rowLen_ = 0;
            self.Full = false;
            self.encapsulated_ = false;
        }
    } reset{*this};
    // The mapped row and the file go together; a failed write-back still deletes the file.
    mappedRow_ = nullptr;
    fileBuffer_->DeAllocate();
}

void TIEBitmap::TFreeMemory::operator()(std::uint8_t* p) const noexcept { std::free(p); }

void TIEBitmap::Allocate(int Width, int Height, TIEPixelFormat PixelFormat)
{
    if (encapsulated_) {
        alpha_.reset();
        palette_.reset();
        paletteLen_ = 0;
        ReleaseRows();
    } else {
        FreeImage();
    }
    width_ = std::max(Width, 0);
    height_ = std::max(Height, 0);
    pixelFormat_ = PixelFormat;
    AllocateStorage();
}

void TIEBitmap::ApplyTBitmapFormat()
{
    if (!VclBitmap())
        ownedBitmap_ = IECreatePlatformBitmap();
    auto* bm = VclBitmap();
    // Shrink first, so the depth change does not convert a large picture that is about to go.
    bm->SetSize(std::min(bm->Width(), 1), std::min(bm->Height(), 1));
    bm->SetBitsPerPixel(PlatformBitsFor(pixelFormat_));
    bm->SetSize(width_, height_);
}

void TIEBitmap::AllocateStorage()
{
    bitCount_ = IEBitCount(pixelFormat_);
    const std::int64_t rowLen64 = ((std::int64_t(width_) * bitCount_ + 31) / 32) * 4;
    const std::int64_t total = rowLen64 * height_;
    if (rowLen64 > INT_MAX || total > kIEMaxImageBytes) {
        const int w = width_, h = height_;
        FreeImage();
        ThrowTooLarge(w, h);
    }
    rowLen_ = static_cast<int>(rowLen64);
    if (width_ < 1 || height_ < 1 || pixelFormat_ == ieNull) {
        if (location_ == ieTBitmap && VclBitmap())
            VclBitmap()->SetSize(0, 0);
        return;
    }
    try {
        if (pixelFormat_ == ie8p) {
            palette_ = std::make_unique<std::array<TRGB, 256>>();
            paletteLen_ = 256;
        }
        // A platform bitmap has no 16-bit grey or float pixels: keep those in memory, untouched.
        if (location_ == ieTBitmap && (pixelFormat_ == ie16g || pixelFormat_ == ie32f)) {
            location_ = ieMemory;
            encapsulated_ = false;
            borrowedBitmap_ = nullptr;
            wrapper_.reset();
            ownedBitmap_.reset();
        }
        if (location_ == ieFile && total < MinFileSize)
            location_ = ieMemory;
        else if (location_ == ieMemory && total > MinFileSize)
            location_ = ieFile;
        if (location_ == ieFile && !fileBuffer_->AllocateFile("", total))
            location_ = ieMemory;
        if (location_ == ieMemory) {
            // A file holds more than the address space; one heap block does not.
            if (std::uint64_t(total) > SIZE_MAX / 2)
                ThrowTooLarge(width_, height_);
            memory_.reset(static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(total), 1)));
            if (!memory_)
                throw rtl::EOutOfMemory("Out of memory");
        } else if (location_ == ieTBitmap) {
            ApplyTBitmapFormat();
            SyncTBitmapPalette();
            // GDI bitmaps start white; every new image starts zero-filled.
            for (int row = 0; row < height_; ++row)
                std::memset(VclBitmap()->ScanLine(row), 0, static_cast<std::size_t>(rowLen_));
        }
    } catch (...) {
        const TIELocation keep = location_;
        FreeImage();
        location_ = keep;
        throw;
    }
    Full = false;
}

void TIEBitmap::CopyPixelsFrom(TIEBitmap& source)
{
    if (height_ < 1 || rowLen_ < 1 || pixelFormat_ == ieNull)
        return;
    if (source.height_ != height_ || source.rowLen_ != rowLen_)
        throw rtl::EInvalidOperation("pixel copy between images of different shapes");
    TIEAccessScope readOnly(source, 1);
    TIEAccessScope writeOnly(*this, 2);
    if (location_ == ieFile && source.location_ == ieFile) {
        ReleaseRows();
        source.ReleaseRows();
        source.fileBuffer_->CopyTo(*fileBuffer_, std::int64_t(rowLen_) * height_, 0);
        return;
    }
    for (int row = 0; row < height_; ++row) {
        std::uint8_t* dst = ScanLine(row);
        std::memcpy(dst, source.ScanLine(row), static_cast<std::size_t>(rowLen_));
    }
    ReleaseRows();
    source.ReleaseRows();
}

void TIEBitmap::Assign(rtl::TObject* Source)
{
    auto* source = dynamic_cast<TIEBitmap*>(Source);
    if (!source) {
        if (Source)
            AssignForeign(Source);
        return;
    }
    if (source == this)
        return;
    // Assigning our own alpha plane to us must not free it half-way.
    std::unique_ptr<TIEBitmap> keepAlive;
    if (source == alpha_.get())
        keepAlive = std::move(alpha_);
    source->SyncFromTBitmap();
    const TIEPixelFormat format = source->pixelFormat_;
    if (location_ == ieTBitmap && (format == ie16g || format == ie32f))
        location_ = ieMemory;
    if (location_ != ieTBitmap) {
        FreeImage();
        width_ = source->width_;
        height_ = source->height_;
        pixelFormat_ = format;
        AllocateStorage();
    } else {
        // The platform bitmap is reused: drop what belonged to the old picture, stale alpha included.
        alpha_.reset();
        ReleaseRows();
        palette_.reset();
        paletteLen_ = 0;
        width_ = source->width_;
        height_ = source->height_;
        pixelFormat_ = format;
        AllocateStorage();
    }
    Full = source->Full;
    CopyPixelsFrom(*source);
    if (!isAlpha_ && source->alpha_)
        GetAlphaChannel()->Assign(source->alpha_.get());
    if (palette_ && source->palette_)
        *palette_ = *source->palette_;
    SyncTBitmapPalette();
    MonoConversion = source->MonoConversion;
}

void TIEBitmap::AssignImage(TIEBitmap* Source)
{
    if (!Source || Source == this)
        return;
    std::unique_ptr<TIEBitmap> keepAlive;
    if (Source == alpha_.get())
        keepAlive = std::move(alpha_);
    Source->SyncFromTBitmap();
    const TIEPixelFormat format = Source->pixelFormat_;
    if (location_ == ieTBitmap && (format == ie16g || format == ie32f))
        location_ = ieMemory;
    if (location_ != ieTBitmap) {
        FreeImage();
    } else {
        alpha_.reset();
        ReleaseRows();
        palette_.reset();
        paletteLen_ = 0;
    }
    width_ = Source->width_;
    height_ = Source->height_;
    pixelFormat_ = format;
    AllocateStorage();
    CopyPixelsFrom(*Source);
    if (palette_ && Source->palette_)
        *palette_ = *Source->palette_;
    SyncTBitmapPalette();
    Full = false;
}

void TIEBitmap::MoveTo(TIEBitmap* Dest)
{
    if (!Dest || Dest == this)
        return;
    if (Dest == alpha_.get())
        throw rtl::EInvalidArgument("an image cannot move into its own alpha channel");
    Dest->FreeImage();
    Dest->width_ = width_;
    Dest->height_ = height_;
    Dest->bitCount_ = bitCount_;
    Dest->mappedRow_ = mappedRow_;
    Dest->rowLen_ = rowLen_;
    Dest->pixelFormat_ = pixelFormat_;
    Dest->palette_ = std::move(palette_);
    Dest->paletteLen_ = paletteLen_;
    Dest->alpha_ = std::move(alpha_);
    Dest->isAlpha_ = isAlpha_;
    Dest->memory_ = std::move(memory_);
    Dest->ownedBitmap_ = std::move(ownedBitmap_);
    Dest->borrowedBitmap_ = borrowedBitmap_;
    Dest->wrapper_ = std::move(wrapper_);
    Dest->location_ = location_;
    Dest->Full = Full;
    Dest->encapsulated_ = encapsulated_;
    Dest->fileBuffer_ = std::move(fileBuffer_);
    Dest->MonoConversion = MonoConversion;

    fileBuffer_ = std::make_unique<TIEFileBuffer>();
    width_ = height_ = bitCount_ = rowLen_ = paletteLen_ = 0;
    mappedRow_ = nullptr;
    pixelFormat_ = ieNull;
    borrowedBitmap_ = nullptr;
    encapsulated_ = false;
    Full = false;
}

void TIEBitmap::SetLocation(TIELocation Value)
{
    if (Value == location_)
        return;
    if (width_ < 1 || height_ < 1 || pixelFormat_ == ieNull) {
        FreeImage();
        location_ = Value;
        return;
    }
    // Build the new storage beside the old one, so a failure leaves the image as it was.
    TIEBitmap moved;
    moved.MinFileSize = MinFileSize;
    moved.isAlpha_ = isAlpha_;
    moved.location_ = Value;
    moved.Allocate(width_, height_, pixelFormat_);
    moved.CopyPixelsFrom(*this);
    if (moved.palette_ && palette_)
        *moved.palette_ = *palette_;
    moved.SyncTBitmapPalette();
    moved.Full = Full;
    moved.MonoConversion = MonoConversion;
    moved.alpha_ = std::move(alpha_);
    moved.MoveTo(this);
}

TIEPlatformBitmap* TIEBitmap::GetVclBitmap()
{
    SetLocation(ieTBitmap);
    return location_ == ieTBitmap ? VclBitmap() : nullptr;
}

void TIEBitmap::TakeShapeFromTBitmap()
{
    auto* bm = VclBitmap();
    int bits = bm->BitsPerPixel();
    TIEPixelFormat format;
    if (bits == 1) {
        format = ie1g;
    } else if (bits == 8) {
        format = isAlpha_ || pixelFormat_ == ie8g ? ie8g : ie8p;
    } else {
        // Other depths would not match 24-bit rows: bring the bitmap to 24 bits first.
        if (bits != 24)
            bm->SetBitsPerPixel(24);
        format = ie24RGB;
    }
    const bool resized = bm->Width() != width_ || bm->Height() != height_;
    width_ = bm->Width();
    height_ = bm->Height();
    pixelFormat_ = format;
    bitCount_ = IEBitCount(format);
    rowLen_ = IERowLen(width_, bitCount_, 32);
    if (format == ie8p && !palette_) {
        palette_ = std::make_unique<std::array<TRGB, 256>>();
        bm->GetPalette(palette_->data(), 256);
    } else if (format != ie8p) {
        palette_.reset();
    }
    paletteLen_ = format == ie8p ? 256 : 0;
    if (resized && alpha_ && (alpha_->width_ != width_ || alpha_->height_ != height_)) {
        alpha_->Allocate(width_, height_, ie8g);
        alpha_->Fill(255);
    }
}

void TIEBitmap::EncapsulateTBitmap(TIEPlatformBitmap* Bitmap, bool FreeFirst)
{
    if (FreeFirst)
        FreeImage();
    if (!Bitmap)
        return;
    ReleaseRows();
    fileBuffer_->DeAllocate();
    memory_.reset();
    if (!encapsulated_ && ownedBitmap_.get() != Bitmap)
        ownedBitmap_.reset();
    if (wrapper_.get() != Bitmap)
        wrapper_.reset();
    // The colours are the new picture's, never those of the image it replaces.
    palette_.reset();
    paletteLen_ = 0;
    borrowedBitmap_ = Bitmap;
    encapsulated_ = true;
    location_ = ieTBitmap;
    TakeShapeFromTBitmap();
}

void TIEBitmap::SyncFromTBitmap()
{
    if (location_ != ieTBitmap || !VclBitmap())
        return;
    auto* bm = VclBitmap();
    const bool sameSize = bm->Width() == width_ && bm->Height() == height_;
    if (sameSize && (width_ == 0 || height_ == 0))
        return;
    if (!sameSize || bm->BitsPerPixel() != PlatformBitsFor(pixelFormat_))
        TakeShapeFromTBitmap();
}

void TIEBitmap::SyncTBitmapPalette()
{
    if (location_ != ieTBitmap || !VclBitmap())
        return;
    if (palette_) {
        VclBitmap()->SetPalette(palette_->data(), paletteLen_);
    } else if (pixelFormat_ == ie8g || pixelFormat_ == ie1g) {
        std::array<TRGB, 256> grey;
        const int count = pixelFormat_ == ie1g ? 2 : 256;
        for (int i = 0; i < count; ++i) {
            const auto v = static_cast<std::uint8_t>(count == 2 ? i * 255 : i);
            grey[static_cast<std::size_t>(i)] = TRGB{v, v, v};
        }
        VclBitmap()->SetPalette(grey.data(), count);
    }
}

TIEBitmap* TIEBitmap::GetAlphaChannel()
{
    if (isAlpha_)
        return nullptr;
    if (!alpha_) {
        auto alpha = std::make_unique<TIEBitmap>();
        alpha->isAlpha_ = true;
        alpha->MinFileSize = MinFileSize;
        alpha->location_ = location_ == ieTBitmap ? ieMemory : location_;
        alpha->Allocate(width_, height_, ie8g);
        alpha->Fill(255);
        alpha_ = std::move(alpha);
    }
    return alpha_.get();
}

void TIEBitmap::RemoveAlphaChannel()
{
    if (!isAlpha_)
        alpha_.reset();
}

std::uint8_t TIEBitmap::GetAlpha(int X, int Y)
{
    if (X < 0 || Y < 0 || X >= width_ || Y >= height_)
        return 0;
    if (isAlpha_) {
        if (pixelFormat_ != ie8g)
            return RGBToGray(GetPixelRGB(X, Y));
        return ScanLine(Y)[X];
    }
    return GetAlphaChannel()->GetAlpha(X, Y);
}

TRGB TIEBitmap::GetPaletteColor(int Index) const
{
    if (!palette_ || Index < 0 || Index >= paletteLen_)
        return {};
    return (*palette_)[static_cast<std::size_t>(Index)];
}

void TIEBitmap::SetPaletteColor(int Index, TRGB Color)
{
    if (!palette_ || Index < 0 || Index >= paletteLen_)
        return;
    (*palette_)[static_cast<std::size_t>(Index)] = Color;
    SyncTBitmapPalette();
}

void TIEBitmap::UpdateFullFlag()
{
    if (width_ < 1 || height_ < 1 || pixelFormat_ == ieNull) {
        Full = false;
        return;
    }
    const std::int64_t bits = std::int64_t(width_) * bitCount_;
    const auto wholeBytes = static_cast<std::size_t>(bits / 8);
    const int restBits = static_cast<int>(bits % 8);
    const auto restMask = static_cast<std::uint8_t>(0xFF << (8 - restBits));
    for (int row = 0; row < height_; ++row) {
        const std::uint8_t* p = ScanLine(row);
        if (pixelFormat_ == ie32f) {
            for (int x = 0; x < width_; ++x) {
                float v;
                std::memcpy(&v, p + std::size_t(x) * 4, 4);
                if (!(v >= 1.0f)) {
                    Full = false;
                    return;
                }
            }
            continue;
        }
        for (std::size_t i = 0; i < wholeBytes; ++i)
            if (p[i] != 0xFF) {
                Full = false;
                return;
            }
        if (restBits && (p[wholeBytes] & restMask) != restMask) {
            Full = false;
            return;
        }
    }
    Full = true;
}

bool TIEBitmap::IsGrayScale()
{
    if (pixelFormat_ == ie8p) {
        for (int i = 0; i < paletteLen_; ++i) {
            const TRGB& c = (*palette_)[static_cast<std::size_t>(i)];
            if (c.r != c.g || c.g != c.b)
                return false;
        }
        return true;
    }
    // A zero-width image has rows of no bytes, which ScanLine refuses.
    if (pixelFormat_ == ie24RGB && width_ > 0) {
        for (int row = 0; row < height_; ++row) {
            const std::uint8_t* p = ScanLine(row);
            for (int x = 0; x < width_; ++x, p += 3)
                if (p[0] != p[1] || p[1] != p[2])
                    return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------- TIEWorkBitmap

TIEWorkBitmap::TIEWorkBitmap(int Width, int Height, int BitCount)
{
    if (Width >= 1 && Height >= 1)
        Allocate(Width, Height, BitCount);
}

void TIEWorkBitmap::Allocate(int Width, int Height, int BitCount)
{
    if (Width == width_ && Height == height_ && BitCount == bitCount_ && !bits_.empty())
        return;
    FreeBits();
    if (Width < 1 || Height < 1 || BitCount < 1)
        return;
    const int rowLen = IERowLen(Width, BitCount, 32);
    const std::int64_t total = std::int64_t(rowLen) * Height;
    if (total > kIEMaxImageBytes || std::uint64_t(total) > SIZE_MAX / 2)
        ThrowTooLarge(Width, Height);
    try {
        bits_.assign(static_cast<std::size_t>(total), 0);
    } catch (const std::bad_alloc&) {
        throw rtl::EOutOfMemory("Out of memory");
    }
    width_ = Width;
    height_ = Height;
    bitCount_ = BitCount;
    rowLen_ = rowLen;
}

void TIEWorkBitmap::FreeBits()
{
    bits_.clear();
    bits_.shrink_to_fit();
    width_ = height_ = bitCount_ = rowLen_ = 0;
}

std::uint8_t* TIEWorkBitmap::ScanLine(int Row)
{
    if (Row < 0 || Row >= height_)
        throw rtl::EInvalidArgument("row " + std::to_string(Row) + " outside a work bitmap of " +
                                    std::to_string(height_) + " rows");
    return bits_.data() + std::size_t(height_ - Row - 1) * std::size_t(rowLen_);
}

}  // namespace imaging
