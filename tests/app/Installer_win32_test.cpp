// The install transaction in a real folder: afterwards the folder holds either all the new files
// or every old one as it was, and never a file of the installer's own.
#include "app/Installer.h"

#include "platform/rtl/Streams.h"
#include "platform/rtl/Win32.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace app;

namespace {

constexpr char kProgram[] = "MZ the new program, build 143";
constexpr char kReadme[] = "{\\rtf1 the new README}";

// Name -> contents of every entry of a folder; a subfolder reads as "<folder>".
std::map<std::string, std::string> Listing(const std::string& folder)
{
    std::map<std::string, std::string> out;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return out;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[name] = "<folder>";
            continue;
        }
        rtl::TMemoryStream bytes;
        bytes.LoadFromFile(folder + name);
        out[name] = std::string(bytes.Bytes().begin(), bytes.Bytes().end());
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return out;
}

void WriteFile(const std::string& path, const std::string& text)
{
    rtl::TFileStream file(path, rtl::fmCreate);
    file.WriteBuffer(text.data(), static_cast<std::int32_t>(text.size()));
}

class Install : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH + 1] = {};
        ::GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "va-install-" + std::to_string(::GetCurrentProcessId()) + "\\";
        ::CreateDirectoryA(folder_.c_str(), nullptr);
        Add("Varnelo.exe", kProgram);
        Add("Varnelo.rtf", kReadme);
    }
    void TearDown() override { RemoveTree(folder_); }

    void Add(const std::string& name, const std::string& content)
    {
        TPackedItem* item = store_.Items()->Add();
        item->SetName(name);
        rtl::TStringStream source(content);
        item->CompressFromStream(source);
    }
    static void RemoveTree(const std::string& folder)
    {
        for (const auto& [name, content] : Listing(folder)) {
            if (content == "<folder>")
                RemoveTree(folder + name + "\\");
            else
                ::DeleteFileA((folder + name).c_str());
        }
        ::RemoveDirectoryA(folder.c_str());
    }

    TzResStorage store_{nullptr};
    std::string folder_;
};

TEST_F(Install, WritesEveryItemAndNothingElse)
{
    const std::vector<std::string> targets = InstallStoredFiles(store_, folder_);
    EXPECT_EQ(targets, (std::vector<std::string>{folder_ + "Varnelo.exe", folder_ + "Varnelo.rtf"}));
    EXPECT_EQ(Listing(folder_),
              (std::map<std::string, std::string>{{"Varnelo.exe", kProgram}, {"Varnelo.rtf", kReadme}}));
}

TEST_F(Install, ReplacesTheOldFilesAndKeepsTheOthers)
{
    WriteFile(folder_ + "Varnelo.exe", "old program");
    WriteFile(folder_ + "Varnelo.rtf", "old README");
    WriteFile(folder_ + "jdq.dll", "vendor");
    InstallStoredFiles(store_, folder_);
    EXPECT_EQ(Listing(folder_),
              (std::map<std::string, std::string>{
                  {"Varnelo.exe", kProgram}, {"Varnelo.rtf", kReadme}, {"jdq.dll", "vendor"}}));
}

// A read-only old copy is deleted after all: nothing but the new files stays, no va~*.tmp.
TEST_F(Install, ReadOnlyOldCopiesLeaveNothingBehind)
{
    for (const char* name : {"Varnelo.exe", "Varnelo.rtf"}) {
        WriteFile(folder_ + name, "old");
        ::SetFileAttributesA((folder_ + name).c_str(), FILE_ATTRIBUTE_READONLY);
    }
    std::vector<TLeftover> leftovers;
    InstallStoredFiles(store_, folder_, &leftovers);
    EXPECT_TRUE(leftovers.empty());
    EXPECT_EQ(Listing(folder_),
              (std::map<std::string, std::string>{{"Varnelo.exe", kProgram}, {"Varnelo.rtf", kReadme}}));
}

// A copy that stays (a program still running, which only the system's loader can hold so) is
// named with its place and when it goes.
TEST(InstallMessage, ALeftoverIsNamedWithItsPlaceAndWhenItGoes)
{
    const TLeftover queued{"C:\\Zantic\\Varnelo.exe", "C:\\Zantic\\va~1A.tmp", true};
    const TLeftover kept{"C:\\Zantic\\Varnelo.exe", "C:\\Zantic\\va~1A.tmp", false};
    for (const TLeftover& left : {queued, kept}) {
        const std::string text = LeftoverMessage(left);
        EXPECT_NE(text.find("Varnelo.exe"), std::string::npos) << text;
        EXPECT_NE(text.find("C:\\Zantic\\va~1A.tmp"), std::string::npos) << text;
        EXPECT_EQ(text.find("until Windows restarts") != std::string::npos, left.Queued) << text;
    }
    const std::string record =
        RecordFailureMessage("C:\\Zantic\\", "Kestrelon", "Unable to write to Kestrelon");
    EXPECT_NE(record.find("files are in place in C:\\Zantic\\"), std::string::npos) << record;
    EXPECT_NE(record.find("could not be recorded in Kestrelon"), std::string::npos) << record;
    EXPECT_NE(record.find("Unable to write to Kestrelon"), std::string::npos) << record;
}

// Each case leaves a folder as a user could have it; the install fails and changes nothing.
TEST_F(Install, AFailureAtAnyFileLeavesEveryOldFileAsItWas)
{
    struct Case {
        const char* what;
        bool readmeIsAFolder;
        const char* held;  // a file kept open without sharing, or nullptr
        DWORD code;
    };
    const Case cases[] = {
        {"the README held open", false, "Varnelo.rtf", ERROR_SHARING_VIOLATION},
        {"the program held open", false, "Varnelo.exe", ERROR_SHARING_VIOLATION},
        {"a folder named like the README", true, nullptr, ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(folder_ + "Varnelo.exe", "old program");
        if (c.readmeIsAFolder) {
            ::CreateDirectoryA((folder_ + "Varnelo.rtf").c_str(), nullptr);
            WriteFile(folder_ + "Varnelo.rtf\\notes.txt", "the user's notes");
        } else {
            WriteFile(folder_ + "Varnelo.rtf", "old README");
        }
        const auto before = Listing(folder_);
        HANDLE held = c.held ? ::CreateFileA((folder_ + c.held).c_str(), GENERIC_READ, 0, nullptr,
                                             OPEN_EXISTING, 0, nullptr)
                             : INVALID_HANDLE_VALUE;
        DWORD code = ERROR_SUCCESS;
        try {
            InstallStoredFiles(store_, folder_);
        } catch (const EInstallError& e) {
            code = e.Code();
        }
        if (held != INVALID_HANDLE_VALUE)
            ::CloseHandle(held);
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(Listing(folder_), before);
        if (c.readmeIsAFolder) {
            EXPECT_EQ(Listing(folder_ + "Varnelo.rtf\\"),
                      (std::map<std::string, std::string>{{"notes.txt", "the user's notes"}}));
        }
        RemoveTree(folder_);
        ::CreateDirectoryA(folder_.c_str(), nullptr);
    }
}

TEST_F(Install, AMissingFolderIsReportedAndNotCreated)
{
    const std::string missing = folder_ + "missing\\";
    EXPECT_THROW(InstallStoredFiles(store_, missing), EInstallError);
    EXPECT_EQ(::GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(InstallMessage, AFileInUseKeepsThePlainTextAnyOtherCauseAddsTheSystemsReason)
{
    const std::string text = "Unable to continue - Quit Varnelo if it is running";
    for (DWORD code : {ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, ERROR_USER_MAPPED_FILE})
        EXPECT_EQ(InstallFailureMessage(code), text) << code;
    for (DWORD code : {ERROR_DISK_FULL, ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT, ERROR_PATH_NOT_FOUND}) {
        char reason[512] = {};
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, reason,
                         sizeof reason, nullptr);
        std::string expected = reason;
        while (!expected.empty() &&
               (expected.back() == '\n' || expected.back() == '\r' || expected.back() == '.'))
            expected.pop_back();
        EXPECT_EQ(InstallFailureMessage(code), text + "\r\n\r\n" + expected + ".") << code;
    }
}

}  // namespace
