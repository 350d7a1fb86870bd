// Tests of the stored-file store: streaming through form descriptions, the design-time and
// run-time property rules, duplicate names, damaged data and byte-exact extraction.
#include "app/zResStorage.h"

#include "app/LHARoutines.h"
#include "platform/rtl/FormStream.h"
#include "platform/rtl/FormText.h"
#include "tests/app/LzhTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;
using app::TPackedItem;
using app::TzResStorage;
using lzhtest::Bytes;
using lzhtest::ReadFile;
using lzhtest::TempDir;
using lzhtest::WriteFile;

// A form with a store on it, as the main window holds one.
struct Form {
    Form()
    {
        rtl::RegisterClass(app::TzResStorage::StaticClassInfo());
        root = std::make_unique<rtl::TComponent>(nullptr);
        root->SetName("Form1");
    }
    TzResStorage* AddStore()
    {
        auto* store = new TzResStorage(root.get());
        store->SetName("DataStore");
        return store;
    }
    TzResStorage* Store() const { return dynamic_cast<TzResStorage*>(root->FindComponent("DataStore")); }
    std::unique_ptr<rtl::TComponent> root;
};

rtl::TMemoryStream WriteForm(rtl::TComponent* root)
{
    rtl::TMemoryStream stream;
    rtl::WriteComponentRes(stream, root);
    stream.SetPosition(0);
    return stream;
}

std::string FormText(rtl::TMemoryStream& binary)
{
    binary.SetPosition(0);
    rtl::TStringStream text;
    rtl::ObjectBinaryToText(binary, text);
    binary.SetPosition(0);
    return text.DataString();
}

// Builds a store at design time from files, the way the form designer does.
void DesignItem(TzResStorage& store, const std::string& path)
{
    TPackedItem* item = store.Items()->Add();
    item->SetFileName(path);
}

Bytes RtfLike(std::size_t size)
{
    Bytes b;
    const std::string head = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Tahoma;}}\\pard ";
    b.insert(b.end(), head.begin(), head.end());
    const Bytes text = lzhtest::TextSample(size, 91);
    b.insert(b.end(), text.begin(), text.end());
    b.resize(size - 1);
    b.push_back('}');
    return b;
}

// ---- round trips through the form stream

TEST(zResStorageStreaming, DesignTimeStoreReadsBackAtRunTimeAndExtractsByteExact)
{
    TempDir dir;
    const Bytes exe = lzhtest::BinarySample(300000, 5);
    const Bytes rtf = RtfLike(9259428);
    WriteFile(dir.File("Varnelo.exe"), exe);
    WriteFile(dir.File("Varnelo.rtf"), rtf);

    Form design;
    design.root->SetDesigning(true);
    TzResStorage* store = design.AddStore();
    store->SetDesigning(true);
    DesignItem(*store, dir.File("Varnelo.exe"));
    DesignItem(*store, dir.File("Varnelo.rtf"));
    ASSERT_EQ(store->Items()->Count(), 2);
    EXPECT_EQ(store->Item(0)->Name(), "Varnelo.exe");
    EXPECT_EQ(store->Item(1)->Name(), "Varnelo.rtf");
    EXPECT_EQ(store->Item(1)->FileName(), dir.File("Varnelo.rtf"));  // full path at design time
    EXPECT_EQ(store->Item(1)->FileSize(), 9259428);
    rtl::TMemoryStream form = WriteForm(design.root.get());

    Form run;
    rtl::ReadComponentRes(form, run.root.get());
    TzResStorage* loaded = run.Store();
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->Items()->Count(), 2);
    const TPackedItem* readme = loaded->Item(1);
    EXPECT_EQ(readme->Name(), "Varnelo.rtf");
    EXPECT_EQ(readme->FileName(), "Varnelo.rtf");  // bare name at run time
    EXPECT_EQ(readme->FileSize(), 9259428);
    EXPECT_EQ(readme->DataSize(), store->Item(1)->DataSize());
    EXPECT_EQ(loaded->Size(),
              store->Item(0)->DataSize() + static_cast<std::int64_t>(store->Item(1)->DataSize()));

    TempDir out;
    loaded->Item(0)->ExtractToFile(out.File("Varnelo.exe"));
    loaded->Item(1)->ExtractToFile(out.File("Varnelo.rtf"));
    EXPECT_EQ(ReadFile(out.File("Varnelo.exe")), exe);
    const Bytes extracted = ReadFile(out.File("Varnelo.rtf"));
    EXPECT_EQ(extracted.size(), 9259428u);
    EXPECT_EQ(extracted, rtf);
}

TEST(zResStorageStreaming, ItemPropertiesAreWrittenInOrderWithResDataAsIs)
{
    Form design;
    TzResStorage* store = design.AddStore();
    TPackedItem* item = store->Items()->Add();
    item->SetName("Varnelo.rtf");
    const Bytes content = lzhtest::TextSample(70000, 3);
    rtl::TReadOnlyMemoryStream src(content.data(), static_cast<std::int64_t>(content.size()));
    item->CompressFromStream(src);
    rtl::TMemoryStream form = WriteForm(design.root.get());
    const std::string text = FormText(form);

    const auto at = [&](const std::string& s) { return text.find(s); };
    ASSERT_NE(at("StoreMode = smStore"), std::string::npos) << text.substr(0, 400);
    ASSERT_NE(at("DataSize = " + std::to_string(item->DataSize())), std::string::npos);
    ASSERT_NE(at("FileSize = 70000"), std::string::npos);
    ASSERT_NE(at("Name = 'Varnelo.rtf'"), std::string::npos);
    ASSERT_NE(at("ResData = {"), std::string::npos);
    EXPECT_LT(at("StoreMode"), at("DataSize"));
    EXPECT_LT(at("DataSize"), at("FileSize"));
    EXPECT_LT(at("FileSize"), at("Name = 'Varnelo.rtf'"));
    EXPECT_LT(at("Name = 'Varnelo.rtf'"), at("ResData"));

    // In the binary stream: "ResData", the binary tag, a 32-bit count, then exactly the data.
    const Bytes& bin = form.Bytes();
    const std::string key = "\x07ResData";
    const auto pos = std::search(bin.begin(), bin.end(), key.begin(), key.end());
    ASSERT_NE(pos, bin.end());
    std::size_t p = static_cast<std::size_t>(pos - bin.begin()) + key.size();
    ASSERT_EQ(bin[p], rtl::vaBinary);
    const std::uint32_t count =
        bin[p + 1] | (bin[p + 2] << 8) | (bin[p + 3] << 16) | (static_cast<std::uint32_t>(bin[p + 4]) << 24);
    ASSERT_EQ(count, static_cast<std::uint32_t>(item->DataSize()));
    const Bytes& data = item->Data().Bytes();
    EXPECT_TRUE(std::equal(data.begin(), data.end(), bin.begin() + static_cast<std::ptrdiff_t>(p + 5)));
    // The data is the codec's own form: the uncompressed size first.
    EXPECT_EQ(data[0] | (data[1] << 8) | (data[2] << 16), 70000);
}

TEST(zResStorageStreaming, FileSizeUsesTheSmallestIntegerForm)
{
    Form design;
    TzResStorage* store = design.AddStore();
    const std::pair<std::size_t, rtl::TValueType> cases[] = {
        {100, rtl::vaInt8}, {1000, rtl::vaInt16}, {70000, rtl::vaInt32}};
    for (const auto& [size, tag] : cases) {
        TPackedItem* item = store->Items()->Add();
        item->SetName("f" + std::to_string(size));
        const Bytes content = lzhtest::TextSample(size, 1);
        rtl::TReadOnlyMemoryStream src(content.data(), static_cast<std::int64_t>(size));
        item->CompressFromStream(src);
    }
    rtl::TMemoryStream form = WriteForm(design.root.get());
    const Bytes& bin = form.Bytes();
    const std::string key =
        "\x08"
        "FileSize";
    auto it = bin.begin();
    for (const auto& c : cases) {
        it = std::search(it, bin.end(), key.begin(), key.end());
        ASSERT_NE(it, bin.end());
        it += static_cast<std::ptrdiff_t>(key.size());
        EXPECT_EQ(*it, c.second) << "file size " << c.first;
    }
}

TEST(zResStorageStreaming, StoredSizeDataSizeAndStoreModeAreReadAndDropped)
{
    app::RegisterResDataDirective();
    TempDir dir;
    const Bytes content = lzhtest::TextSample(5000, 8);
    WriteFile(dir.File("a.txt"), content);
    const std::string text =
        "object Form1: TComponent\n"
        "  object DataStore: TzResStorage\n"
        "    Items = <\n"
        "      item\n"
        "        StoreMode = smStore\n"
        "        DataSize = 999999\n"
        "        FileSize = 5000\n"
        "        Name = 'a.txt'\n"
        "        FileName = 'C:\\Build\\Payload\\a.txt'\n"
        "        ResData = {@lzh: a.txt}\n"
        "      end>\n"
        "    Size = 123456789\n"
        "  end\n"
        "end\n";
    rtl::TStringStream in(text);
    in.SetPosition(0);
    rtl::TMemoryStream form;
    rtl::ObjectTextToBinary(in, form, dir.File(""));
    form.SetPosition(0);
    Form run;
    rtl::ReadComponentRes(form, run.root.get());
    TzResStorage* store = run.Store();
    ASSERT_NE(store, nullptr);
    const TPackedItem* item = store->Item(0);
    EXPECT_EQ(item->StoreMode(), app::smStore);
    EXPECT_NE(item->DataSize(), 999999);
    EXPECT_EQ(store->Size(), item->DataSize());
    EXPECT_EQ(item->FileName(), "a.txt");
    EXPECT_EQ(item->FileSize(), 5000);
    rtl::TMemoryStream out;
    store->Item(0)->ExtractToStream(out);
    EXPECT_EQ(out.Bytes(), content);
}

TEST(zResStorageStreaming, UnixStyleDesignPathAlsoReadsBackBare)
{
    rtl::RegisterClass(app::TzResStorage::StaticClassInfo());
    const std::string text =
        "object Form1: TComponent\n"
        "  object DataStore: TzResStorage\n"
        "    Items = <\n"
        "      item\n"
        "        Name = 'x.bin'\n"
        "        FileName = '/home/build/payload/x.bin'\n"
        "      end>\n"
        "  end\n"
        "end\n";
    rtl::TStringStream in(text);
    in.SetPosition(0);
    rtl::TMemoryStream form;
    rtl::ObjectTextToBinary(in, form);
    form.SetPosition(0);
    Form run;
    rtl::ReadComponentRes(form, run.root.get());
    EXPECT_EQ(run.Store()->Item(0)->FileName(), "x.bin");
    EXPECT_EQ(run.Store()->Item(0)->DataSize(), 0);
}

TEST(zResStorageStreaming, EmptyItemWritesNoResDataAndExtractsToAnEmptyFile)
{
    Form design;
    TzResStorage* store = design.AddStore();
    store->Items()->Add()->SetName("empty.txt");
    rtl::TMemoryStream form = WriteForm(design.root.get());
    EXPECT_EQ(FormText(form).find("ResData"), std::string::npos);
    Form run;
    rtl::ReadComponentRes(form, run.root.get());
    TempDir out;
    WriteFile(out.File("empty.txt"), Bytes(100, 'z'));  // an older copy is replaced
    run.Store()->Item(0)->ExtractToFile(out.File("empty.txt"));
    EXPECT_TRUE(fs::exists(out.File("empty.txt")));
    EXPECT_EQ(fs::file_size(out.File("empty.txt")), 0u);
}

// ---- names

TEST(zResStorageNames, DuplicateNameWithOtherCaseIsRejectedAndNamed)
{
    Form f;
    TzResStorage* store = f.AddStore();
    store->Items()->Add()->SetName("Readme.rtf");
    TPackedItem* second = store->Items()->Add();
    second->SetName("other.txt");
    try {
        second->SetName("README.RTF");
        FAIL() << "duplicate accepted";
    } catch (const app::ERessourceStoreError& e) {
        EXPECT_EQ(e.Message(), "Item name \"README.RTF\" already exists !");
    }
    EXPECT_EQ(second->Name(), "other.txt");
    second->SetName("other.txt");  // its own name is no clash
    second->SetName("OTHER.TXT");
    EXPECT_EQ(second->Name(), "OTHER.TXT");
}

TEST(zResStorageNames, DuplicateNamesInAStoredFormAreRejected)
{
    rtl::RegisterClass(app::TzResStorage::StaticClassInfo());
    const std::string text =
        "object Form1: TComponent\n"
        "  object DataStore: TzResStorage\n"
        "    Items = <\n"
        "      item\n"
        "        Name = 'Readme.rtf'\n"
        "      end\n"
        "      item\n"
        "        Name = 'README.RTF'\n"
        "      end>\n"
        "  end\n"
        "end\n";
    rtl::TStringStream in(text);
    in.SetPosition(0);
    rtl::TMemoryStream form;
    rtl::ObjectTextToBinary(in, form);
    form.SetPosition(0);
    Form run;
    try {
        rtl::ReadComponentRes(form, run.root.get());
        FAIL() << "duplicate accepted";
    } catch (const app::ERessourceStoreError& e) {
        EXPECT_NE(e.Message().find("Item name \"README.RTF\" already exists !"), std::string::npos)
            << e.Message();
    }
}

TEST(zResStorageNames, LookupByIndexAndByNameIgnoringCase)
{
    Form f;
    TzResStorage* store = f.AddStore();
    store->Items()->Add()->SetName("Varnelo.exe");
    store->Items()->Add()->SetName("Varnelo.rtf");
    EXPECT_EQ(store->Item(1)->Name(), "Varnelo.rtf");
    EXPECT_EQ(store->FindItem("VARNELO.EXE"), store->Item(0));
    EXPECT_EQ(store->FindItem("missing"), nullptr);
    EXPECT_THROW(store->Item(2), rtl::EListError);
    EXPECT_THROW(store->Item(-1), rtl::EListError);
}

// ---- design-time and run-time rules

TEST(zResStorageRules, NamingAFileAtDesignTimeNamesAndCompressesTheItem)
{
    TempDir dir;
    WriteFile(dir.File("one.txt"), lzhtest::TextSample(3000, 1));
    WriteFile(dir.File("two.txt"), lzhtest::TextSample(4000, 2));
    Form f;
    TzResStorage* store = f.AddStore();
    store->SetDesigning(true);
    TPackedItem* item = store->Items()->Add();
    EXPECT_EQ(item->DisplayName(), "TPackedItem");
    item->SetFileName(dir.File("one.txt"));
    EXPECT_EQ(item->Name(), "one.txt");
    EXPECT_EQ(item->DisplayName(), "one.txt");
    EXPECT_EQ(item->FileSize(), 3000);
    item->SetName("custom");
    item->SetFileName(dir.File("one.txt"));  // same path: the chosen name stays
    EXPECT_EQ(item->Name(), "custom");
    item->SetFileName(dir.File("two.txt"));  // new path: named after the file
    EXPECT_EQ(item->Name(), "two.txt");
    EXPECT_EQ(item->FileSize(), 4000);
    item->SetFileName(dir.File("absent.txt"));  // a missing file changes nothing
    EXPECT_EQ(item->FileName(), dir.File("two.txt"));
}

TEST(zResStorageRules, DesignTimeLoadOfAClashingNameLeavesTheItemUnchanged)
{
    TempDir dir;
    WriteFile(dir.File("a.txt"), lzhtest::TextSample(100, 1));
    Form f;
    TzResStorage* store = f.AddStore();
    store->SetDesigning(true);
    store->Items()->Add()->SetName("A.TXT");
    TPackedItem* item = store->Items()->Add();
    EXPECT_THROW(item->SetFileName(dir.File("a.txt")), app::ERessourceStoreError);
    EXPECT_EQ(item->Data().Size(), 0);
    EXPECT_EQ(item->FileName(), "");
}

TEST(zResStorageRules, RunTimeIgnoresFileNameAndFileSizeOutsideLoading)
{
    TempDir dir;
    WriteFile(dir.File("a.txt"), lzhtest::TextSample(100, 1));
    Form f;
    TzResStorage* store = f.AddStore();
    TPackedItem* item = store->Items()->Add();
    item->SetFileName(dir.File("a.txt"));
    item->SetFileSize(12345);
    EXPECT_EQ(item->FileName(), "");
    EXPECT_EQ(item->FileSize(), 0);
    EXPECT_EQ(item->Data().Size(), 0);
    item->SetDataSize(77);
    EXPECT_EQ(item->DataSize(), 0);
    store->SetSize(55);
    EXPECT_EQ(store->Size(), 0);
}

TEST(zResStorageRules, AssignCopiesNameAndDataButNotFileNameOrFileSize)
{
    Form f;
    TzResStorage* a = f.AddStore();
    auto* b = new TzResStorage(f.root.get());
    b->SetName("Other");
    TPackedItem* src = a->Items()->Add();
    src->SetName("x.txt");
    const Bytes content = lzhtest::TextSample(2000, 4);
    rtl::TReadOnlyMemoryStream s(content.data(), static_cast<std::int64_t>(content.size()));
    src->CompressFromStream(s);

    b->SetItems(a->Items());
    ASSERT_EQ(b->Items()->Count(), 1);
    TPackedItem* copy = b->Item(0);
    EXPECT_EQ(copy->Name(), "x.txt");
    EXPECT_EQ(copy->Data().Bytes(), src->Data().Bytes());
    EXPECT_EQ(copy->FileSize(), 0);
    rtl::TMemoryStream out;
    copy->ExtractToStream(out);
    EXPECT_EQ(out.Bytes(), content);

    TPackedItem* clash = b->Items()->Add();
    clash->SetName("y.txt");
    // "x.txt" is taken by the copy: the uniqueness test applies and nothing is copied.
    EXPECT_THROW(clash->Assign(a->Item(0)), app::ERessourceStoreError);
    EXPECT_EQ(clash->Name(), "y.txt");
    EXPECT_EQ(clash->Data().Size(), 0);
}

// ---- damaged data

TEST(zResStorageDamage, CorruptResDataRaisesCorruptFileAndLeavesNoPartialFile)
{
    Form f;
    TzResStorage* store = f.AddStore();
    TPackedItem* item = store->Items()->Add();
    item->SetName("Varnelo.exe");
    const Bytes content = lzhtest::BinarySample(100000, 6);
    rtl::TReadOnlyMemoryStream s(content.data(), static_cast<std::int64_t>(content.size()));
    item->CompressFromStream(s);
    rtl::TMemoryStream form = WriteForm(f.root.get());

    // Damage the copy inside the form: over-full code-length table right after the size.
    Bytes bytes = form.Bytes();
    const std::string key = "\x07ResData";
    const auto pos = std::search(bytes.begin(), bytes.end(), key.begin(), key.end());
    ASSERT_NE(pos, bytes.end());
    const std::size_t data = static_cast<std::size_t>(pos - bytes.begin()) + key.size() + 5;
    // block size, then 3 code-length lengths of 1: 16 bits, 00011, 001 001 001, 00.
    const Bytes bad = {0x00, 0x10, 0x19, 0x24, 0x00};
    std::copy(bad.begin(), bad.end(), bytes.begin() + static_cast<std::ptrdiff_t>(data + 4));
    rtl::TReadOnlyMemoryStream damaged(bytes.data(), static_cast<std::int64_t>(bytes.size()));

    Form run;
    rtl::ReadComponentRes(damaged, run.root.get());
    TempDir out;
    try {
        run.Store()->Item(0)->ExtractToFile(out.File("Varnelo.exe"));
        FAIL() << "corrupt data extracted";
    } catch (const app::ECorruptFile& e) {
        EXPECT_EQ(e.Message(), "Compressed file is corrupt");
    }
    EXPECT_FALSE(fs::exists(out.File("Varnelo.exe")));
}

TEST(zResStorageDamage, TruncatedResDataRaisesCorruptFile)
{
    Form f;
    TzResStorage* store = f.AddStore();
    TPackedItem* item = store->Items()->Add();
    const Bytes content = lzhtest::TextSample(50000, 6);
    rtl::TReadOnlyMemoryStream s(content.data(), static_cast<std::int64_t>(content.size()));
    item->CompressFromStream(s);
    item->Data().SetSize(item->Data().Size() / 2);
    rtl::TMemoryStream out;
    EXPECT_THROW(item->ExtractToStream(out), app::ECorruptFile);
}

TEST(zResStorageDamage, UncreatableTargetRaisesTheFileCreationError)
{
    Form f;
    TzResStorage* store = f.AddStore();
    TPackedItem* item = store->Items()->Add();
    item->SetName("x");
    TempDir dir;
    EXPECT_THROW(item->ExtractToFile(dir.File("no-such-folder/x")), rtl::EFCreateError);
}

}  // namespace
