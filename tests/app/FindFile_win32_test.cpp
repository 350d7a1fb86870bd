// The search under Windows: attributes set with the file calls, and the abort wait that keeps
// dispatching messages (sent, posted, timer) while dropping input.
#include "app/FindFile.h"

#include "app/kzFiles.h"

#include "platform/rtl/Thread.h"
#include "platform/win/Forms.h"
#include "platform/rtl/Win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace app {
namespace {

std::string MakeTempFolder(const char* name)
{
    char buffer[MAX_PATH];
    GetTempPathA(MAX_PATH, buffer);
    const std::string folder =
        AddBackSlash(buffer) + "va_ffw_" + name + "_" + std::to_string(GetTickCount64()) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

void MakeFile(const std::string& path, DWORD attributes)
{
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(h, "data", 4, &written, nullptr);
    CloseHandle(h);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes)) << path;
}

std::vector<std::string> Search(const std::string& folder, TFileAttributes attributes, bool exact)
{
    TFindFile f(nullptr);
    f.Criteria()->Files()->SetLocation(folder);
    f.Criteria()->Files()->SetFileName("*.*");
    f.Criteria()->Attribute()->SetAttributes(attributes);
    f.Criteria()->Attribute()->SetExactMatch(exact);
    std::vector<std::string> names;
    f.OnFileMatch = [&](rtl::TObject*, const std::string&, const TSearchRec& rec) {
        names.push_back(rec.Name);
    };
    f.Execute();
    std::sort(names.begin(), names.end());
    return names;
}

class AttributeTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = MakeTempFolder("attr");
        MakeFile(folder_ + "plain.txt", FILE_ATTRIBUTE_NORMAL);
        MakeFile(folder_ + "archive.txt", FILE_ATTRIBUTE_ARCHIVE);
        MakeFile(folder_ + "archro.txt", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
        MakeFile(folder_ + "hidden.txt", FILE_ATTRIBUTE_HIDDEN);
        MakeFile(folder_ + "system.txt", FILE_ATTRIBUTE_SYSTEM);
        CreateDirectoryA((folder_ + "sub").c_str(), nullptr);
        hiddenWorks_ = (GetFileAttributesA((folder_ + "hidden.txt").c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0 &&
                       (GetFileAttributesA((folder_ + "system.txt").c_str()) & FILE_ATTRIBUTE_SYSTEM) != 0;
    }
    void TearDown() override
    {
        for (const char* name : {"plain.txt", "archive.txt", "archro.txt", "hidden.txt", "system.txt"}) {
            SetFileAttributesA((folder_ + name).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA((folder_ + name).c_str());
        }
        RemoveDirectoryA((folder_ + "sub").c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    std::string folder_;
    bool hiddenWorks_ = false;
};

TEST_F(AttributeTree, DefaultSetReportsEveryFileButNoFolder)
{
    EXPECT_EQ(
        Search(folder_, {ffArchive, ffReadonly, ffHidden, ffSystem}, false),
        (std::vector<std::string>{"archive.txt", "archro.txt", "hidden.txt", "plain.txt", "system.txt"}));
}

TEST_F(AttributeTree, ArchiveAndReadOnlyLeaveOutHiddenAndSystem)
{
    if (!hiddenWorks_)
        GTEST_SKIP() << "this file system keeps no hidden or system attribute";
    EXPECT_EQ(Search(folder_, {ffArchive, ffReadonly}, false),
              (std::vector<std::string>{"archive.txt", "archro.txt", "plain.txt"}));
}

TEST_F(AttributeTree, ExactArchiveRejectsArchiveReadOnlyAndPlain)
{
    // Wine may report a file reset to normal as archive; the plain file counts only if it is plain.
    const bool plainIsPlain = (GetFileAttributesA((folder_ + "plain.txt").c_str()) & 0x37) == 0;
    const std::vector<std::string> expected = plainIsPlain
                                                  ? std::vector<std::string>{"archive.txt"}
                                                  : std::vector<std::string>{"archive.txt", "plain.txt"};
    EXPECT_EQ(Search(folder_, {ffArchive}, true), expected);
    EXPECT_EQ(Search(folder_, {ffArchive, ffReadonly}, true), (std::vector<std::string>{"archro.txt"}));
}

TEST_F(AttributeTree, DirectoryBitReportsFolders)
{
    const auto names = Search(folder_, {ffDirectory}, true);
    EXPECT_EQ(names, (std::vector<std::string>{"sub"}));
}

// A window on the main thread that records what reaches it.
class Recorder {
public:
    Recorder()
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &Recorder::Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "VaFindFileRecorder";
        RegisterClassA(&wc);
        wnd_ = CreateWindowA("VaFindFileRecorder", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(wnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Recorder() { DestroyWindow(wnd_); }
    HWND Handle() const { return wnd_; }
    std::vector<UINT> seen;
    std::atomic<int> sent{0};

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        auto* self = reinterpret_cast<Recorder*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
        if (self && (msg == WM_APP || msg == WM_APP + 1 || msg == WM_KEYDOWN || msg == WM_LBUTTONDOWN ||
                     msg == WM_TIMER)) {
            self->seen.push_back(msg);
            if (msg == WM_APP + 1)
                ++self->sent;
            return 0;
        }
        return DefWindowProcA(wnd, msg, wp, lp);
    }
    HWND wnd_ = nullptr;
};

// Waits until another thread's sent message waits for this one, without serving it; false after
// a minute, so a worker that never sends fails the test instead of hanging it.
bool WaitForSentMessage()
{
    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (!(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(deadline - now), QS_SENDMESSAGE);
    }
    return true;
}

class AbortWait : public ::testing::Test {
protected:
    void SetUp() override
    {
        rtl::SetMainThread();
        folder_ = MakeTempFolder("wait");
        for (int i = 0; i < 40; ++i)
            MakeFile(folder_ + "f" + std::to_string(i) + ".txt", FILE_ATTRIBUTE_ARCHIVE);
    }
    void TearDown() override
    {
        for (int i = 0; i < 40; ++i)
            DeleteFileA((folder_ + "f" + std::to_string(i) + ".txt").c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    std::string folder_;
};

TEST_F(AbortWait, CancelDispatchesSentPostedAndTimerMessagesButDropsInput)
{
    Recorder window;
    TFindFile f(nullptr);
    f.SetThreaded(true);
    f.Criteria()->Files()->SetLocation(folder_);
    f.Criteria()->Files()->SetFileName("*.txt");
    std::vector<std::string> events;
    std::mutex lock;
    f.OnSearchAbort = [&](rtl::TObject*) {
        std::lock_guard<std::mutex> g(lock);
        events.push_back("abort");
    };
    f.OnSearchFinish = [&](rtl::TObject*) {
        std::lock_guard<std::mutex> g(lock);
        events.push_back("finish");
    };
    // The worker brings each match to the window with a sent message, as a user interface does;
    // it blocks until the main thread serves it.
    f.OnFileMatch = [&](rtl::TObject*, const std::string&, const TSearchRec&) {
        {
            std::lock_guard<std::mutex> g(lock);
            events.push_back("match");
        }
        SendMessageA(window.Handle(), WM_APP + 1, 0, 0);
    };
    f.Execute();
    // The worker blocks in its first sent message until this thread serves it.
    ASSERT_TRUE(WaitForSentMessage());
    ASSERT_TRUE(f.Busy());
    SetTimer(window.Handle(), 1, 1, nullptr);
    PostMessageA(window.Handle(), WM_APP, 0, 0);
    PostMessageA(window.Handle(), WM_KEYDOWN, 'A', 0);
    PostMessageA(window.Handle(), WM_LBUTTONDOWN, 0, 0);
    f.Abort();
    KillTimer(window.Handle(), 1);

    EXPECT_FALSE(f.Busy());
    EXPECT_GE(window.sent.load(), 1);
    EXPECT_NE(std::find(window.seen.begin(), window.seen.end(), static_cast<UINT>(WM_APP)),
              window.seen.end());
    EXPECT_EQ(std::find(window.seen.begin(), window.seen.end(), static_cast<UINT>(WM_KEYDOWN)),
              window.seen.end());
    EXPECT_EQ(std::find(window.seen.begin(), window.seen.end(), static_cast<UINT>(WM_LBUTTONDOWN)),
              window.seen.end());
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, window.Handle(), WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE));
    std::lock_guard<std::mutex> g(lock);
    const auto abortAt = std::find(events.begin(), events.end(), "abort");
    ASSERT_NE(abortAt, events.end());
    EXPECT_EQ(std::find(abortAt, events.end(), "match"), events.end());
    EXPECT_EQ(events.back(), "finish");
    EXPECT_EQ(std::count(events.begin(), events.end(), "abort"), 1);
}

TEST_F(AbortWait, QuitMessageEndsTheWaitAndStaysQueued)
{
    Recorder window;
    TFindFile f(nullptr);
    f.SetThreaded(true);
    f.Criteria()->Files()->SetLocation(folder_);
    f.Criteria()->Files()->SetFileName("*.txt");
    f.OnFileMatch = [&](rtl::TObject*, const std::string&, const TSearchRec&) {
        SendMessageA(window.Handle(), WM_APP + 1, 0, 0);
    };
    f.Execute();
    ASSERT_TRUE(WaitForSentMessage());
    PostQuitMessage(7);
    f.Abort();
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (f.Busy() && std::chrono::steady_clock::now() < deadline) {
        rtl::CheckSynchronize(1);
        PumpMessages();
    }
    EXPECT_FALSE(f.Busy());
}

// File times as local date-times: days since 1899-12-30.
FILETIME LocalDateTimeToFileTime(int year, int month, int day, int hour, int minute)
{
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    FILETIME local{}, utc{};
    SystemTimeToFileTime(&st, &local);
    LocalFileTimeToFileTime(&local, &utc);
    return utc;
}

class TimeTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = MakeTempFolder("time");
        // a: accessed 2010-05-06 20:00; b: accessed 2010-05-07 07:00.
        Stamp("a.txt", LocalDateTimeToFileTime(2001, 3, 4, 8, 0), LocalDateTimeToFileTime(2010, 5, 6, 20, 0));
        Stamp("b.txt", LocalDateTimeToFileTime(2005, 1, 1, 16, 0), LocalDateTimeToFileTime(2010, 5, 7, 7, 0));
    }
    void TearDown() override
    {
        DeleteFileA((folder_ + "a.txt").c_str());
        DeleteFileA((folder_ + "b.txt").c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    void Stamp(const char* name, FILETIME created, FILETIME accessed)
    {
        MakeFile(folder_ + name, FILE_ATTRIBUTE_ARCHIVE);
        HANDLE h = CreateFileA((folder_ + name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(SetFileTime(h, &created, &accessed, nullptr));
        CloseHandle(h);
    }
    std::vector<std::string> With(const std::function<void(TDateTimeCriteria&)>& set)
    {
        TFindFile f(nullptr);
        f.Criteria()->Files()->SetLocation(folder_);
        f.Criteria()->Files()->SetFileName("*.*");
        set(*f.Criteria()->TimeStamp());
        std::vector<std::string> names;
        f.OnFileMatch = [&](rtl::TObject*, const std::string&, const TSearchRec& rec) {
            names.push_back(rec.Name);
        };
        f.Execute();
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string folder_;
};

// Access times set through the API come back through the enumeration; 2010-05-06 is day 40304.
TEST_F(TimeTree, AccessedBoundsPairBothEnds)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(With([](TDateTimeCriteria& t) {
                  t.AccessedAfter = 40304;
                  t.AccessedBefore = 40304;
              }),
              V{"a.txt"});
    EXPECT_EQ(With([](TDateTimeCriteria& t) { t.AccessedAfter = 40304.5; }), (V{"a.txt", "b.txt"}));
    EXPECT_EQ(With([](TDateTimeCriteria& t) { t.AccessedAfter = 40304.9; }), V{"b.txt"});
}

TEST(FindFileWin32, ExcludedMasksWithDriveLettersAndWildcardDrives)
{
    const std::string folder = MakeTempFolder("excl");
    CreateDirectoryA((folder + "Skip").c_str(), nullptr);
    MakeFile(folder + "a.tmp", FILE_ATTRIBUTE_ARCHIVE);
    MakeFile(folder + "Skip\\b.tmp", FILE_ATTRIBUTE_ARCHIVE);
    const auto run = [&](const std::string& mask) {
        TFindFile f(nullptr);
        f.Criteria()->Files()->SetLocation(folder);
        f.Criteria()->Files()->SetFileName("*.*");
        f.Criteria()->Files()->Excluded()->Add(mask);
        std::vector<std::string> names;
        f.OnFileMatch = [&](rtl::TObject*, const std::string&, const TSearchRec& rec) {
            names.push_back(rec.Name);
        };
        f.Execute();
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::string drive = folder.substr(0, 2);
    const std::string otherDrive = drive[0] == 'Q' ? "R:" : "Q:";
    EXPECT_EQ(run(drive + "\\*\\Skip\\"), (std::vector<std::string>{"a.tmp", "b.tmp"}))
        << "a folder part must end the folder, not match by wildcard";
    EXPECT_EQ(run(drive + "\\Skip\\"), (std::vector<std::string>{"a.tmp"}));
    EXPECT_EQ(run("*:\\Skip\\*.tmp"), (std::vector<std::string>{"a.tmp"}));
    EXPECT_EQ(run(otherDrive + "\\Skip\\"), (std::vector<std::string>{"a.tmp", "b.tmp"}));
    EXPECT_EQ(run("*.tmp"), (std::vector<std::string>{}));
    DeleteFileA((folder + "Skip\\b.tmp").c_str());
    DeleteFileA((folder + "a.tmp").c_str());
    RemoveDirectoryA((folder + "Skip").c_str());
    RemoveDirectoryA(folder.c_str());
}

TEST(FindFileWin32, ContentFileLockedByAnotherOpenerDoesNotMatch)
{
    const std::string folder = MakeTempFolder("lock");
    MakeFile(folder + "open.txt", FILE_ATTRIBUTE_ARCHIVE);
    MakeFile(folder + "locked.txt", FILE_ATTRIBUTE_ARCHIVE);
    HANDLE lock =
        CreateFileA((folder + "locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    TFindFile f(nullptr);
    f.Criteria()->Files()->SetLocation(folder);
    f.Criteria()->Files()->SetFileName("*.*");
    f.Criteria()->Content()->SetPhrase("DATA");
    std::vector<std::string> names;
    f.OnFileMatch = [&](rtl::TObject*, const std::string&, const TSearchRec& rec) {
        names.push_back(rec.Name);
    };
    f.Execute();
    CloseHandle(lock);
    EXPECT_EQ(names, (std::vector<std::string>{"open.txt"}));
    DeleteFileA((folder + "open.txt").c_str());
    DeleteFileA((folder + "locked.txt").c_str());
    RemoveDirectoryA(folder.c_str());
}

TEST(FindFileWin32, ThreadedFinishArrivesThroughTheApplicationMessageLoop)
{
    rtl::SetMainThread();
    const std::string folder = MakeTempFolder("loop");
    MakeFile(folder + "a.txt", FILE_ATTRIBUTE_ARCHIVE);
    TFindFile f(nullptr);
    f.SetThreaded(true);
    f.Criteria()->Files()->SetLocation(folder);
    int finished = 0;
    f.OnSearchFinish = [&](rtl::TObject*) { ++finished; };
    f.Execute();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (f.Busy() && std::chrono::steady_clock::now() < deadline) {
        win::Application->ProcessMessages();
        // The finish is brought to this thread by a message: wait for one instead of polling.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    }
    EXPECT_FALSE(f.Busy());
    EXPECT_EQ(finished, 1);
    DeleteFileA((folder + "a.txt").c_str());
    RemoveDirectoryA(folder.c_str());
}

TEST(WaitWithMessages, SignalledHandleAndTimeoutOnTheOwnThreadPseudoHandle)
{
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_TRUE(WaitWithMessages(reinterpret_cast<std::intptr_t>(event), -1));
    CloseHandle(event);
    const auto start = std::chrono::steady_clock::now();
    // The pseudo-handle of the running thread is duplicated into a real one; it never signals.
    EXPECT_FALSE(WaitWithMessages(reinterpret_cast<std::intptr_t>(GetCurrentThread()), 60));
    // It may not give up before its time; how much later it returns depends on the machine's load.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

}  // namespace
}  // namespace app
