// Tests of the resstore build tool: the compiled description holds a store whose items extract
// byte-exact, and its item blocks carry the sizes the design-time path would store.
#include "app/zResStorage.h"
#include "platform/rtl/FormStream.h"
#include "tests/app/LzhTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;
using lzhtest::Bytes;
using lzhtest::TempDir;
using lzhtest::WriteFile;

void WriteFile(const std::string& path, const std::string& s)
{
    std::ofstream f(path, std::ios::binary);
    f << s;
}

int Tool(const std::string& args, std::string* out = nullptr)
{
    FILE* pipe = popen((std::string(RESSTORE_PATH) + " " + args + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char buf[4096];
    std::string text;
    while (std::fgets(buf, sizeof buf, pipe) != nullptr)
        text += buf;
    if (out != nullptr)
        *out = text;
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(resstore, CompiledItemsExtractByteExactWithTheSizesOfTheDesignTimePath)
{
    TempDir dir;
    const Bytes exe = lzhtest::BinarySample(200000, 1);
    const Bytes rtf = lzhtest::TextSample(500000, 2);
    WriteFile(dir.File("Varnelo.exe"), exe);
    WriteFile(dir.File("Varnelo.rtf"), rtf);
    std::string exeItem, rtfItem;
    ASSERT_EQ(Tool("item " + dir.File("Varnelo.exe"), &exeItem), 0) << exeItem;
    ASSERT_EQ(Tool("item " + dir.File("Varnelo.rtf"), &rtfItem), 0) << rtfItem;
    rtfItem = rtfItem.substr(0, rtfItem.rfind("end")) + "end>\n";
    WriteFile(dir.File("form.txt"),
              "object Form1: TComponent\n  object DataStore: TzResStorage\n    Items = <\n" + exeItem +
                  rtfItem + "  end\nend\n");
    std::string log;
    ASSERT_EQ(Tool("compile " + dir.File("form.txt") + " " + dir.File("form.bin"), &log), 0) << log;

    rtl::RegisterClass(app::TzResStorage::StaticClassInfo());
    rtl::TMemoryStream form;
    form.LoadFromFile(dir.File("form.bin"));
    auto root = std::make_unique<rtl::TComponent>(nullptr);
    rtl::ReadComponentRes(form, root.get());
    auto* store = dynamic_cast<app::TzResStorage*>(root->FindComponent("DataStore"));
    ASSERT_NE(store, nullptr);
    ASSERT_EQ(store->Items()->Count(), 2);
    EXPECT_EQ(store->Item(0)->Name(), "Varnelo.exe");
    EXPECT_EQ(store->Item(1)->FileName(), "Varnelo.rtf");
    EXPECT_EQ(store->Item(1)->FileSize(), 500000);

    // The same bytes as naming the file at design time gives.
    auto design = std::make_unique<rtl::TComponent>(nullptr);
    auto* designStore = new app::TzResStorage(design.get());
    designStore->SetDesigning(true);
    designStore->Items()->Add()->SetFileName(dir.File("Varnelo.rtf"));
    EXPECT_EQ(store->Item(1)->Data().Bytes(), designStore->Item(0)->Data().Bytes());
    EXPECT_NE(exeItem.find("DataSize = " + std::to_string(store->Item(0)->DataSize())), std::string::npos);

    rtl::TMemoryStream out;
    store->Item(0)->ExtractToStream(out);
    EXPECT_EQ(out.Bytes(), exe);
}

TEST(resstore, PackAndUnpackRoundTripAndDamageIsReported)
{
    TempDir dir;
    const Bytes data = lzhtest::RunsSample(100000, 3);
    WriteFile(dir.File("in.bin"), data);
    std::string log;
    ASSERT_EQ(Tool("pack " + dir.File("in.bin") + " " + dir.File("in.lzh"), &log), 0) << log;
    ASSERT_EQ(Tool("unpack " + dir.File("in.lzh") + " " + dir.File("out.bin"), &log), 0) << log;
    EXPECT_EQ(lzhtest::ReadFile(dir.File("out.bin")), data);

    WriteFile(dir.File("bad.lzh"), Bytes{0x10, 0, 0, 0, 0, 0});
    EXPECT_EQ(Tool("unpack " + dir.File("bad.lzh") + " " + dir.File("bad.bin"), &log), 1);
    EXPECT_NE(log.find("Compressed file is corrupt"), std::string::npos) << log;
    EXPECT_FALSE(std::filesystem::exists(dir.File("bad.bin"))) << "an empty output was left behind";

    // Cut after some output was already written: no partial file stays behind either.
    const Bytes packed = lzhtest::ReadFile(dir.File("in.lzh"));
    ASSERT_GT(packed.size(), 64u);
    WriteFile(dir.File("cut.lzh"),
              Bytes(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packed.size() / 2)));
    EXPECT_EQ(Tool("unpack " + dir.File("cut.lzh") + " " + dir.File("cut.bin"), &log), 1) << log;
    EXPECT_FALSE(std::filesystem::exists(dir.File("cut.bin"))) << "a partial output was left behind";
    EXPECT_EQ(Tool("compile " + dir.File("missing.txt") + " " + dir.File("x.bin"), &log), 1);
    EXPECT_EQ(Tool("frobnicate", &log), 2);
}

}  // namespace
