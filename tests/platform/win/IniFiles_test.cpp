// Tests of INI files and the registry in the test prefix: file bytes after writes, values read
// back with the plain registry calls, and the INI-style registry layer.
#include "platform/win/IniFiles.h"

#include "platform/rtl/Streams.h"

#include <gtest/gtest.h>

#include <string>

using namespace win;

namespace {

std::string FileText(const std::string& name)
{
    rtl::TMemoryStream m;
    m.LoadFromFile(name);
    return std::string(m.Bytes().begin(), m.Bytes().end());
}

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "winb_ini_test";
        CreateDirectoryA(folder_.c_str(), nullptr);
        file_ = folder_ + "\\test.ini";
        DeleteFileA(file_.c_str());
    }
    void TearDown() override
    {
        DeleteFileA(file_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    std::string folder_;
    std::string file_;
};

constexpr char kTestKey[] = "Software\\VarneloWinbTest";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }

    // Reads a value with the plain registry calls, independent of TRegistry.
    static bool Raw(const std::string& sub, const std::string& name, DWORD& type, std::string& data)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kTestKey) + sub).c_str(), 0, KEY_READ, &key) !=
            ERROR_SUCCESS)
            return false;
        char buffer[4096];
        DWORD size = sizeof buffer;
        const LONG rc =
            RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS)
            return false;
        data.assign(buffer, size);
        return true;
    }
    static bool RawKeyExists(const std::string& sub)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kTestKey) + sub).c_str(), 0, KEY_READ, &key) !=
            ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
};

}  // namespace

// --- INI files ---

TEST_F(IniFileTest, WritesProduceTheExpectedFileBytes)
{
    {
        TIniFile ini(file_);
        ini.WriteString("Setup Assistant", "ZanticFolder_Text", "C:\\Zantic\\");
        ini.WriteInteger("Setup Assistant", "Varnelo", 143);
        ini.WriteBool("Setup Assistant", "Visible", false);
        ini.WriteString("Other", "Key", "Value");
        ini.UpdateFile();
    }
    EXPECT_EQ(FileText(file_),
              "[Setup Assistant]\r\nZanticFolder_Text=C:\\Zantic\\\r\nVarnelo=143\r\nVisible=0\r\n"
              "[Other]\r\nKey=Value\r\n");
}

TEST_F(IniFileTest, ValuesRoundTripWithDefaultsForMissingOrMalformed)
{
    TIniFile ini(file_);
    ini.WriteString("S", "Text", "hello world");
    ini.WriteInteger("S", "Negative", -17);
    ini.WriteString("S", "Hex1", "0x1F");
    ini.WriteString("S", "Hex2", "$20");
    ini.WriteString("S", "Bad", "12abc");
    ini.WriteFloat("S", "Float", 2.5);
    ini.WriteBool("S", "True", true);
    EXPECT_EQ(ini.ReadString("S", "Text", "x"), "hello world");
    EXPECT_EQ(ini.ReadString("S", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("NoSection", "Text", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("S", "Negative", 0), -17);
    EXPECT_EQ(ini.ReadInteger("S", "Hex1", 0), 31);
    EXPECT_EQ(ini.ReadInteger("S", "Hex2", 0), 32);
    EXPECT_EQ(ini.ReadInteger("S", "Bad", 99), 99);
    EXPECT_EQ(ini.ReadInteger("S", "Missing", 7), 7);
    EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "Float", 0), 2.5);
    EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "Text", 1.25), 1.25);
    EXPECT_TRUE(ini.ReadBool("S", "True", false));
    EXPECT_TRUE(ini.ReadBool("S", "Missing", true));
    EXPECT_FALSE(ini.ReadBool("S", "Text", false));
}

TEST_F(IniFileTest, SurroundingQuotesAreStrippedByTheProfileFunctions)
{
    TIniFile ini(file_);
    ini.WriteString("S", "Quoted", "\"abc\"");
    EXPECT_EQ(ini.ReadString("S", "Quoted", ""), "abc");
    ini.WriteString("S", "Twice", "\"\"abc\"\"");
    EXPECT_EQ(ini.ReadString("S", "Twice", ""), "\"abc\"");
}

TEST_F(IniFileTest, LongValuesAreNotTruncated)
{
    TIniFile ini(file_);
    std::string value(10000, 'v');
    value += "end";
    ini.WriteString("S", "Long", value);
    EXPECT_EQ(ini.ReadString("S", "Long", ""), value);
}

TEST_F(IniFileTest, MaxValueLengthReadsThatMuchOfAValue)
{
    // Written as bytes: the profile functions cannot write a value this long themselves.
    const std::string text = "[S]\r\nLong=" + std::string(100000, 'v') + "end\r\nShort=abc\r\n";
    {
        rtl::TFileStream out(file_, rtl::fmCreate);
        out.WriteBuffer(text.data(), static_cast<std::int32_t>(text.size()));
    }
    TIniFile ini(file_);
    ini.SetMaxValueLength(10);
    EXPECT_EQ(ini.ReadString("S", "Long", ""), std::string(10, 'v'));
    EXPECT_EQ(ini.ReadString("S", "Short", ""), "abc");
    EXPECT_EQ(ini.ReadString("S", "Missing", "default"), "default");
    ini.SetMaxValueLength(0);
    EXPECT_EQ(ini.ReadString("S", "Long", "").size(), 100003u) << "0 reads values whole again";
}

TEST_F(IniFileTest, SectionListsEraseAndDelete)
{
    TIniFile ini(file_);
    ini.WriteString("A", "k1", "v1");
    ini.WriteString("A", "k2", "v2");
    ini.WriteString("B", "k3", "v3");
    rtl::TStringList list;
    list.Add("stale");
    ini.ReadSections(list);
    EXPECT_EQ(list.Text(), "A\r\nB\r\n");
    ini.ReadSection("A", list);
    EXPECT_EQ(list.Text(), "k1\r\nk2\r\n");
    ini.ReadSectionValues("A", list);
    EXPECT_EQ(list.Text(), "k1=v1\r\nk2=v2\r\n");
    EXPECT_TRUE(ini.SectionExists("B"));
    EXPECT_TRUE(ini.ValueExists("A", "k2"));
    EXPECT_FALSE(ini.ValueExists("A", "k3"));
    ini.DeleteKey("A", "k1");
    ini.ReadSection("A", list);
    EXPECT_EQ(list.Text(), "k2\r\n");
    ini.EraseSection("B");
    EXPECT_FALSE(ini.SectionExists("B"));
    ini.UpdateFile();
    EXPECT_EQ(FileText(file_), "[A]\r\nk2=v2\r\n");
}

TEST_F(IniFileTest, ManySectionsAreListedBeyondTheFirstBuffer)
{
    TIniFile ini(file_);
    for (int i = 0; i < 300; ++i)
        ini.WriteString("Section number " + std::to_string(i), "k", "v");
    rtl::TStringList list;
    ini.ReadSections(list);
    ASSERT_EQ(list.Count(), 300);
    EXPECT_EQ(list[299], "Section number 299");
}

TEST_F(IniFileTest, BareNameLivesInTheWindowsFolderWithoutExtension)
{
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string expected = std::string(windows) + "\\WinbKestrelonTest";
    DeleteFileA(expected.c_str());
    {
        TIniFile ini("WinbKestrelonTest");
        ini.WriteInteger("Setup Assistant", "FormVersion", 0);
        ini.UpdateFile();
        EXPECT_EQ(ini.ReadInteger("Setup Assistant", "FormVersion", -1), 0);
    }
    EXPECT_NE(GetFileAttributesA(expected.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(FileText(expected), "[Setup Assistant]\r\nFormVersion=0\r\n");
    DeleteFileA(expected.c_str());
}

TEST_F(IniFileTest, WriteIntoMissingFolderRaises)
{
    TIniFile ini(folder_ + "\\no\\such\\folder\\x.ini");
    EXPECT_THROW(ini.WriteString("S", "K", "V"), EIniFileException);
    EXPECT_EQ(ini.ReadString("S", "K", "d"), "d");
}

// IniFilePath names the file the profile functions themselves write for each kind of name.
TEST_F(IniFileTest, IniFilePathIsWhereTheProfileFunctionsWrite)
{
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
    CreateDirectoryA((folder_ + "\\sub").c_str(), nullptr);
    const std::string drive = folder_.substr(0, 2);
    struct Case {
        std::string name;
        std::string path;
    };
    const Case cases[] = {
        {"WinbBareIni", std::string(windows) + "\\WinbBareIni"},
        {"sub\\winb.ini", folder_ + "\\sub\\winb.ini"},
        {"sub/winb.ini", folder_ + "\\sub\\winb.ini"},
        {".\\winb.ini", folder_ + "\\winb.ini"},
        {drive + "winb.ini", folder_ + "\\winb.ini"},  // the drive's current folder is this one
        {folder_ + "\\winb.ini", folder_ + "\\winb.ini"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(c.path.c_str());
        EXPECT_EQ(IniFilePath(c.name), c.path);
        ASSERT_TRUE(WritePrivateProfileStringA("S", "K", "V", c.name.c_str()));
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, c.name.c_str());
        EXPECT_NE(GetFileAttributesA(c.path.c_str()), INVALID_FILE_ATTRIBUTES) << "written elsewhere";
        DeleteFileA(c.path.c_str());
    }
    SetCurrentDirectoryA(previous);
    RemoveDirectoryA((folder_ + "\\sub").c_str());
}

// A write that fails names the file by its whole path, a bare name included.
TEST_F(IniFileTest, AFailedWriteNamesTheWholePath)
{
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string folderInWindows = std::string(windows) + "\\WinbIniThatIsAFolder";
    ASSERT_TRUE(CreateDirectoryA(folderInWindows.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    const std::string missing = folder_ + "\\no\\such\\folder\\x.ini";
    for (const auto& [name, path] :
         {std::pair{std::string("WinbIniThatIsAFolder"), folderInWindows}, std::pair{missing, missing}}) {
        SCOPED_TRACE(name);
        TIniFile ini(name);
        for (int step = 0; step < 2; ++step) {
            try {
                if (step == 0)
                    ini.WriteString("S", "K", "V");
                else
                    ini.EraseSection("S");
                ADD_FAILURE() << "no exception at step " << step;
            } catch (const EIniFileException& e) {
                EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
            }
        }
    }
    RemoveDirectoryA(folderInWindows.c_str());
}

// --- registry ---

TEST_F(RegistryTest, ValuesWrittenReadBackWithPlainCalls)
{
    TRegistry reg;
    EXPECT_EQ(reg.RootKey(), HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(kTestKey, true));
    reg.WriteString("InstallPath", "C:\\Program Files\\Zantic");
    reg.WriteInteger("Build", 143);
    reg.WriteBool("Flag", true);
    const std::uint8_t blob[] = {1, 2, 0, 255};
    reg.WriteBinaryData("Blob", blob, 4);
    reg.WriteExpandString("Expand", "%TEMP%\\x");
    reg.CloseKey();

    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(Raw("", "InstallPath", type, data));
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(data, std::string("C:\\Program Files\\Zantic") + '\0');
    ASSERT_TRUE(Raw("", "Build", type, data));
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(data, std::string("\x8F\0\0\0", 4));
    ASSERT_TRUE(Raw("", "Flag", type, data));
    EXPECT_EQ(data, std::string("\1\0\0\0", 4));
    ASSERT_TRUE(Raw("", "Blob", type, data));
    EXPECT_EQ(type, DWORD(REG_BINARY));
    EXPECT_EQ(data, std::string("\1\2\0\xFF", 4));
    ASSERT_TRUE(Raw("", "Expand", type, data));
    EXPECT_EQ(type, DWORD(REG_EXPAND_SZ));

    ASSERT_TRUE(reg.OpenKeyReadOnly(kTestKey));
    EXPECT_EQ(reg.ReadString("InstallPath"), "C:\\Program Files\\Zantic");
    EXPECT_EQ(reg.ReadInteger("Build"), 143);
    EXPECT_TRUE(reg.ReadBool("Flag"));
    std::uint8_t back[8] = {};
    EXPECT_EQ(reg.ReadBinaryData("Blob", back, 8), 4);
    EXPECT_EQ(back[3], 255);
    EXPECT_THROW(reg.ReadBinaryData("Blob", back, 3), ERegistryException) << "buffer too small";
    EXPECT_EQ(reg.GetDataType("Build"), rdInteger);
    EXPECT_EQ(reg.GetDataSize("Blob"), 4);
    EXPECT_EQ(reg.GetDataSize("Missing"), -1);
}

TEST_F(RegistryTest, ValuesWrittenWithPlainCallsAreRead)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    // No terminating NUL stored: the reader must not run past the data.
    RegSetValueExA(key, "NoNul", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3);
    const double d = 1.5;
    RegSetValueExA(key, "Double", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&d), sizeof d);
    std::string big(5000, 'x');
    RegSetValueExA(key, "Big", 0, REG_SZ, reinterpret_cast<const BYTE*>(big.c_str()), DWORD(big.size() + 1));
    RegCloseKey(key);

    TRegistry reg(KEY_READ);
    ASSERT_TRUE(reg.OpenKey(std::string("\\") + kTestKey, false));
    EXPECT_EQ(reg.ReadString("NoNul"), "abc");
    EXPECT_DOUBLE_EQ(reg.ReadFloat("Double"), 1.5);
    EXPECT_EQ(reg.ReadString("Big"), big);
}

TEST_F(RegistryTest, WrongTypesAndMissingValues)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kTestKey, true));
    reg.WriteInteger("Number", 5);
    reg.WriteString("Text", "5");
    EXPECT_THROW(reg.ReadString("Number"), ERegistryException);
    EXPECT_THROW(reg.ReadInteger("Text"), ERegistryException);
    EXPECT_THROW(reg.ReadInteger("Missing"), ERegistryException);
    EXPECT_EQ(reg.ReadString("Missing"), "");
    EXPECT_TRUE(reg.ValueExists("Text"));
    EXPECT_FALSE(reg.ValueExists("Missing"));
    EXPECT_TRUE(reg.DeleteValue("Text"));
    EXPECT_FALSE(reg.ValueExists("Text"));
    EXPECT_FALSE(reg.DeleteValue("Text"));
}

TEST_F(RegistryTest, OpenWithoutCreateLeavesMissingKeysAlone)
{
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(std::string(kTestKey) + "\\Absent", false));
    EXPECT_FALSE(reg.OpenKeyReadOnly(std::string(kTestKey) + "\\Absent"));
    EXPECT_FALSE(RawKeyExists("\\Absent"));
    EXPECT_FALSE(reg.KeyExists(std::string(kTestKey) + "\\Absent"));
    EXPECT_EQ(reg.CurrentKey(), nullptr);
    EXPECT_THROW(reg.WriteString("X", "Y"), ERegistryException) << "no key open";
}

TEST_F(RegistryTest, ReadOnlyKeyRefusesWrites)
{
    TRegistry writer;
    ASSERT_TRUE(writer.OpenKey(kTestKey, true));
    writer.CloseKey();
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(kTestKey));
    EXPECT_EQ(reg.Access(), static_cast<REGSAM>(KEY_READ));
    EXPECT_THROW(reg.WriteString("X", "Y"), ERegistryException);
}

TEST_F(RegistryTest, RelativePathsKeyNamesAndRecursiveDelete)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kTestKey, true));
    EXPECT_EQ(reg.CurrentPath(), kTestKey);
    ASSERT_TRUE(reg.OpenKey("Child\\Grandchild", true));
    EXPECT_EQ(reg.CurrentPath(), std::string(kTestKey) + "\\Child\\Grandchild");
    reg.WriteString("v", "1");
    ASSERT_TRUE(reg.OpenKey(std::string("\\") + kTestKey, false));
    EXPECT_TRUE(reg.CreateKey("Second"));
    EXPECT_TRUE(reg.HasSubKeys());
    rtl::TStringList names;
    reg.GetKeyNames(names);
    names.Sort();
    EXPECT_EQ(names.Text(), "Child\r\nSecond\r\n");
    reg.WriteInteger("a", 1);
    reg.WriteInteger("b", 2);
    reg.GetValueNames(names);
    names.Sort();
    EXPECT_EQ(names.Text(), "a\r\nb\r\n");
    EXPECT_TRUE(reg.KeyExists("Child\\Grandchild"));
    EXPECT_TRUE(reg.DeleteKey("Child"));
    EXPECT_FALSE(RawKeyExists("\\Child"));
    EXPECT_TRUE(RawKeyExists("\\Second"));
}

TEST_F(RegistryTest, OtherRootsAreReadable)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\VarneloWinbTest", 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\Z"), 5);
    RegCloseKey(key);
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\VarneloWinbTest", false));
    EXPECT_EQ(reg.ReadString("InstallPath"), "C:\\Z");
    reg.SetRootKey(HKEY_CURRENT_USER);
    EXPECT_EQ(reg.CurrentKey(), nullptr) << "changing the root closes the key";
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\VarneloWinbTest");
}

// --- registry as INI ---

TEST_F(RegistryTest, RegIniFileSectionsAreSubkeys)
{
    {
        TRegIniFile ini(kTestKey);
        ini.WriteString("Setup Assistant", "ZanticPath", "C:\\Zantic\\");
        ini.WriteInteger("Setup Assistant", "Varnelo", 143);
        ini.WriteBool("Setup Assistant", "Visible", true);
    }
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(Raw("\\Setup Assistant", "ZanticPath", type, data));
    EXPECT_EQ(data, std::string("C:\\Zantic\\") + '\0');
    ASSERT_TRUE(Raw("\\Setup Assistant", "Varnelo", type, data));
    EXPECT_EQ(type, DWORD(REG_SZ)) << "integers are stored as text";
    EXPECT_EQ(data, std::string("143") + '\0');

    TRegIniFile ini(kTestKey, KEY_READ);
    EXPECT_EQ(ini.ReadString("Setup Assistant", "ZanticPath", ""), "C:\\Zantic\\");
    EXPECT_EQ(ini.ReadInteger("Setup Assistant", "Varnelo", 0), 143);
    EXPECT_TRUE(ini.ReadBool("Setup Assistant", "Visible", false));
    EXPECT_EQ(ini.ReadString("Setup Assistant", "Missing", "d"), "d");
    EXPECT_EQ(ini.ReadString("No Section", "x", "d"), "d");
    EXPECT_FALSE(RawKeyExists("\\No Section")) << "reading creates nothing";
    rtl::TStringList list;
    ini.ReadSections(list);
    EXPECT_EQ(list.Text(), "Setup Assistant\r\n");
    ini.ReadSectionValues("Setup Assistant", list);
    list.Sort();
    EXPECT_EQ(list.Text(), "Varnelo=143\r\nVisible=1\r\nZanticPath=C:\\Zantic\\\r\n");
}

TEST_F(RegistryTest, RegIniFileReadsDwordValuesAndDeletes)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kTestKey) + "\\S").c_str(), 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD v = 77;
    RegSetValueExA(key, "Dword", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
    RegSetValueExA(key, "Junk", 0, REG_SZ, reinterpret_cast<const BYTE*>("x1"), 3);
    RegCloseKey(key);
    TRegIniFile ini(kTestKey);
    EXPECT_EQ(ini.ReadInteger("S", "Dword", 0), 77);
    EXPECT_EQ(ini.ReadInteger("S", "Junk", 5), 5);
    ini.DeleteKey("S", "Junk");
    DWORD type;
    std::string data;
    EXPECT_FALSE(Raw("\\S", "Junk", type, data));
    ini.EraseSection("S");
    EXPECT_FALSE(RawKeyExists("\\S"));
}

TEST_F(RegistryTest, ReadOnlyRegIniFileOnMissingKeyGivesDefaults)
{
    TRegIniFile ini(std::string(kTestKey) + "\\Nothing", KEY_READ);
    EXPECT_EQ(ini.CurrentKey(), nullptr);
    EXPECT_FALSE(RawKeyExists("\\Nothing"));
    EXPECT_EQ(ini.ReadString("S", "x", "d"), "d");
    EXPECT_EQ(ini.ReadInteger("S", "x", 4), 4);
    EXPECT_THROW(ini.WriteString("S", "x", "v"), ERegistryException);
}
