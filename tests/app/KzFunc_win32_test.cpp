// Shortcuts written through the shell link object, read back through it and by parsing the
// .lnk layout; the shell-folder lookups; the process facts.
#include "app/KzFunc.h"
#include "app/kzFiles.h"
#include "app/kzSystem.h"

#include "platform/rtl/Win32.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

namespace app {
namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kMapGroups[] = "Software\\Microsoft\\Windows\\CurrentVersion\\GrpConv\\MapGroups";

// Sets a current-user string value for one test and puts the old state back afterwards.
class RegistryValueOverride {
public:
    RegistryValueOverride(const char* key, const char* value, const std::optional<std::string>& data)
        : key_(key), value_(value)
    {
        HKEY h = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
        char buffer[1024];
        DWORD size = sizeof(buffer), type = 0;
        if (RegQueryValueExA(h, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) ==
            ERROR_SUCCESS) {
            old_ = std::string(buffer, size > 0 && buffer[size - 1] == '\0' ? size - 1 : size);
            oldType_ = type;
        }
        if (data)
            RegSetValueExA(h, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(data->c_str()),
                           static_cast<DWORD>(data->size() + 1));
        else
            RegDeleteValueA(h, value);
        RegCloseKey(h);
    }
    ~RegistryValueOverride()
    {
        HKEY h = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, key_, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
        if (old_)
            RegSetValueExA(h, value_, 0, oldType_, reinterpret_cast<const BYTE*>(old_->c_str()),
                           static_cast<DWORD>(old_->size() + 1));
        else
            RegDeleteValueA(h, value_);
        RegCloseKey(h);
    }

private:
    const char* key_;
    const char* value_;
    std::optional<std::string> old_;
    DWORD oldType_ = REG_SZ;
};

std::string TempFolder(const char* name)
{
    char buffer[MAX_PATH];
    GetTempPathA(MAX_PATH, buffer);
    std::string folder =
        AddBackSlash(buffer) + "va_kzfunc_" + name + "_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;  // no trailing backslash, as the registry keeps shell folders
}

void WriteFile(const std::string& path, const std::string& data)
{
    std::ofstream(path, std::ios::binary) << data;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Same file by the long form of both paths, without regard to case.
bool SameFile(const std::string& a, const std::string& b)
{
    char la[MAX_PATH * 2] = {}, lb[MAX_PATH * 2] = {};
    if (!GetLongPathNameA(a.c_str(), la, sizeof(la)) || !GetLongPathNameA(b.c_str(), lb, sizeof(lb)))
        return lstrcmpiA(a.c_str(), b.c_str()) == 0;
    return lstrcmpiA(la, lb) == 0;
}

struct LinkFields {
    std::string target, workingFolder, description, arguments;
};

// Reads a link back through the shell's own object.
LinkFields ReadThroughShell(const std::string& path)
{
    LinkFields f;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            std::wstring wide(path.begin(), path.end());
            if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ))) {
                char buffer[MAX_PATH * 2] = {};
                WIN32_FIND_DATAA fd{};
                if (link->GetPath(buffer, sizeof(buffer), &fd, SLGP_RAWPATH) == S_OK)
                    f.target = buffer;
                buffer[0] = 0;
                link->GetWorkingDirectory(buffer, sizeof(buffer));
                f.workingFolder = buffer;
                buffer[0] = 0;
                link->GetDescription(buffer, sizeof(buffer));
                f.description = buffer;
                buffer[0] = 0;
                link->GetArguments(buffer, sizeof(buffer));
                f.arguments = buffer;
            }
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return f;
}

// Parses the shortcut's binary layout: a 76-byte header, the optional item-ID list, the
// optional link-information block with the local base path, then counted strings.
class LnkParser {
public:
    explicit LnkParser(std::vector<std::uint8_t> bytes) : b_(std::move(bytes)) {}

    bool Parse(LinkFields& out, std::string& error)
    {
        static const std::uint8_t kClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
        if (b_.size() < 76 || U32(0) != 0x4C || std::memcmp(&b_[4], kClsid, 16) != 0) {
            error = "bad header";
            return false;
        }
        const std::uint32_t flags = U32(20);
        std::size_t pos = 76;
        if (flags & 0x1) {  // item-ID list
            if (!Has(pos, 2))
                return Fail(error, "item list size");
            pos += 2 + U16(pos);
        }
        if (flags & 0x2) {  // link information
            if (!Has(pos, 28))
                return Fail(error, "link info header");
            const std::uint32_t size = U32(pos);
            if (size < 28 || !Has(pos, size))
                return Fail(error, "link info size");
            const std::uint32_t infoFlags = U32(pos + 8);
            if ((infoFlags & 1) != 0) {
                const std::uint32_t baseOffset = U32(pos + 16);
                const std::uint32_t suffixOffset = U32(pos + 24);
                if (baseOffset >= size || suffixOffset >= size)
                    return Fail(error, "link info string offset");
                out.target = CString(pos + baseOffset, pos + size) + CString(pos + suffixOffset, pos + size);
            }
            pos += size;
        }
        const bool unicode = (flags & 0x80) != 0;
        const std::uint32_t stringFlags[5] = {0x4, 0x8, 0x10, 0x20, 0x40};
        std::string strings[5];
        for (int i = 0; i < 5; ++i) {
            if (!(flags & stringFlags[i]))
                continue;
            if (!Has(pos, 2))
                return Fail(error, "string count");
            const std::size_t count = U16(pos);
            pos += 2;
            const std::size_t bytes = count * (unicode ? 2 : 1);
            if (!Has(pos, bytes))
                return Fail(error, "string data");
            for (std::size_t k = 0; k < count; ++k)
                strings[i] += static_cast<char>(unicode ? U16(pos + 2 * k) : b_[pos + k]);
            // Wine counts a terminating NUL that the layout does not have; readers tolerate it.
            if (!strings[i].empty() && strings[i].back() == '\0')
                strings[i].pop_back();
            pos += bytes;
        }
        out.description = strings[0];
        out.workingFolder = strings[2];
        out.arguments = strings[3];
        return true;
    }

private:
    bool Has(std::size_t pos, std::size_t n) const { return pos <= b_.size() && n <= b_.size() - pos; }
    bool Fail(std::string& error, const char* what) const
    {
        error = what;
        return false;
    }
    std::uint16_t U16(std::size_t p) const
    {
        return Has(p, 2) ? static_cast<std::uint16_t>(b_[p] | b_[p + 1] << 8) : 0;
    }
    std::uint32_t U32(std::size_t p) const
    {
        return Has(p, 4)
                   ? static_cast<std::uint32_t>(b_[p] | b_[p + 1] << 8 | b_[p + 2] << 16 | b_[p + 3] << 24)
                   : 0;
    }
    // A NUL-terminated string that must end before `end`.
    std::string CString(std::size_t p, std::size_t end) const
    {
        std::string s;
        while (p < end && b_[p] != 0)
            s += static_cast<char>(b_[p++]);
        return s;
    }
    std::vector<std::uint8_t> b_;
};

LinkFields ReadByLayout(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LinkFields f;
    std::string error;
    EXPECT_TRUE(LnkParser(std::move(bytes)).Parse(f, error)) << path << ": " << error;
    return f;
}

class ShortcutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        targetFolder_ = AddBackSlash(TempFolder("target"));
        target_ = targetFolder_ + "Varnelo.exe";
        WriteFile(target_, "MZ not really a program");
        desktop_ = TempFolder("desktop");
    }
    std::string targetFolder_, target_, desktop_;
};

TEST_F(ShortcutTest, MakerWritesLinkNamedAfterTargetIntoDesktopWithTargetFolderAsWorkingFolder)
{
    RegistryValueOverride desktop(kShellFolders, "Desktop", desktop_);
    std::string linkPath = "untouched";
    MakeShortcut(target_, slDesktop, "", "", "", "Varnelo", linkPath);
    EXPECT_EQ(linkPath, desktop_ + "\\Varnelo.lnk");
    ASSERT_TRUE(Exists(linkPath));

    const LinkFields shell = ReadThroughShell(linkPath);
    EXPECT_TRUE(SameFile(shell.target, target_)) << shell.target;
    EXPECT_EQ(shell.workingFolder, targetFolder_);
    EXPECT_EQ(shell.description, "Varnelo");

    const LinkFields layout = ReadByLayout(linkPath);
    EXPECT_TRUE(SameFile(layout.target, target_)) << layout.target;
    EXPECT_EQ(layout.workingFolder, targetFolder_);
    EXPECT_EQ(layout.description, "Varnelo");
    DeleteFileA(linkPath.c_str());
}

TEST_F(ShortcutTest, WriterKeepsArgumentsWorkingFolderAndReplacesLinkExtension)
{
    const std::string into = TempFolder("into");
    std::string linkPath;
    CreateShortcut(target_, "Varnelo README.txt", slFolder, into, "C:\\Work\\", "-x \"a b\"", "Read me",
                   linkPath);
    EXPECT_EQ(linkPath, into + "\\Varnelo README.lnk");
    ASSERT_TRUE(Exists(linkPath));
    const LinkFields shell = ReadThroughShell(linkPath);
    EXPECT_EQ(shell.workingFolder, "C:\\Work\\");
    EXPECT_EQ(shell.arguments, "-x \"a b\"");
    EXPECT_EQ(shell.description, "Read me");
    const LinkFields layout = ReadByLayout(linkPath);
    EXPECT_EQ(layout.workingFolder, "C:\\Work\\");
    EXPECT_EQ(layout.arguments, "-x \"a b\"");
    EXPECT_EQ(layout.description, "Read me");
    EXPECT_TRUE(SameFile(layout.target, target_)) << layout.target;
    DeleteFileA(linkPath.c_str());
}

TEST_F(ShortcutTest, RegistryKindsPickTheirOwnShellFolderAndSubfolder)
{
    const std::string quick = TempFolder("quick"), sendTo = TempFolder("sendto"), start = TempFolder("start");
    CreateDirectoryA((start + "\\Group").c_str(), nullptr);
    RegistryValueOverride q(kMapGroups, "Quick Launch", quick);
    RegistryValueOverride s(kShellFolders, "SendTo", sendTo);
    RegistryValueOverride m(kShellFolders, "Start Menu", start);
    std::string linkPath;
    MakeShortcut(target_, slQuickLaunch, "", "", "", "d", linkPath);
    EXPECT_EQ(linkPath, quick + "\\Varnelo.lnk");
    MakeShortcut(target_, slSendTo, "", "", "", "d", linkPath);
    EXPECT_EQ(linkPath, sendTo + "\\Varnelo.lnk");
    MakeShortcut(target_, slStartMenu, "Group", "", "", "d", linkPath);
    EXPECT_EQ(linkPath, start + "\\Group\\Varnelo.lnk");
    for (const auto& p :
         {quick + "\\Varnelo.lnk", sendTo + "\\Varnelo.lnk", start + "\\Group\\Varnelo.lnk"}) {
        EXPECT_TRUE(Exists(p)) << p;
        EXPECT_EQ(ReadByLayout(p).description, "d");
        DeleteFileA(p.c_str());
    }
}

TEST_F(ShortcutTest, NoLocationWritesNothingAndLeavesTheOutValue)
{
    std::string linkPath = "untouched";
    MakeShortcut(target_, slFolder, "", "", "", "d", linkPath);
    EXPECT_EQ(linkPath, "untouched");
    MakeShortcut(target_, 5, "C:\\", "", "", "d", linkPath);
    EXPECT_EQ(linkPath, "untouched");
    MakeShortcut(target_, -1, "C:\\", "", "", "d", linkPath);
    EXPECT_EQ(linkPath, "untouched");
    RegistryValueOverride desktop(kShellFolders, "Desktop", std::nullopt);
    MakeShortcut(target_, slDesktop, "", "", "", "d", linkPath);
    EXPECT_EQ(linkPath, "untouched");
    EXPECT_EQ(ShortcutLocationFolder(slDesktop), "");
}

TEST_F(ShortcutTest, FailedSaveIsNotReportedAsWritten)
{
    std::string linkPath = "untouched";
    MakeShortcut(target_, slFolder, desktop_ + "\\no such folder", "", "", "d", linkPath);
    EXPECT_EQ(linkPath, "untouched");
}

TEST_F(ShortcutTest, WorksOnAThreadWithoutCom)
{
    struct Job {
        std::string target, folder, linkPath;
    } job{target_, TempFolder("thread"), ""};
    struct Runner {
        static DWORD WINAPI Run(LPVOID p)
        {
            auto* j = static_cast<Job*>(p);
            MakeShortcut(j->target, slFolder, j->folder, "", "", "t", j->linkPath);
            return 0;
        }
    };
    HANDLE thread = CreateThread(nullptr, 0, &Runner::Run, &job, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(job.linkPath, job.folder + "\\Varnelo.lnk");
    EXPECT_TRUE(Exists(job.linkPath));
    DeleteFileA(job.linkPath.c_str());
}

TEST(KzFuncShell, ShellOpenRunsTheDocumentsProgramWithParametersInTheFolder)
{
    const std::string work = AddBackSlash(TempFolder("open"));
    const std::string script = work + "mark.bat";
    const std::string marker = work + "marker.txt";
    DeleteFileA(marker.c_str());
    WriteFile(script, "@echo %1> \"" + marker + "\"\r\n@cd >> \"" + marker + "\"\r\n");
    ShellOpen(script, "hello", work, SW_HIDE);
    std::string text;
    // The script writes two lines; wait for both, not just the first.
    for (int i = 0; i < 300 && std::count(text.begin(), text.end(), '\n') < 2; ++i) {
        Sleep(50);
        std::ifstream in(marker, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_NE(text.find("hello"), std::string::npos) << text;
    // The working folder given is where the program runs.
    std::string folderLine = text.substr(text.find('\n') + 1);
    while (!folderLine.empty() &&
           (folderLine.back() == '\n' || folderLine.back() == '\r' || folderLine.back() == ' '))
        folderLine.pop_back();
    EXPECT_TRUE(SameFile(AddBackSlash(folderLine), work)) << folderLine;
}

TEST(KzFuncShell, ShellOpenOfAMissingFileIsSilent)
{
    ShellOpen("Z:\\no such folder\\missing.rtf", "", "", SW_SHOW);
}

TEST(KzFuncFolders, ProgramsFolderComesFromTheShellFolderValue)
{
    {
        RegistryValueOverride programs(kShellFolders, "Programs", std::string("Q:\\Menu\\Programs"));
        EXPECT_EQ(GetProgramsFolder(), "Q:\\Menu\\Programs");
    }
    RegistryValueOverride none(kShellFolders, "Programs", std::nullopt);
    EXPECT_EQ(GetProgramsFolder(), "");
    // A value of the wrong type is no folder, and no exception either.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    const DWORD number = 7;
    RegSetValueExA(key, "Programs", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
    EXPECT_EQ(GetProgramsFolder(), "");
    RegDeleteValueA(key, "Programs");
    RegCloseKey(key);
}

TEST(KzFuncFolders, WindowsFolderIsWhereABareIniFileGoes)
{
    // The settings file is named without a folder, so the profile functions put it in the Windows
    // folder: that is the folder this must name, with its trailing backslash.
    const std::string folder = GetWindowsFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    const char* name = "va_kzfunc_probe.ini";
    ASSERT_TRUE(WritePrivateProfileStringA("Probe", "Key", "1", name));
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, name);  // flush the profile cache
    EXPECT_NE(GetFileAttributesA((folder + name).c_str()), INVALID_FILE_ATTRIBUTES) << folder;
    DeleteFileA((folder + name).c_str());
}

TEST(kzSystem, RecordsTheStartingProcessAndThread)
{
    const TSystemFacts& f = SystemFacts();
    EXPECT_EQ(f.ProcessId, GetCurrentProcessId());
    EXPECT_EQ(f.ThreadId, GetCurrentThreadId());  // tests run on the thread that started
    EXPECT_EQ(f.ProcessHandle, reinterpret_cast<std::uintptr_t>(GetCurrentProcess()));
    EXPECT_EQ(f.ThreadHandle, reinterpret_cast<std::uintptr_t>(GetCurrentThread()));
    EXPECT_TRUE(f.IsNT);
    EXPECT_EQ(f.IsNT, IsWindowsNT());
    // The system's own processor count, which does not come from the affinity mask.
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    EXPECT_EQ(f.ProcessorCount, std::min<int>(32, int(info.dwNumberOfProcessors)));
}

TEST(kzSystem, CountsOnlyTheLow32MaskBitsAndNamesDaysAndMonths)
{
    EXPECT_EQ(CountProcessors(0), 0);
    EXPECT_EQ(CountProcessors(0x80000001u), 2);
    EXPECT_EQ(CountProcessors(0xFFFFFFFFu), 32);
    EXPECT_STREQ(kShortDayNames[0], "Sun");
    EXPECT_STREQ(kShortDayNames[6], "Sat");
    EXPECT_STREQ(kShortMonthNames[0], "Jan");
    EXPECT_STREQ(kShortMonthNames[11], "Dec");
    EnterSystemLock();
    EnterSystemLock();  // a critical section may be entered again by its holder
    LeaveSystemLock();
    LeaveSystemLock();
}

}  // namespace
}  // namespace app
