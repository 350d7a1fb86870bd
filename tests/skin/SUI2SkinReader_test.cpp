// Tests of the skin file reader on archives written by zipfile and Info-ZIP zip.
#include "skin/SUI2SkinReader.h"

#include "skin/SUI2Define.h"

#include "DeflateTestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

const std::string kPassword = "skin-pw";
const std::string kFailed = "Failed to read skin file!";

std::string DataPath(const std::string& name) { return std::string(VA_TEST_DATA_DIR) + "/skin/" + name; }

Bytes ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::uint32_t U32(const Bytes& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

void PutU32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Each test works in its own folder, which also serves as the temporary folder, so leftover
// temporary files show up.
class SkinReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        static const fs::path base = fs::temp_directory_path();
        dir_ = base / (std::string("skinrd_") + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "tmp");
        oldTemp_ = GetEnv(kTempVar);
        SetEnv(kTempVar, (dir_ / "tmp").string());
    }
    void TearDown() override
    {
        SetEnv(kTempVar, oldTemp_);
        fs::remove_all(dir_);
    }

    std::string Write(const std::string& name, const Bytes& bytes)
    {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
    bool TempFolderEmpty() const { return fs::is_empty(dir_ / "tmp"); }

    // Either a reader, or the reader's failure exception; anything else fails the test.
    std::unique_ptr<skin::Tsk2SkinFileReader> Open(const std::string& path, const std::string& pw,
                                                   bool& failed)
    {
        failed = false;
        try {
            return std::make_unique<skin::Tsk2SkinFileReader>(path, pw);
        } catch (const rtl::Exception& e) {
            EXPECT_EQ(e.Message(), kFailed);
            failed = true;
        }
        return nullptr;
    }

#ifdef _WIN32
    static constexpr const char* kTempVar = "TMP";
    static void SetEnv(const char* name, const std::string& v) { _putenv_s(name, v.c_str()); }
#else
    static constexpr const char* kTempVar = "TMPDIR";
    static void SetEnv(const char* name, const std::string& v)
    {
        if (v.empty())
            unsetenv(name);
        else
            setenv(name, v.c_str(), 1);
    }
#endif
    static std::string GetEnv(const char* name)
    {
        const char* v = std::getenv(name);
        return v ? v : "";
    }

    fs::path dir_;
    std::string oldTemp_;
};

void ExpectFullSkinValues(const skin::Tsk2SkinFileReader& r)
{
    EXPECT_TRUE(r.Loaded());
    EXPECT_EQ(r.GetInt("SKIN2_TRANSCOLOR"), 0x00FF00FF);
    EXPECT_EQ(r.GetInt("SKIN2_FORMCOLOR"), 0x00C08040);
    EXPECT_EQ(r.GetInt("SKIN2_TITLEBARICONPOSX"), 7);
    EXPECT_EQ(r.GetInt("SKIN2_TITLEBARCAPTIONTOP"), -3);
    EXPECT_EQ(r.GetInt("SKIN2_SYSTEMCOLOR1"), 0x123456);
    EXPECT_TRUE(r.GetBool("SKIN2_TITLEFIVESECT"));
    EXPECT_FALSE(r.GetBool("SKIN2_BUTTONTRANS"));
    EXPECT_TRUE(r.GetBool("SKIN2_TABCONTROLTRANS"));  // stored as 2
    EXPECT_EQ(r.Bitmaps().Count(), 2);
    EXPECT_EQ(r.Integers().Count(), 5);
    EXPECT_EQ(r.Bytes().Count(), 3);
    ASSERT_EQ(r.Strings().Count(), 1);
    EXPECT_EQ(r.Strings()[0], "SKIN2_AUTHOR=Varnelo skin team");
    EXPECT_EQ(r.Integers()[0], "SKIN2_TRANSCOLOR=16711935");
}

// The value bytes of `name` in an uncompressed skin data file, found by walking its chain.
Bytes ValueIn(const Bytes& data, const std::string& name)
{
    std::size_t at = U32(data, 20);
    while (U32(data, at + 73) != 0) {
        if (std::strncmp(reinterpret_cast<const char*>(&data[at]), name.c_str(), 64) == 0) {
            const std::size_t off = U32(data, at + 65);
            return Bytes(data.begin() + static_cast<std::ptrdiff_t>(off),
                         data.begin() + static_cast<std::ptrdiff_t>(off + U32(data, at + 69)));
        }
        at = U32(data, at + 73);
    }
    return {};
}

// What a reader holds, as one text: every list with its values, and the bitmaps' bytes.
std::string Contents(const skin::Tsk2SkinFileReader& r)
{
    std::string text = r.Integers().Text() + r.Bytes().Text() + r.Strings().Text() + r.Bitmaps().Text();
    for (std::int32_t i = 0; i < r.Bitmaps().Count(); ++i) {
        const auto* bmp = static_cast<const skin::TSkinBitmap*>(r.Bitmaps().Objects(i));
        text.append(bmp->Data().begin(), bmp->Data().end());
    }
    return text;
}

// ---- reads ----

TEST_F(SkinReaderTest, ReadsColoursIntegersBooleansAndStrings)
{
    skin::Tsk2SkinFileReader r(DataPath("full.skn"), "");
    ExpectFullSkinValues(r);
    EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(SkinReaderTest, BitmapsKeepTheStoredBmpBytes)
{
    skin::Tsk2SkinFileReader r(DataPath("full.skn"), "");
    const Bytes data = ReadFile(DataPath("full.sk2"));
    const skin::TSkinBitmap* big = r.GetBitmap(std::string(skin::SKIN2_NAMES[skin::SKIN2_TITLEBAR1]));
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->Width(), 200);
    EXPECT_EQ(big->Height(), 120);
    EXPECT_EQ(big->BitCount(), 24);
    EXPECT_EQ(big->Data(), ValueIn(data, "SKIN2_TITLEBAR1"));
    const skin::TSkinBitmap* small = r.GetBitmap("SKIN2_BUTTON");
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->Height(), 7);  // stored top-down
    EXPECT_EQ(small->Data(), ValueIn(data, "SKIN2_BUTTON"));
}

TEST_F(SkinReaderTest, FastCompressionReadsTheSame)
{
    skin::Tsk2SkinFileReader r(DataPath("full_fast.skn"), "");
    ExpectFullSkinValues(r);
}

TEST_F(SkinReaderTest, EncryptedSkinWithItsPasswordReadsTheSame)
{
    skin::Tsk2SkinFileReader r(DataPath("encrypted.skn"), kPassword);
    ExpectFullSkinValues(r);
    EXPECT_EQ(r.GetBitmap("SKIN2_TITLEBAR1")->Data(),
              ValueIn(ReadFile(DataPath("full.sk2")), "SKIN2_TITLEBAR1"));
    EXPECT_TRUE(TempFolderEmpty());
}

// zip writes encrypted entries with a data descriptor, so its check byte is the time's high
// byte; this archive carries the CRC's high byte instead.
TEST_F(SkinReaderTest, EncryptedSkinCheckedByCrcByte)
{
    skin::Tsk2SkinFileReader r(DataPath("encrypted_crc_check.skn"), kPassword);
    EXPECT_TRUE(r.Loaded());
    EXPECT_EQ(r.GetInt("SKIN2_TRANSCOLOR"), 0x00FF00FF);
    EXPECT_EQ(r.GetBitmap("SKIN2_BUTTON")->Data(), ValueIn(ReadFile(DataPath("small.sk2")), "SKIN2_BUTTON"));
    skin::Tsk2SkinFileReader wrong(DataPath("encrypted_crc_check.skn"), "skin-px");
    EXPECT_FALSE(wrong.Loaded());
}

TEST_F(SkinReaderTest, LookupsIgnoreLetterCase)
{
    skin::Tsk2SkinFileReader r(DataPath("full.skn"), "");
    EXPECT_EQ(r.GetInt("skin2_transcolor"), 0x00FF00FF);
    EXPECT_TRUE(r.GetBool("Skin2_TitleFiveSect"));
    EXPECT_NE(r.GetBitmap("skin2_button"), nullptr);
}

TEST_F(SkinReaderTest, EntryNameMatchesWithoutCase)
{
    skin::Tsk2SkinFileReader r(DataPath("lowercase_entry.skn"), "");
    EXPECT_TRUE(r.Loaded());
    EXPECT_EQ(r.GetInt("SKIN2_TRANSCOLOR"), 0x00FF00FF);
}

TEST_F(SkinReaderTest, AbsentNamesGiveDefaults)
{
    skin::Tsk2SkinFileReader r(DataPath("full.skn"), "");
    EXPECT_EQ(r.GetInt("SKIN2_SCROLLBARCOLOR"), -1);
    EXPECT_FALSE(r.GetBool("SKIN2_CHECKBOXTRANS"));
    EXPECT_EQ(r.GetBitmap("SKIN2_TRACKBAR"), nullptr);
    EXPECT_EQ(r.GetInt("SKIN2_TITLEFIVESECT"), -1);  // a boolean is not an integer
    EXPECT_EQ(r.GetInt("SKIN2_FUTURE"), -1);         // unknown type skipped
}

TEST_F(SkinReaderTest, TerminatorOnlyChainLoadsEmpty)
{
    skin::Tsk2SkinFileReader r(DataPath("terminator_only.skn"), "");
    EXPECT_TRUE(r.Loaded());
    EXPECT_EQ(r.Bitmaps().Count() + r.Integers().Count() + r.Bytes().Count() + r.Strings().Count(), 0);
}

TEST_F(SkinReaderTest, DuplicateBitmapsAreBothStoredAndTheFirstWins)
{
    skin::Tsk2SkinFileReader r(DataPath("duplicate_bitmaps.skn"), "");
    EXPECT_EQ(r.Bitmaps().Count(), 2);
    ASSERT_NE(r.GetBitmap("SKIN2_BUTTON"), nullptr);
    EXPECT_EQ(r.GetBitmap("SKIN2_BUTTON")->Width(), 3);
}

TEST_F(SkinReaderTest, ExtractWritesTheEntryByteForByte)
{
    const std::string out = (dir_ / "out.sk2").string();
    EXPECT_EQ(skin::ExtractArchiveEntry(DataPath("full.skn"), "SKINDATA.SK2", out, ""), skin::kExtractOk);
    EXPECT_EQ(ReadFile(out), ReadFile(DataPath("full.sk2")));
    fs::remove(out);
    EXPECT_EQ(skin::ExtractArchiveEntry(DataPath("encrypted_small.skn"), "skindata.sk2", out, kPassword),
              skin::kExtractOk);
    EXPECT_GT(fs::file_size(out), 0u);
}

TEST_F(SkinReaderTest, TemporaryFilesGoToTheTempFolder)
{
    EXPECT_EQ(fs::path(skin::TempDir()).parent_path(), dir_ / "tmp");  // trailing separator
    const char last = skin::TempDir().back();
    EXPECT_TRUE(last == '/' || last == '\\');
}

TEST(SkinDefine, RangesLineUpWithTheirBases)
{
    EXPECT_EQ(skin::SKIN2_NAMES[skin::kSkin2ColorBase], "SKIN2_TRANSCOLOR");
    EXPECT_EQ(skin::SKIN2_NAMES[skin::kSkin2BitmapBase - 1], "SKIN2_SIDECHANNELBORDERCOLOR");
    EXPECT_EQ(skin::SKIN2_NAMES[skin::kSkin2BitmapBase], "SKIN2_TITLEBAR1");
    EXPECT_EQ(skin::SKIN2_NAMES[skin::kSkin2IntegerBase - 1], "SKIN2_SCROLLBUTTON");
    EXPECT_EQ(skin::SKIN2_NAMES[skin::kSkin2IntegerBase], "SKIN2_TITLEBARICONPOSX");
    EXPECT_EQ(skin::SKIN2_NAMES[skin::kSkin2BooleanBase], "SKIN2_TITLEFIVESECT");
    EXPECT_EQ(skin::Skin2Name(83), "SKIN2_TABCONTROLTRANS");
    EXPECT_THROW(skin::Skin2Name(84), rtl::EListError);
    EXPECT_THROW(skin::Skin2Name(-1), rtl::EListError);
}

// ---- passwords ----

// The second archive is encrypted with the empty password itself, so its check byte matches and
// only the refusal of an empty password keeps it unread.
TEST_F(SkinReaderTest, EncryptedSkinWithoutPasswordStaysEmpty)
{
    for (const char* name : {"encrypted.skn", "encrypted_empty_password.skn"}) {
        skin::Tsk2SkinFileReader r(DataPath(name), "");
        EXPECT_FALSE(r.Loaded()) << name;
        EXPECT_EQ(r.Integers().Count(), 0) << name;
        EXPECT_EQ(r.GetInt("SKIN2_TRANSCOLOR"), -1) << name;
        const std::string out = (dir_ / "out.sk2").string();
        EXPECT_EQ(skin::ExtractArchiveEntry(DataPath(name), "SKINDATA.SK2", out, ""),
                  skin::kExtractBadPassword)
            << name;
        EXPECT_FALSE(fs::exists(out)) << name;
    }
    EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(SkinReaderTest, WrongPasswordStaysEmptyAndLeavesNoFile)
{
    for (const char* pw : {"skin-pX", "wrong", "x", "skin-pw "}) {
        skin::Tsk2SkinFileReader r(DataPath("encrypted_small.skn"), pw);
        EXPECT_FALSE(r.Loaded()) << pw;
        EXPECT_EQ(r.Bitmaps().Count() + r.Integers().Count() + r.Bytes().Count(), 0) << pw;
    }
    const std::string out = (dir_ / "out.sk2").string();
    EXPECT_EQ(skin::ExtractArchiveEntry(DataPath("encrypted.skn"), "SKINDATA.SK2", out, "nope"),
              skin::kExtractBadPassword);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(SkinReaderTest, StoredSizeMismatchStaysEmpty)
{
    Bytes zip = ReadFile(DataPath("small.skn"));
    const std::size_t end = zip.size() - 22;
    const std::size_t central = U32(zip, end + 16);
    PutU32(zip, central + 24, U32(zip, central + 24) + 1);
    skin::Tsk2SkinFileReader r(Write("mismatch.skn", zip), "");
    EXPECT_FALSE(r.Loaded());
    EXPECT_TRUE(TempFolderEmpty());
}

// ---- entry integrity ----

// A skin archive whose one plain entry holds `deflated`, stored with the CRC-32 and size given.
Bytes SkinArchive(const Bytes& deflated, std::uint32_t crc, std::size_t size)
{
    const std::string name = "SKINDATA.SK2";
    auto header = [&](Bytes& b, bool central) {
        const std::size_t at = b.size();
        b.resize(at + (central ? 46 : 30), 0);
        PutU32(b, at, central ? 0x02014B50 : 0x04034B53);  // local headers begin "SK"
        const std::size_t f = central ? at + 16 : at + 14;
        PutU32(b, f, crc);
        PutU32(b, f + 4, static_cast<std::uint32_t>(deflated.size()));
        PutU32(b, f + 8, static_cast<std::uint32_t>(size));
        b[f + 12] = static_cast<std::uint8_t>(name.size());
        b.insert(b.end(), name.begin(), name.end());
    };
    Bytes zip;
    header(zip, false);
    zip.insert(zip.end(), deflated.begin(), deflated.end());
    const std::size_t central = zip.size();
    header(zip, true);
    const std::size_t end = zip.size();
    zip.resize(end + 22, 0);
    PutU32(zip, end, 0x06054B50);
    zip[end + 8] = zip[end + 10] = 1;
    PutU32(zip, end + 12, static_cast<std::uint32_t>(end - central));
    PutU32(zip, end + 16, static_cast<std::uint32_t>(central));
    return zip;
}

// The same holding `data` in one stored deflate block (at most 65535 bytes).
Bytes StoredSkin(const Bytes& data, std::uint32_t crc)
{
    Bytes deflated = {1};
    for (std::uint32_t v :
         {static_cast<std::uint32_t>(data.size()), static_cast<std::uint32_t>(~data.size())})
        for (int i = 0; i < 2; ++i)
            deflated.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    deflated.insert(deflated.end(), data.begin(), data.end());
    return SkinArchive(deflated, crc, data.size());
}

std::uint32_t ZlibCrc(const Bytes& b)
{
    return static_cast<std::uint32_t>(crc32(0, b.data(), static_cast<uInt>(b.size())));
}

// A damaged entry reads as an empty skin, like one with a wrong password: no values, no exception.
TEST_F(SkinReaderTest, EntryWithTheRightSizeButWrongContentIsDamaged)
{
    const Bytes data = ReadFile(DataPath("small.sk2"));
    skin::Tsk2SkinFileReader good(Write("good.skn", StoredSkin(data, ZlibCrc(data))), "");
    EXPECT_TRUE(good.Loaded());
    EXPECT_EQ(good.GetInt("SKIN2_TRANSCOLOR"), 0x00FF00FF);

    Bytes damaged = data;
    damaged[damaged.size() / 2] ^= 0x10;  // same size, one bit off
    for (const Bytes& zip : {StoredSkin(damaged, ZlibCrc(data)), StoredSkin(data, ZlibCrc(data) ^ 1)}) {
        bool failed = false;
        auto r = Open(Write("bad_crc.skn", zip), "", failed);
        ASSERT_FALSE(failed);
        EXPECT_FALSE(r->Loaded());
        EXPECT_EQ(Contents(*r), "");
    }
    const std::string out = (dir_ / "out.sk2").string();
    EXPECT_EQ(skin::ExtractArchiveEntry(Write("bad_crc.skn", StoredSkin(damaged, ZlibCrc(data))),
                                        "SKINDATA.SK2", out, ""),
              skin::kExtractBadPassword);
    EXPECT_FALSE(fs::exists(out));
}

// Once the entry is found its data has the last word: what does not come out at the stored size and
// CRC-32 is damaged (result 2, an empty reader); only an archive without the entry, or an entry that
// is empty, is not usable (result 1, the reader's exception).
TEST_F(SkinReaderTest, WhatEachWayOfDamageGives)
{
    const Bytes data = ReadFile(DataPath("small.sk2"));
    const std::uint32_t crc = ZlibCrc(data);
    const Bytes deflated = test::ZlibDeflate(data, 9, Z_DEFAULT_STRATEGY, 8);
    const Bytes emptyBlock = {3, 0};  // one fixed block holding only its end
    auto local = [](Bytes zip, std::uint32_t offset) {
        PutU32(zip, U32(zip, zip.size() - 22 + 16) + 42, offset);
        return zip;
    };
    auto renamed = [](Bytes zip) {
        zip[30] = 'X';  // the local name, which is skipped
        zip[U32(zip, zip.size() - 22 + 16) + 46] = 'X';
        return zip;
    };
    struct Case {
        const char* what;
        Bytes zip;
        int result;
    };
    const Case cases[] = {
        {"sound", SkinArchive(deflated, crc, data.size()), skin::kExtractOk},
        {"crc off", SkinArchive(deflated, crc ^ 0x80000000u, data.size()), skin::kExtractBadPassword},
        {"stored size one short", SkinArchive(deflated, crc, data.size() - 1), skin::kExtractBadPassword},
        {"stored size one long", SkinArchive(deflated, crc, data.size() + 1), skin::kExtractBadPassword},
        {"data cut short", SkinArchive(Bytes(deflated.begin(), deflated.end() - 9), crc, data.size()),
         skin::kExtractBadPassword},
        {"block of reserved type 3 only", SkinArchive({7}, crc, data.size()), skin::kExtractFailed},
        {"local header past the end", local(SkinArchive(deflated, crc, data.size()), 0x7FFFFF00u),
         skin::kExtractBadPassword},
        {"data past the end", local(SkinArchive(deflated, crc, data.size()), 4), skin::kExtractBadPassword},
        {"stored size 0 but data", SkinArchive(deflated, crc, 0), skin::kExtractBadPassword},
        {"empty entry", SkinArchive(emptyBlock, 0, 0), skin::kExtractFailed},
        {"empty entry that breaks off", SkinArchive({4}, 0, 0), skin::kExtractFailed},
        {"no such entry", renamed(SkinArchive(deflated, crc, data.size())), skin::kExtractFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Write("case.skn", c.zip);
        const std::string out = (dir_ / "out.sk2").string();
        EXPECT_EQ(skin::ExtractArchiveEntry(path, "SKINDATA.SK2", out, ""), c.result);
        EXPECT_EQ(fs::exists(out), c.result == skin::kExtractOk);
        fs::remove(out);
        bool failed = false;
        auto r = Open(path, "", failed);
        EXPECT_EQ(failed, c.result == skin::kExtractFailed);
        if (r) {
            EXPECT_EQ(r->Loaded(), c.result == skin::kExtractOk);
            if (!r->Loaded()) {
                EXPECT_EQ(Contents(*r), "");
            }
        }
    }
    EXPECT_TRUE(TempFolderEmpty());
}

// A plain archive of `data` deflated by zlib at `level` with `strategy`, its sizes and CRC right.
Bytes DeflatedSkin(const Bytes& data, int level, int strategy, int memLevel)
{
    const Bytes packed = test::ZlibDeflate(data, level, strategy, memLevel);
    return SkinArchive(packed, ZlibCrc(data), data.size());
}

// Skin data whose bitmap holds bytes of very unequal frequency with far repeats: rare literal codes
// next to far matches, the inflater's longest symbol sequences. Its colour is 0x00C08040.
Bytes SkinWithSkewedBitmap()
{
    const std::uint32_t width = 500, height = 100, pixelBytes = width * 3 * height;
    Bytes bmp(54 + pixelBytes, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    PutU32(bmp, 2, static_cast<std::uint32_t>(bmp.size()));
    PutU32(bmp, 10, 54);
    PutU32(bmp, 14, 40);
    PutU32(bmp, 18, width);
    PutU32(bmp, 22, height);
    bmp[26] = 1;
    bmp[28] = 24;
    const Bytes pixels = test::RareFarSample(pixelBytes, 150003);
    std::copy(pixels.begin(), pixels.end(), bmp.begin() + 54);
    const Bytes colour = {0x40, 0x80, 0xC0, 0x00};
    Bytes data = {'V', 'A', 'R', 'N', 'E', 'L', 'O', 'S', 'K', 'I', 'N', '2'};
    data.resize(24, 0);
    PutU32(data, 12, 24);
    PutU32(data, 16, 2);
    PutU32(data, 20, 24);
    auto record = [&](const std::string& name, std::uint8_t kind, const Bytes& value) {
        const std::size_t at = data.size();
        data.resize(at + 77, 0);
        std::copy(name.begin(), name.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
        data[at + 64] = kind;
        const std::size_t valueAt = value.empty() ? 0 : at + 77;
        PutU32(data, at + 65, static_cast<std::uint32_t>(valueAt));
        PutU32(data, at + 69, static_cast<std::uint32_t>(value.size()));
        PutU32(data, at + 73, value.empty() ? 0 : static_cast<std::uint32_t>(at + 77 + value.size()));
        data.insert(data.end(), value.begin(), value.end());
    };
    record("SKIN2_TITLEBAR1", 0, bmp);
    record("SKIN2_FORMCOLOR", 1, colour);
    record("", 2, {});
    return data;
}

// Every level and strategy zlib packs with reads back the same values; the inflater once refused
// some of them and the skin fell back unseen as if its password were wrong.
TEST_F(SkinReaderTest, PlainSkinsOfEveryLevelAndStrategyRead)
{
    const Bytes datas[] = {ReadFile(DataPath("full.sk2")), SkinWithSkewedBitmap()};
    for (const Bytes& data : datas) {
        // Level 0 is stored blocks only, which take no Huffman decoding.
        std::string expected;
        {
            skin::Tsk2SkinFileReader r(Write("stored.skn", DeflatedSkin(data, 0, Z_DEFAULT_STRATEGY, 8)), "");
            ASSERT_TRUE(r.Loaded());
            expected = Contents(r);
            ASSERT_EQ(r.GetInt("SKIN2_FORMCOLOR"), 0x00C08040);
        }
        for (int level = 0; level <= 9; ++level)
            for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
                for (int memLevel : {8, 9}) {
                    bool failed = false;
                    auto r =
                        Open(Write("packed.skn", DeflatedSkin(data, level, strategy, memLevel)), "", failed);
                    ASSERT_FALSE(failed) << "level " << level << " strategy " << strategy;
                    EXPECT_TRUE(r->Loaded()) << "level " << level << " strategy " << strategy;
                    EXPECT_TRUE(Contents(*r) == expected) << "level " << level << " strategy " << strategy;
                }
    }
}

// Damage to a plain entry's deflate data that zlib also refuses leaves the reader empty, as a wrong
// password does, and raises nothing: the theme then simply is not ready.
TEST_F(SkinReaderTest, ADamagedPlainEntryLeavesTheReaderEmptyWithoutAnException)
{
    const Bytes data = ReadFile(DataPath("full.sk2"));
    const Bytes good = DeflatedSkin(data, 9, Z_DEFAULT_STRATEGY, 8);
    std::mt19937 rng(17);
    int refusedByZlib = 0;
    for (int round = 0; round < 200; ++round) {
        Bytes zip = good;
        const std::size_t packed = U32(zip, 18);
        // Mostly in the block header's code lengths, where damage breaks the stream.
        const std::size_t at = 42 + rng() % (round % 4 == 0 ? packed : 48);
        zip[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        z_stream z{};
        ASSERT_EQ(inflateInit2(&z, -15), Z_OK);
        Bytes out(data.size() + 1);
        z.next_in = zip.data() + 42;
        z.avail_in = static_cast<uInt>(packed);
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        const int rc = inflate(&z, Z_FINISH);
        const bool zlibRefuses = rc == Z_DATA_ERROR || (rc == Z_BUF_ERROR && z.avail_in == 0);
        inflateEnd(&z);
        if (!zlibRefuses)
            continue;
        ++refusedByZlib;
        const std::string out2 = (dir_ / "out.sk2").string();
        EXPECT_EQ(skin::ExtractArchiveEntry(Write("corrupt.skn", zip), "SKINDATA.SK2", out2, ""),
                  skin::kExtractBadPassword)
            << "round " << round;
        EXPECT_FALSE(fs::exists(out2)) << "round " << round;
        bool failed = false;
        auto r = Open(Write("corrupt.skn", zip), "", failed);
        ASSERT_FALSE(failed) << "round " << round;
        EXPECT_FALSE(r->Loaded()) << "round " << round;
        EXPECT_EQ(Contents(*r), "") << "round " << round;
    }
    EXPECT_GT(refusedByZlib, 20);
    EXPECT_TRUE(TempFolderEmpty());
}

// The stored compressed size bounds what is read and decrypted: an entry claiming fewer bytes
// than its stream needs must not borrow the central directory's bytes to finish, and one claiming
// more than the file holds is damaged.
TEST_F(SkinReaderTest, EntryIsReadNoFurtherThanItsCompressedSize)
{
    for (const char* name : {"small.skn", "encrypted_small.skn"}) {
        Bytes zip = ReadFile(DataPath(name));
        const std::size_t central = U32(zip, zip.size() - 22 + 16);
        PutU32(zip, central + 20, U32(zip, central + 20) - 4);
        bool failed = false;
        auto r = Open(Write("short_entry.skn", zip), kPassword, failed);
        ASSERT_FALSE(failed) << name;
        EXPECT_FALSE(r->Loaded()) << name;
    }
    Bytes zip = ReadFile(DataPath("small.skn"));
    const std::size_t central = U32(zip, zip.size() - 22 + 16);
    for (std::uint32_t size : {static_cast<std::uint32_t>(zip.size()), 0xFFFFFFF0u}) {  // beyond the file
        PutU32(zip, central + 20, size);
        bool failed = false;
        auto r = Open(Write("long_entry.skn", zip), "", failed);
        ASSERT_FALSE(failed) << size;
        EXPECT_FALSE(r->Loaded()) << size;
    }
}

TEST_F(SkinReaderTest, ReadsWithoutATemporaryFolder)
{
    SetEnv(kTempVar, (dir_ / "no such folder").string());
    skin::Tsk2SkinFileReader r(DataPath("full.skn"), "");
    ExpectFullSkinValues(r);
}

TEST_F(SkinReaderTest, ReadsASkinHeldInMemory)
{
    const Bytes zip = ReadFile(DataPath("encrypted.skn"));
    rtl::TReadOnlyMemoryStream in(zip.data(), static_cast<std::int64_t>(zip.size()));
    skin::Tsk2SkinFileReader r(in, kPassword);
    ExpectFullSkinValues(r);
    const Bytes junk = {'S', 'K', 0, 0};
    rtl::TReadOnlyMemoryStream bad(junk.data(), static_cast<std::int64_t>(junk.size()));
    EXPECT_THROW(skin::Tsk2SkinFileReader(bad, ""), rtl::Exception);
}

// ---- rejects ----

TEST_F(SkinReaderTest, RefusesUnusableArchives)
{
    for (const char* name : {"plain_zip.zip", "with_comment.skn", "other_entry.skn", "no_such_file.skn",
                             "looped_chain.skn", "value_outside.skn", "bad_bitmap.skn", "short_header.skn"}) {
        bool failed = false;
        auto r = Open(DataPath(name), "", failed);
        EXPECT_TRUE(failed) << name;
    }
    EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(SkinReaderTest, TruncatedArchivesAreRefused)
{
    const Bytes zip = ReadFile(DataPath("small.skn"));
    for (std::size_t cut = 0; cut < zip.size(); ++cut) {
        bool failed = false;
        auto r = Open(Write("cut.skn", Bytes(zip.begin(), zip.begin() + static_cast<std::ptrdiff_t>(cut))),
                      "", failed);
        EXPECT_TRUE(failed) << "cut at " << cut;
    }
    EXPECT_TRUE(TempFolderEmpty());
}

// Damaged bytes anywhere, in a plain and an encrypted archive. Each ends one of three ways: refused
// with the reader's message; read as not loaded with empty lists (a damaged size or encryption
// header); or read with the original values, since the entry's CRC-32 guards its data and every
// header field the reader uses is either checked or makes it fail. Never a crash, and no temporary
// file survives.
TEST_F(SkinReaderTest, DamagedArchivesAreRefusedOrReadTheirOwnValues)
{
    const Bytes zips[2] = {ReadFile(DataPath("encrypted_small.skn")), ReadFile(DataPath("small.skn"))};
    const std::string passwords[2] = {kPassword, ""};
    std::string originals[2];
    for (int k = 0; k < 2; ++k) {
        skin::Tsk2SkinFileReader r(DataPath(k ? "small.skn" : "encrypted_small.skn"), passwords[k]);
        ASSERT_TRUE(r.Loaded());
        originals[k] = Contents(r);
    }
    std::mt19937 rng(99);
    for (int round = 0; round < 600; ++round) {
        const int k = round % 2;
        Bytes zip = zips[k];
        const int flips = 1 + static_cast<int>(rng() % 3);
        for (int i = 0; i < flips; ++i)
            zip[rng() % zip.size()] = static_cast<std::uint8_t>(rng());
        bool failed = false;
        auto r = Open(Write("damaged.skn", zip), passwords[k], failed);
        if (failed)
            continue;
        // Compared as a whole, so a failure names the round, not the bytes.
        const std::string contents = Contents(*r);
        if (!r->Loaded()) {
            EXPECT_EQ(contents.size(), 0u) << "round " << round << ": not loaded, yet not empty";
        } else {
            EXPECT_TRUE(contents == originals[k])
                << "round " << round << (k ? " (plain)" : " (encrypted)") << ": damage read as other values";
        }
    }
    EXPECT_TRUE(TempFolderEmpty());
}

}  // namespace
