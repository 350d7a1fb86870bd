// Typed lists, JPEG markers, IPTC records, byte array, counting stream, hash set and small helpers.
#include "imaging/core/hyieutils.h"

#include "platform/rtl/Endian.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Numeric.h"
#include "platform/rtl/Strings.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <new>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace imaging {

namespace {

[[noreturn]] void ThrowIndex(int index, int count)
{
    throw rtl::EListError("List index out of bounds (" + std::to_string(index) + "), count " +
                          std::to_string(count));
}

}  // namespace

// ---------------------------------------------------------------- TIEList

TIEList::TIEList(int ItemSize) : itemSize_(ItemSize)
{
    if (ItemSize < 1)
        throw rtl::EListError("list items of " + std::to_string(ItemSize) + " bytes");
}

void TIEList::SetCount(int NewCount)
{
    if (NewCount < 0)
        throw rtl::EListError("list count " + std::to_string(NewCount));
    const auto bytes = rtl::CheckedMul<std::int64_t>(NewCount, itemSize_);
    if (!bytes || *bytes > INT_MAX)
        throw rtl::EOutOfMemory("list of " + std::to_string(NewCount) + " items is too large");
    try {
        // vector's geometric growth keeps repeated AddItem linear overall.
        if (std::size_t(*bytes) > data_.capacity())
            data_.reserve(std::max(std::size_t(*bytes), data_.capacity() * 2));
        data_.resize(std::size_t(*bytes), 0);
    } catch (const std::bad_alloc&) {
        throw rtl::EOutOfMemory("Out of memory");
    }
    Flags |= 1;
}

void TIEList::Delete(int Index)
{
    if (Index < 0 || Index >= Count())
        return;
    const auto at = data_.begin() + std::ptrdiff_t(Index) * itemSize_;
    data_.erase(at, at + itemSize_);
    Flags |= 1;
}

void TIEList::Clear()
{
    data_.clear();
    data_.shrink_to_fit();
    Flags = 0;
}

void TIEList::Assign(const TIEList* Source)
{
    if (!Source || Source == this)
        return;
    itemSize_ = Source->itemSize_;
    data_ = Source->data_;
    Flags = Source->Flags;
}

int TIEList::AddItem(const void* Item)
{
    const int index = Count();
    SetCount(index + 1);
    if (Item)
        std::memcpy(ItemPtr(index), Item, std::size_t(itemSize_));
    return index;
}

void* TIEList::ItemPtr(int Index)
{
    return const_cast<void*>(static_cast<const TIEList*>(this)->ItemPtr(Index));
}

const void* TIEList::ItemPtr(int Index) const
{
    if (Index < 0 || Index >= Count())
        ThrowIndex(Index, Count());
    return data_.data() + std::size_t(Index) * std::size_t(itemSize_);
}

void TIEDoubleList::Clear()
{
    TIEList::Clear();
    std::fill(std::begin(Extra), std::end(Extra), 0.0);
    itemSize_ = 8;
}

void TIEDoubleList::Assign(const TIEList* Source)
{
    TIEList::Assign(Source);
    if (auto* s = dynamic_cast<const TIEDoubleList*>(Source))
        std::copy(std::begin(s->Extra), std::end(s->Extra), std::begin(Extra));
}

void TIEIntegerList::Clear()
{
    TIEList::Clear();
    std::fill(std::begin(Extra), std::end(Extra), 0);
    itemSize_ = 4;
}

void TIEIntegerList::Assign(const TIEList* Source)
{
    TIEList::Assign(Source);
    if (auto* s = dynamic_cast<const TIEIntegerList*>(Source))
        std::copy(std::begin(s->Extra), std::end(s->Extra), std::begin(Extra));
}

TIERecordList::TIERecordList(int RecordSize) : TIEList(RecordSize) {}

// ---------------------------------------------------------------- TIEMarkerList

const TIEMarkerList::TMarker& TIEMarkerList::At(int Index) const
{
    if (Index < 0 || Index >= Count())
        ThrowIndex(Index, Count());
    return markers_[std::size_t(Index)];
}

const std::uint8_t* TIEMarkerList::MarkerData(int Index) const { return At(Index).data->Memory(); }
std::uint8_t TIEMarkerList::MarkerType(int Index) const { return At(Index).type; }
int TIEMarkerList::MarkerLength(int Index) const { return int(At(Index).data->Size()); }

int TIEMarkerList::IndexOf(std::uint8_t Type) const
{
    for (int i = 0; i < Count(); ++i)
        if (markers_[std::size_t(i)].type == Type)
            return i;
    return -1;
}

int TIEMarkerList::AddMarker(std::uint8_t Type, const void* Data, std::uint16_t Length)
{
    auto stream = std::make_unique<rtl::TMemoryStream>();
    if (Data && Length)
        stream->WriteBuffer(Data, Length);
    markers_.push_back({Type, std::move(stream)});
    return Count() - 1;
}

void TIEMarkerList::SetMarker(int Index, std::uint8_t Type, const void* Data, std::uint16_t Length)
{
    At(Index);
    auto stream = std::make_unique<rtl::TMemoryStream>();
    if (Data && Length)
        stream->WriteBuffer(Data, Length);
    markers_[std::size_t(Index)] = {Type, std::move(stream)};
}

void TIEMarkerList::DeleteMarker(int Index)
{
    At(Index);
    markers_.erase(markers_.begin() + Index);
}

void TIEMarkerList::Clear() { markers_.clear(); }

// ---------------------------------------------------------------- TIEIPTCInfoList

const TIEIPTCInfoList::TRecord& TIEIPTCInfoList::Record(int Index) const
{
    if (Index < 0 || Index >= Count())
        ThrowIndex(Index, Count());
    return records_[std::size_t(Index)];
}

int TIEIPTCInfoList::AddBufferItem(int RecordNumber, int DataSet, const void* Data, int Length)
{
    if (Length < 0 || (Length > 0 && !Data))
        throw rtl::EInvalidArgument("IPTC record of " + std::to_string(Length) + " bytes");
    TRecord r;
    r.RecordNumber = RecordNumber;
    r.DataSet = DataSet;
    const auto* p = static_cast<const std::uint8_t*>(Data);
    r.Data.assign(p, p + Length);
    records_.push_back(std::move(r));
    Modified = true;
    return Count() - 1;
}

void TIEIPTCInfoList::Clear()
{
    records_.clear();
    Modified = true;
}

std::vector<std::uint8_t> TIEIPTCInfoList::SaveToStandardBuffer(bool PhotoshopHeader) const
{
    std::vector<std::uint8_t> out;
    if (records_.empty())
        return out;
    auto put32 = [&](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(std::uint8_t(v >> shift));
    };
    // "Photoshop 3.0", NUL, "8BIM", resource 0x0404, empty name, then the 4-byte size.
    static const std::uint8_t kResourceHeader[] = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o',  'p',  ' ',  '3',
                                                   '.', '0', 0,   '8', 'B', 'I', 'M', 0x04, 0x04, 0x00, 0x00};
    static const std::uint8_t kVersion[] = {0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02};
    if (PhotoshopHeader)
        out.assign(std::begin(kResourceHeader), std::end(kResourceHeader));
    else
        out.assign(std::begin(kVersion), std::end(kVersion));
    const std::size_t sizeAt = out.size();
    if (PhotoshopHeader)
        put32(0);
    std::uint64_t recordsSize = 0;
    for (const auto& r : records_) {
        if ((r.RecordNumber == 2 && r.DataSet == 0) || r.Data.empty())
            continue;
        out.push_back(0x1C);
        out.push_back(std::uint8_t(r.RecordNumber));
        out.push_back(std::uint8_t(r.DataSet));
        const auto length = std::uint32_t(r.Data.size());
        if (length < 32768) {
            out.push_back(std::uint8_t(length >> 8));
            out.push_back(std::uint8_t(length));
            recordsSize += length + 5;
        } else {
            out.push_back(0x80);
            out.push_back(0x04);
            put32(length);
            recordsSize += std::uint64_t(length) + 9;
        }
        out.insert(out.end(), r.Data.begin(), r.Data.end());
    }
    if (PhotoshopHeader)
        for (int i = 0; i < 4; ++i)
            out[sizeAt + std::size_t(i)] = std::uint8_t(recordsSize >> (24 - 8 * i));
    if (out.size() % 2)
        out.push_back(0);
    return out;
}

void TIEIPTCInfoList::LoadFromStandardBuffer(const void* Buffer, std::int64_t Length)
{
    Clear();
    const auto* p = static_cast<const std::uint8_t*>(Buffer);
    if (!p || Length <= 0) {
        Modified = false;
        return;
    }
    std::int64_t pos = 0;
    while (pos < Length && p[pos] != 0x1C)
        ++pos;
    while (pos < Length && p[pos] == 0x1C && Length - pos > 5) {
        const int recordNumber = p[pos + 1];
        const int dataSet = p[pos + 2];
        std::int64_t length = 0, dataAt = 0;
        if (p[pos + 3] < 128) {
            length = rtl::LoadBE16(p + pos + 3);
            dataAt = pos + 5;
        } else {
            // The extended form carries its length in the 4 bytes after the tag: 9 header bytes.
            if (Length - pos < 9)
                break;
            length = rtl::LoadBE32(p + pos + 5);
            dataAt = pos + 9;
        }
        if (length > INT_MAX || length > Length - dataAt)
            break;
        AddBufferItem(recordNumber, dataSet, p + dataAt, int(length));
        pos = dataAt + length;
    }
    Modified = false;
}

// ---------------------------------------------------------------- TIEByteArray

TIEByteArray::TIEByteArray() { Reallocate(blockSize_, 0); }

void TIEByteArray::Reallocate(std::int64_t capacity, int keep)
{
    if (capacity > INT_MAX)
        throw rtl::EOutOfMemory("byte array of " + std::to_string(capacity) + " bytes is too large");
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[std::size_t(capacity)]());
    if (!block)
        throw rtl::EOutOfMemory("Out of memory");
    if (keep > 0)
        std::memcpy(block.get(), data_.get(), std::size_t(keep));
    data_ = std::move(block);
    capacity_ = int(capacity);
}

void TIEByteArray::SetSize(int NewSize)
{
    if (NewSize < 0)
        throw rtl::EInvalidArgument("byte array size " + std::to_string(NewSize));
    if (NewSize > capacity_)
        Reallocate(std::int64_t(NewSize) + blockSize_, size_);
    else if (NewSize < capacity_ - blockSize_)
        Reallocate(std::int64_t(NewSize) + blockSize_, NewSize);
    else if (NewSize > size_)
        std::memset(data_.get() + size_, 0, std::size_t(NewSize - size_));
    size_ = NewSize;
}

void TIEByteArray::AddByte(std::uint8_t Value)
{
    SetSize(size_ + 1);
    data_[std::size_t(size_ - 1)] = Value;
}

int TIEByteArray::AppendFromStream(rtl::TStream& Stream, int Count)
{
    if (Count <= 0)
        return 0;
    const int old = size_;
    if (std::int64_t(old) + Count > INT_MAX)
        throw rtl::EOutOfMemory("byte array would exceed 2 GB");
    SetSize(old + Count);
    const int got = std::max(Stream.Read(data_.get() + old, Count), 0);
    SetSize(old + got);
    return got;
}

// ---------------------------------------------------------------- TNulStream

void TNulStream::Advance(std::int64_t count)
{
    position_ += count;
    size_ = std::max(size_, position_);
}

std::int32_t TNulStream::Read(void*, std::int32_t count)
{
    if (count <= 0)
        return 0;
    Advance(count);
    return count;
}

std::int32_t TNulStream::Write(const void*, std::int32_t count)
{
    if (count <= 0)
        return 0;
    Advance(count);
    return count;
}

std::int64_t TNulStream::Seek(std::int64_t offset, rtl::TSeekOrigin origin)
{
    switch (origin) {
    case rtl::soBeginning: position_ = offset; break;
    case rtl::soCurrent: position_ += offset; break;
    case rtl::soEnd: position_ = size_ + offset; break;
    }
    if (origin != rtl::soEnd)
        size_ = std::max(size_, position_);
    return position_;
}

void SafeStreamWrite(rtl::TStream& Stream, bool& Aborting, const void* Buffer, std::int32_t Count)
{
    if (Count <= 0)
        return;
    if (Stream.Write(Buffer, Count) < Count)
        Aborting = true;
}

// ---------------------------------------------------------------- THash1

THash1::THash1(int Bits) : bits_(Bits)
{
    if (Bits < 0 || Bits > 24)
        throw rtl::EInvalidArgument("hash of 2^" + std::to_string(Bits) + " buckets");
    bucketCount_ = 1 << Bits;
    keys_.assign(std::size_t(bucketCount_), 0);
    chains_.assign(std::size_t(bucketCount_), nullptr);
    states_.assign(std::size_t(bucketCount_), 0);
    values_.assign(std::size_t(bucketCount_), 0);
}

THash1::~THash1()
{
    for (THash1Item* item : chains_)
        while (item) {
            THash1Item* next = item->Next;
            delete item;
            item = next;
        }
}

bool THash1::Insert(std::int32_t Key, int& BucketIndex, THash1Item*& NewItem)
{
    NewItem = nullptr;
    BucketIndex = HashIndex(Key);
    const auto b = std::size_t(BucketIndex);
    switch (states_[b]) {
    case 0:
        keys_[b] = Key;
        states_[b] = 1;
        break;
    case 1: {
        if (keys_[b] == Key)
            return false;
        auto first = std::make_unique<THash1Item>();
        auto second = std::make_unique<THash1Item>();
        first->Key = keys_[b];
        first->Value = values_[b];
        second->Key = Key;
        first->Next = second.get();
        NewItem = second.release();
        chains_[b] = first.release();
        states_[b] = 2;
        break;
    }
    default: {
        THash1Item* item = chains_[b];
        for (;; item = item->Next) {
            if (item->Key == Key)
                return false;
            if (!item->Next)
                break;
        }
        item->Next = new THash1Item;
        item->Next->Key = Key;
        NewItem = item->Next;
        break;
    }
    }
    ++count_;
    return true;
}

bool THash1::AddKey(std::int32_t Key)
{
    int bucket = 0;
    THash1Item* item = nullptr;
    return Insert(Key, bucket, item);
}

// ---------------------------------------------------------------- free helpers

bool IEDirectoryExists(const std::string& Path)
{
    std::error_code ec;
    return !Path.empty() && std::filesystem::is_directory(std::filesystem::u8path(Path), ec);
}

void IEForceDirectories(const std::string& Path)
{
    if (Path.empty())
        throw rtl::Exception("Cannot Create Directory");
    std::string path = Path;
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    if (path.size() < 3 || IEDirectoryExists(path))
        return;
    const auto cut = path.find_last_of("\\/");
    if (cut != std::string::npos && cut > 0) {
        const std::string parent = path.substr(0, cut);
        if (parent != path)
            IEForceDirectories(parent);
    }
    std::error_code ec;
    std::filesystem::create_directory(std::filesystem::u8path(path), ec);
}

int MaskBitCount(std::uint32_t Mask)
{
    if (!Mask)
        return 0;
    while (!(Mask & 1))
        Mask >>= 1;
    int n = 0;
    while (Mask & 1) {
        ++n;
        Mask >>= 1;
    }
    return n;
}

int MaskHighBit(std::uint32_t Mask)
{
    if (!Mask)
        return -1;
    int high = 31;
    while (!(Mask & (1u << high)))
        --high;
    return (Mask & (Mask - 1)) == 0 ? high : high + 1;
}

int VclPixelFormatBits(int PixelFormat)
{
    static constexpr int kBits[] = {0, 1, 4, 8, 15, 16, 24, 32, 0};
    return PixelFormat >= 0 && PixelFormat < 9 ? kBits[PixelFormat] : 0;
}

int VclRowLen(int Width, int PixelFormat) { return IERowLen(Width, VclPixelFormatBits(PixelFormat), 32); }

void ReverseBits32(std::uint32_t& V)
{
    std::uint32_t v = IESwapDWord(V);
    v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
    v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
    v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
    V = v;
}

long double IEIntPower(long double Base, int Exponent)
{
    std::uint64_t n = Exponent < 0 ? std::uint64_t(-std::int64_t(Exponent)) : std::uint64_t(Exponent);
    long double result = 1;
    while (n) {
        if (n & 1)
            result *= Base;
        Base *= Base;
        n >>= 1;
    }
    return Exponent < 0 ? 1 / result : result;
}

long double IEPower(long double Base, long double Exponent)
{
    if (Exponent == 0)
        return 1;
    if (Base == 0 && Exponent > 0)
        return 0;
    if (std::floor(Exponent) == Exponent && std::fabs(Exponent) <= INT_MAX)
        return IEIntPower(Base, int(Exponent));
    return std::exp(Exponent * std::log(Base));
}

int PowerOfTwoProduct(int Bits, int Count)
{
    if (Count < 1)
        return 1;
    const std::int64_t shift = std::int64_t(Bits) * Count;
    if (Bits < 0 || shift > 30)
        throw rtl::EInvalidArgument("2^(" + std::to_string(Bits) + "*" + std::to_string(Count) +
                                    ") exceeds an Integer");
    return 1 << shift;
}

void SnapPointTo45(int X0, int Y0, int& X1, int& Y1)
{
    const std::int64_t dx = std::int64_t(X0) - X1, dy = std::int64_t(Y0) - Y1;
    const std::int64_t adx = std::llabs(dx), ady = std::llabs(dy);
    if (ady > adx + 30) {
        X1 = X0;
        return;
    }
    if (ady < adx - 30) {
        Y1 = Y0;
        return;
    }
    const int d = int(std::llabs(adx - ady));
    if ((dx <= 0 && dy == 0) || (dx == 0 && dy <= 0))
        return;
    if (dx < 0 && dy < 0) {
        if (ady > adx)
            X1 += d;
        else
            Y1 += d;
    } else if (dx <= 0 && dy > 0) {
        if (ady > adx)
            X1 += d;
        else
            Y1 -= d;
    } else if (dx > 0 && dy <= 0) {
        if (ady > adx)
            X1 -= d;
        else
            Y1 += d;
    } else {
        if (ady <= adx)
            X1 += d;
        else
            Y1 += d;
    }
}

double PointToLineDistance(int X, int Y, int X1, int Y1, int X2, int Y2)
{
    const double a = double(Y1) - Y2, b = double(X2) - X1, c = double(X1) * Y2 - double(X2) * Y1;
    const double norm = std::sqrt(a * a + b * b);
    if (norm == 0)
        return std::hypot(double(X) - X1, double(Y) - Y1);
    return std::fabs(a * X + b * Y + c) / norm;
}

double PointToSegmentDistance(int X, int Y, int X1, int Y1, int X2, int Y2)
{
    const double dx = double(X2) - X1, dy = double(Y2) - Y1;
    const double l2 = dx * dx + dy * dy;
    if (l2 == 0)
        return std::hypot(double(X) - X1, double(Y) - Y1);
    const double t = ((double(X) - X1) * dx + (double(Y) - Y1) * dy) / l2;
    if (t >= 0 && t <= 1)
        return PointToLineDistance(X, Y, X1, Y1, X2, Y2);
    const int ex = t < 0 ? X1 : X2, ey = t < 0 ? Y1 : Y2;
    const double ddx = std::fabs(double(X) - ex), ddy = std::fabs(double(Y) - ey);
    if (ddx < 45001 && ddy < 45001)
        return std::hypot(ddx, ddy);
    return 1000000.0;
}

bool CPUHasMMX()
{
#if defined(__i386__) || defined(__x86_64__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    return (d & (1u << 23)) != 0;
#else
    return false;
#endif
}

long double IEStrToFloat(const std::string& Text, long double Default)
{
    double value = 0;
    if (rtl::TryStrToFloat(Text, value))
        return value;
    std::string other = Text;
    const auto comma = other.find(',');
    if (comma != std::string::npos) {
        other[comma] = '.';
    } else {
        const auto dot = other.find('.');
        if (dot == std::string::npos)
            return Default;
        other[dot] = ',';
    }
    // The system separator may be either: try the swapped text with both.
    if (rtl::TryStrToFloat(other, value))
        return value;
    return Default;
}

}  // namespace imaging
