// Tests of the file services: temporary folder and names, existence and removal, the program's path.
#include "platform/rtl/Files.h"

#include "platform/rtl/Streams.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <string>

using namespace rtl;
namespace fs = std::filesystem;

TEST(TempFiles, TempFolderExistsAndEndsInASeparator)
{
    const std::string folder = TempFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(folder.back() == '\\' || folder.back() == '/') << folder;
    EXPECT_TRUE(fs::is_directory(fs::path(folder))) << folder;
}

TEST(TempFiles, CreatedFilesAreEmptyDistinctAndCarryThePrefix)
{
    const std::string folder = TempFolder();
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        const std::string name = CreateTempFile(folder, "vodirad");
        ASSERT_FALSE(name.empty());
        EXPECT_TRUE(names.insert(name).second) << "a name was handed out twice: " << name;
        EXPECT_TRUE(FileExists(name));
        EXPECT_EQ(fs::file_size(fs::path(name)), 0u);
        // Windows keeps the first three characters of the prefix.
        EXPECT_EQ(fs::path(name).filename().string().rfind("vod", 0), 0u) << name;
    }
    // Without a trailing separator the file still lands inside the folder.
    const std::string bare = folder.substr(0, folder.size() - 1);
    const std::string inBare = CreateTempFile(bare, "vodirad");
    ASSERT_FALSE(inBare.empty());
    EXPECT_EQ(fs::path(inBare).parent_path(), fs::path(bare));
    names.insert(inBare);
    for (const auto& name : names)
        EXPECT_TRUE(RemoveFile(name)) << name;
}

TEST(TempFiles, MissingFolderGivesNoName)
{
    EXPECT_EQ(CreateTempFile(TempFolder() + "no-such-folder-7f3a/", "vodirad"), "");
}

TEST(TempFiles, GuidsAreBracedAndFresh)
{
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string g = NewGuidString();
        ASSERT_EQ(g.size(), 38u) << g;
        for (std::size_t i = 0; i < g.size(); ++i) {
            if (i == 0)
                EXPECT_EQ(g[i], '{');
            else if (i == 37)
                EXPECT_EQ(g[i], '}');
            else if (i == 9 || i == 14 || i == 19 || i == 24)
                EXPECT_EQ(g[i], '-');
            else
                EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(g[i]))) << g;
        }
        EXPECT_TRUE(seen.insert(g).second) << g;
    }
}

TEST(Files, ExistenceIsForFilesOnlyAndRemovalSaysWhetherItRemoved)
{
    const std::string name = TempFolder() + "rtl_files_test_probe";
    RemoveFile(name);
    EXPECT_FALSE(FileExists(name));
    EXPECT_FALSE(RemoveFile(name)) << "nothing to remove";
    {
        TFileStream f(name, fmCreate);
        f.WriteBuffer("x", 1);
    }
    EXPECT_TRUE(FileExists(name));
    EXPECT_FALSE(FileExists(TempFolder())) << "a folder is not a file";
    EXPECT_TRUE(RemoveFile(name));
    EXPECT_FALSE(fs::exists(fs::path(name)));
}

TEST(Files, ExecutableFileNameIsThisTestProgram)
{
    const std::string exe = ExecutableFileName();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(FileExists(exe)) << exe;
    EXPECT_EQ(fs::path(exe).stem().string(), "rtl_files_test") << exe;
}
