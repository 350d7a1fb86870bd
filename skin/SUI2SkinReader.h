// Skin file reader: extracts SKINDATA.SK2 from a skin archive and indexes its named records.
#pragma once

#include "platform/rtl/Lists.h"
#include "platform/rtl/Object.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace skin {

// A bitmap value of the skin, kept as the BMP file it was stored as. Decoding to a device
// bitmap belongs to the skinned controls, which draw it; here only the headers are checked.
class TSkinBitmap : public rtl::TObject {
public:
    // Raises rtl::Exception when `bmp` is not a BMP file with a plausible header.
    explicit TSkinBitmap(std::vector<std::uint8_t> bmp);

    const std::vector<std::uint8_t>& Data() const { return data_; }
    std::int32_t Width() const { return width_; }
    // Positive whatever the row order of the file.
    std::int32_t Height() const { return height_; }
    std::uint16_t BitCount() const { return bitCount_; }

private:
    std::vector<std::uint8_t> data_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::uint16_t bitCount_ = 0;
};

// Record types of the skin data.
enum TSkinRecordType : std::uint8_t { srtBitmap = 0, srtInteger = 1, srtByte = 2, srtString = 3 };

// Results of ExtractArchiveEntry.
inline constexpr int kExtractOk = 0;
inline constexpr int kExtractFailed = 1;
inline constexpr int kExtractBadPassword = 2;  // also: the entry's data is damaged

// Reads a skin file once, at construction, into four case-insensitive lookup lists.
//
// Raises rtl::Exception "Failed to read skin file!" when the archive is not usable (no "SK" at its
// start, no end record in its last 22 bytes, no entry SKINDATA.SK2, an empty entry) or its skin
// data's records are. An entry whose data is damaged (it does not inflate, or not to its stored size
// and CRC-32) or encrypted with a password that is empty or wrong constructs normally with Loaded()
// false and empty lists. The entry is extracted in memory: no temporary file is made.
class Tsk2SkinFileReader : public rtl::TObject {
public:
    Tsk2SkinFileReader(const std::string& fileName, const std::string& password);
    // The same from a skin file already in memory (or any stream), from its start.
    Tsk2SkinFileReader(rtl::TStream& archive, const std::string& password);
    ~Tsk2SkinFileReader() override;
    Tsk2SkinFileReader(const Tsk2SkinFileReader&) = delete;
    Tsk2SkinFileReader& operator=(const Tsk2SkinFileReader&) = delete;

    // The reader's own bitmap for `name` (the first of that name), or nullptr. Not to be freed.
    TSkinBitmap* GetBitmap(const std::string& name) const;
    // The 32-bit value of `name` (colours are stored as integers); -1 when absent.
    std::int32_t GetInt(const std::string& name) const;
    // The byte value of `name`, nonzero is true; false when absent.
    bool GetBool(const std::string& name) const;

    // Lines "name=value"; the bitmaps list holds names with their TSkinBitmap objects.
    const rtl::TStringList& Bitmaps() const { return *bitmaps_; }
    const rtl::TStringList& Integers() const { return *integers_; }
    const rtl::TStringList& Bytes() const { return *bytes_; }
    const rtl::TStringList& Strings() const { return *strings_; }
    bool Loaded() const { return loaded_; }

private:
    Tsk2SkinFileReader();
    void Read(rtl::TStream& archive, const std::string& password);
    void ReadSkinData(rtl::TStream& data);

    std::unique_ptr<rtl::TStringList> bitmaps_;  // owns its TSkinBitmap objects
    std::unique_ptr<rtl::TStringList> integers_;
    std::unique_ptr<rtl::TStringList> bytes_;
    std::unique_ptr<rtl::TStringList> strings_;
    bool loaded_ = false;
};

// Extracts `entryName` (matched without regard to ASCII case) from the skin archive into the
// file `outputName`. Returns kExtractOk; kExtractFailed when the archive is not usable, lacks the
// entry or the entry is empty; kExtractBadPassword for a missing or wrong password and for an entry
// whose data is damaged: it does not inflate (data cut short included), or not to the stored size
// and CRC-32. The output file exists afterwards only on kExtractOk. Never throws for bad input.
int ExtractArchiveEntry(const std::string& archiveName, const std::string& entryName,
                        const std::string& outputName, const std::string& password);
// The same into memory: `out` holds the entry on kExtractOk and is empty otherwise.
int ExtractArchiveEntry(rtl::TStream& archive, const std::string& entryName, const std::string& password,
                        std::vector<std::uint8_t>& out);

// The temporary folder with a trailing path separator.
std::string TempDir();

}  // namespace skin
