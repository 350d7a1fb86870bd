// Small shared containers and helpers of the image library: typed lists, JPEG markers, IPTC records,
// a growable byte array, a counting stream, an integer hash set, folder, bit and geometry helpers.
#pragma once

#include "imaging/core/iebitmap.h"
#include "platform/rtl/Object.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace rtl {
class TComponent;
}
namespace win {
class TCanvas;
}

namespace imaging {

// List of fixed-size items in one block. Growth is amortised. Index checks raise rtl::EListError.
class TIEList : public rtl::TObject {
public:
    explicit TIEList(int ItemSize = 1);
    // Bytes are kept at exactly Count * ItemSize, so the count needs no field of its own.
    int Count() const { return static_cast<int>(data_.size() / static_cast<std::size_t>(itemSize_)); }
    int ItemSize() const { return itemSize_; }
    int Flags = 0;  // bit 0: changed

    // New items are zero; a negative count raises rtl::EListError.
    virtual void SetCount(int NewCount);
    // An index outside 0..Count-1 is ignored.
    virtual void Delete(int Index);
    virtual void Clear();
    // nullptr is ignored.
    virtual void Assign(const TIEList* Source);
    int AddItem(const void* Item);
    void* ItemPtr(int Index);
    const void* ItemPtr(int Index) const;

protected:
    int itemSize_;

private:
    std::vector<std::uint8_t> data_;
};

class TIEDoubleList : public TIEList {
public:
    TIEDoubleList() : TIEList(8) {}
    double& Items(int Index) { return *static_cast<double*>(ItemPtr(Index)); }
    int Add(double Value) { return AddItem(&Value); }
    void Clear() override;
    void Assign(const TIEList* Source) override;
    double Extra[4] = {};  // meaning belongs to the list's user
};

class TIEIntegerList : public TIEList {
public:
    TIEIntegerList() : TIEList(4) {}
    std::int32_t& Items(int Index) { return *static_cast<std::int32_t*>(ItemPtr(Index)); }
    int Add(std::int32_t Value) { return AddItem(&Value); }
    void Clear() override;
    void Assign(const TIEList* Source) override;
    std::int32_t Extra[4] = {};
};

class TIERecordList : public TIEList {
public:
    // RecordSize below 1 raises rtl::EListError.
    explicit TIERecordList(int RecordSize);
    void* GetItem(int Index) { return ItemPtr(Index); }
};

// JPEG markers (COM 254, APP0..APP15 224..239) with their data.
class TIEMarkerList : public rtl::TObject {
public:
    int Count() const { return int(markers_.size()); }
    // The marker's bytes, owned by the list; nullptr for an empty marker.
    const std::uint8_t* MarkerData(int Index) const;
    std::uint8_t MarkerType(int Index) const;
    int MarkerLength(int Index) const;
    int IndexOf(std::uint8_t Type) const;
    int AddMarker(std::uint8_t Type, const void* Data, std::uint16_t Length);
    void SetMarker(int Index, std::uint8_t Type, const void* Data, std::uint16_t Length);
    void DeleteMarker(int Index);
    void Clear();

private:
    struct TMarker {
        std::uint8_t type;
        std::unique_ptr<rtl::TMemoryStream> data;
    };
    const TMarker& At(int Index) const;
    std::vector<TMarker> markers_;
};

// IPTC IIM datasets.
class TIEIPTCInfoList : public rtl::TObject {
public:
    struct TRecord {
        int RecordNumber = 0;
        int DataSet = 0;
        std::vector<std::uint8_t> Data;
    };

    int Count() const { return int(records_.size()); }
    const TRecord& Record(int Index) const;
    // Copies Length bytes (a negative length raises rtl::EInvalidArgument).
    int AddBufferItem(int RecordNumber, int DataSet, const void* Data, int Length);
    void Clear();
    // The standard IIM stream, with the resource header of image editors when PhotoshopHeader.
    // Empty when there are no records.
    std::vector<std::uint8_t> SaveToStandardBuffer(bool PhotoshopHeader) const;
    // Reads datasets until the buffer ends or stops making sense; every length is checked against
    // the bytes left.
    void LoadFromStandardBuffer(const void* Buffer, std::int64_t Length);
    bool Modified = false;

private:
    std::vector<TRecord> records_;
};

// Growable byte block that grows and shrinks in steps of BlockSize.
class TIEByteArray : public rtl::TObject {
public:
    TIEByteArray();
    int Size() const { return size_; }
    int Capacity() const { return capacity_; }
    int BlockSize() const { return blockSize_; }
    std::uint8_t* Data() { return data_.get(); }
    // Raises rtl::EInvalidArgument for a negative size, rtl::EOutOfMemory when memory runs out.
    void SetSize(int NewSize);
    void AddByte(std::uint8_t Value);
    // Reads up to Count bytes from Stream onto the end; returns how many came.
    int AppendFromStream(rtl::TStream& Stream, int Count);

private:
    void Reallocate(std::int64_t capacity, int keep);
    int size_ = 0;
    int capacity_ = 0;
    int blockSize_ = 8192;
    std::unique_ptr<std::uint8_t[]> data_;
};

// Stream that stores nothing and only counts, to measure what a writer would write.
class TNulStream : public rtl::TStream {
public:
    std::int32_t Read(void* buffer, std::int32_t count) override;
    std::int32_t Write(const void* buffer, std::int32_t count) override;
    // From the end: size plus offset, as every other stream.
    std::int64_t Seek(std::int64_t offset, rtl::TSeekOrigin origin) override;
    std::int64_t Size() override { return size_; }

private:
    void Advance(std::int64_t count);
    std::int64_t position_ = 0;
    std::int64_t size_ = 0;
};

// Writes Count bytes; a short write sets Aborting and leaves it set.
void SafeStreamWrite(rtl::TStream& Stream, bool& Aborting, const void* Buffer, std::int32_t Count);

class THash1Item {
public:
    std::int32_t Key = 0;
    THash1Item* Next = nullptr;  // owned by the hash
    std::intptr_t Value = 0;
};

// Set of 32-bit keys in 2^Bits buckets (Bits 0..24, else rtl::EInvalidArgument).
class THash1 : public rtl::TObject {
public:
    explicit THash1(int Bits);
    ~THash1() override;
    THash1(const THash1&) = delete;
    THash1& operator=(const THash1&) = delete;

    int HashIndex(std::int32_t Key) const { return Key & (bucketCount_ - 1); }
    bool Insert(std::int32_t Key, int& BucketIndex, THash1Item*& NewItem);
    bool AddKey(std::int32_t Key);
    int Count() const { return count_; }
    int BucketCount() const { return bucketCount_; }
    std::intptr_t& BucketValue(int Bucket) { return values_.at(std::size_t(Bucket)); }

private:
    std::vector<std::int32_t> keys_;
    std::vector<THash1Item*> chains_;
    std::vector<std::uint8_t> states_;  // 0 empty, 1 one key, 2 chain
    std::vector<std::intptr_t> values_;
    int bits_;
    int bucketCount_;
    int count_ = 0;
};

// The view's scroll-bar and mouse-wheel settings.
struct TIEScrollBarParams {
    int LineStep = -1;  // -1: automatic
    int PageStep = -1;
    bool Tracking = true;
};

struct TIEMouseWheelParams {
    bool InvertDirection = false;  // a notch away from the user counts -1
    std::uint8_t Action = 2;       // 0 none, 1 scroll, 2 zoom
    std::uint8_t Variation = 1;    // 0 absolute, 1 percentage
    int Value = 8;
    bool ZoomPosition = false;  // false: zoom keeping the centre; true: at the mouse
};

bool IEDirectoryExists(const std::string& Path);
// Creates the folder and its missing parents; an empty path raises rtl::Exception
// "Cannot Create Directory". A folder that cannot be made is not reported.
void IEForceDirectories(const std::string& Path);
int MaskBitCount(std::uint32_t Mask);
int MaskHighBit(std::uint32_t Mask);
// PixelFormat as the platform's ordinals: device, 1, 4, 8, 15, 16, 24, 32 bits, custom.
int VclPixelFormatBits(int PixelFormat);
int VclRowLen(int Width, int PixelFormat);
void ReverseBits32(std::uint32_t& V);
long double IEIntPower(long double Base, int Exponent);
long double IEPower(long double Base, long double Exponent);
constexpr std::uint16_t IESwapWord(std::uint16_t W) { return std::uint16_t((W >> 8) | (W << 8)); }
constexpr std::uint32_t IESwapDWord(std::uint32_t D)
{
    return (D >> 24) | ((D >> 8) & 0xFF00) | ((D << 8) & 0xFF0000) | (D << 24);
}
// 2^(Bits * Count); 1 when Count < 1. Raises rtl::EInvalidArgument when it does not fit 32 bits.
int PowerOfTwoProduct(int Bits, int Count);
void SnapPointTo45(int X0, int Y0, int& X1, int& Y1);
constexpr bool IEPointInRect(int X, int Y, int Left, int Top, int Right, int Bottom)
{
    return Left <= X && X <= Right && Top <= Y && Y <= Bottom;
}
double PointToLineDistance(int X, int Y, int X1, int Y1, int X2, int Y2);
double PointToSegmentDistance(int X, int Y, int X1, int Y1, int X2, int Y2);
bool CPUHasMMX();
// Windows build only. The window handle (an HWND) of the first windowed control up the owner chain
// that has one; nullptr when none.
void* FindOwnerWindowHandle(rtl::TComponent* Component);
// Windows build only. The view's grey ramp rulers, Style 1 to 3; empty or absurdly large rectangles
// draw nothing.
void DrawHorzGradientRuler(win::TCanvas& Canvas, int X1, int Y1, int X2, int Y2, int Style);
void DrawVertGradientRuler(win::TCanvas& Canvas, int X1, int Y1, int X2, int Y2, int Style);
// Accepts "," or "." as the decimal separator whatever the system uses.
long double IEStrToFloat(const std::string& Text, long double Default);

}  // namespace imaging
