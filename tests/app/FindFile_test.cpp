// The search on real folder trees: masks, locations, levels, criteria, event order and abort.
#include "app/FindFile.h"

#include "app/kzFiles.h"

#include "platform/rtl/FormStream.h"
#include "platform/rtl/FormText.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Thread.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace app {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class TreeFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        rtl::SetMainThread();
        static int counter = 0;
        root_ = fs::temp_directory_path() /
                ("va_findfile_" + std::to_string(++counter) + "_" +
                 std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(root_);
        // Our paths use "\" on every platform; the POSIX build maps them at the system calls.
        rootText_ = root_.string();
        std::replace(rootText_.begin(), rootText_.end(), '/', '\\');
        rootText_ = AddBackSlash(rootText_);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    fs::path Make(std::string relative, const std::string& data = "x")
    {
        std::replace(relative.begin(), relative.end(), '\\', '/');
        fs::path p = root_ / fs::path(relative);
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << data;
        return p;
    }
    // A tree of 144 files, wide enough that a search takes many events.
    void MakeWideTree()
    {
        for (int a = 0; a < 6; ++a)
            for (int b = 0; b < 6; ++b)
                for (int c = 0; c < 4; ++c)
                    Make("d" + std::to_string(a) + "\\e" + std::to_string(b) + "\\f" + std::to_string(c) +
                         ".txt");
    }
    // Points a search at the tree with a mask, on this thread or a worker.
    void Prepare(TFindFile& f, const std::string& mask, bool threaded = false) const
    {
        f.SetThreaded(threaded);
        f.Criteria()->Files()->SetLocation(rootText_);
        f.Criteria()->Files()->SetFileName(mask);
    }
    std::string Folder(const std::string& relative) const
    {
        return relative.empty() ? rootText_ : AddBackSlash(rootText_ + relative);
    }
    // Folder-relative names, sorted.
    Names Relative(Names full) const
    {
        for (auto& n : full)
            n = n.substr(rootText_.size());
        std::sort(full.begin(), full.end());
        return full;
    }

    fs::path root_;
    std::string rootText_;
};

// Records the events of one search in order.
struct Recorder {
    std::mutex lock;
    Names events;
    Names matches;  // folder + name

    void Attach(TFindFile& f)
    {
        f.OnSearchBegin = [this](rtl::TObject*) { Add("begin"); };
        f.OnSearchFinish = [this](rtl::TObject*) { Add("finish"); };
        f.OnSearchAbort = [this](rtl::TObject*) { Add("abort"); };
        f.OnFolderChange = [this](rtl::TObject*, const std::string& folder, TFolderIgnore&) {
            Add("folder " + folder);
        };
        f.OnFileMatch = [this](rtl::TObject*, const std::string& folder, const TSearchRec& rec) {
            Add("match " + folder + rec.Name);
            std::lock_guard<std::mutex> g(lock);
            matches.push_back(folder + rec.Name);
        };
    }
    void Add(const std::string& e)
    {
        std::lock_guard<std::mutex> g(lock);
        events.push_back(e);
    }
    long Count(const std::string& e)
    {
        std::lock_guard<std::mutex> g(lock);
        return std::count(events.begin(), events.end(), e);
    }
};

// A search run on the calling thread; the files it found, in order.
Names Search(TFindFile& f, Recorder& r)
{
    r.Attach(f);
    f.Execute();
    return r.matches;
}

void WaitUntilIdle(TFindFile& f)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (f.Busy() && std::chrono::steady_clock::now() < deadline) {
        rtl::CheckSynchronize(5);
        PumpMessages();
    }
    ASSERT_FALSE(f.Busy()) << "search did not finish";
}

// ---- what is searched and what matches

TEST_F(TreeFixture, MasksLocationsAndLevelsChooseTheFiles)
{
    for (const char* name : {"zntpanel.exe", "ZNT.EXE", "zntpanel.exe.bak", "xznt.exe", "zntdoc.txt",
                             "A\\znt2.exe", "A\\B\\znt3.exe", "A\\B\\C\\znt4.exe", "A\\B\\C\\D\\znt5.exe"})
        Make(name);
    struct Case {
        const char* fileName;
        std::uint16_t minLevel, maxLevel;
        Names expected;
    };
    const Case cases[] = {
        {"znt*.exe",
         0,
         0,
         {"A\\B\\C\\D\\znt5.exe", "A\\B\\C\\znt4.exe", "A\\B\\znt3.exe", "A\\znt2.exe", "ZNT.EXE",
          "zntpanel.exe"}},
        // A mask without extension compares base names only.
        {"znt*", 0, 1, {"ZNT.EXE", "zntdoc.txt", "zntpanel.exe", "zntpanel.exe.bak"}},
        // Level 4 is three levels of subfolders below the location.
        {"znt*.exe", 0, 4, {"A\\B\\C\\znt4.exe", "A\\B\\znt3.exe", "A\\znt2.exe", "ZNT.EXE", "zntpanel.exe"}},
        // Shallow folders are still walked for their subfolders.
        {"*.exe", 3, 0, {"A\\B\\C\\D\\znt5.exe", "A\\B\\C\\znt4.exe", "A\\B\\znt3.exe"}},
        // No mask matches no file.
        {"", 0, 0, {}},
        {" ; ", 0, 0, {}},
    };
    for (const Case& c : cases) {
        TFindFile f(nullptr);
        Prepare(f, c.fileName);
        f.Criteria()->Files()->SetMinLevel(c.minLevel);
        f.Criteria()->Files()->SetMaxLevel(c.maxLevel);
        Recorder r;
        EXPECT_EQ(Relative(Search(f, r)), c.expected)
            << "'" << c.fileName << "' " << c.minLevel << ".." << c.maxLevel;
        EXPECT_EQ(r.Count("folder " + Folder("A\\B")), c.maxLevel == 0 || c.maxLevel >= 3 ? 1 : 0)
            << "'" << c.fileName << "': folders are walked whatever matches";
        EXPECT_EQ(f.CurrentLevel(), 0);
    }
}

TEST_F(TreeFixture, LocationSwitchesAndOrderFollowTheList)
{
    Make("Work\\a.txt");
    Make("Work\\Sub\\b.txt");
    Make("Temp\\c.txt");
    Make("Temp\\Sub\\d.txt");
    TFindFile f(nullptr);
    // The repeated location (other case) joins the first target instead of being searched twice.
    f.Criteria()->Files()->SetLocation(">" + Folder("Work") + ";<" + Folder("Temp") + "; ;>" +
                                       Folder("WORK"));
    f.Criteria()->Files()->SetSubfolders(false);
    f.Criteria()->Files()->SetFileName("*.txt");
    Recorder r;
    const Names found = Search(f, r);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[2], Folder("Temp") + "c.txt") << "Work with its subfolder first, then Temp alone";
    EXPECT_EQ(Relative({found[0], found[1]}), (Names{"Work\\Sub\\b.txt", "Work\\a.txt"}));
}

TEST_F(TreeFixture, IncludedTargetsAndExcludedMasks)
{
    Make("Keep\\a.log");
    Make("Keep\\a.txt");
    Make("Keep\\Skip\\b.log");
    Make("Keep\\Other\\c.log");
    Make("Bare\\d.log");
    TFindFile f(nullptr);
    f.Criteria()->Files()->Included()->Add(">" + Folder("Keep") + "*.log");
    // Only a folder: walked, but no file of it matches.
    f.Criteria()->Files()->Included()->Add(Folder("Bare"));
    f.Criteria()->Files()->Excluded()->Add("\\Skip\\");
    Recorder r;
    EXPECT_EQ(Relative(Search(f, r)), (Names{"Keep\\Other\\c.log", "Keep\\a.log"}));
    EXPECT_EQ(r.Count("folder " + Folder("Bare")), 1);
}

TEST_F(TreeFixture, SizeBoundsAreInclusive)
{
    for (int size : {9, 10, 20, 21})
        Make("s" + std::to_string(size) + ".bin", std::string(std::size_t(size), 'a'));
    TFindFile f(nullptr);
    Prepare(f, "*.*");
    f.Criteria()->Size()->Min = 10;
    f.Criteria()->Size()->Max = 20;
    Recorder r;
    EXPECT_EQ(Relative(Search(f, r)), (Names{"s10.bin", "s20.bin"}));
}

TEST_F(TreeFixture, ModifiedTimeSetThroughTheFileSystemIsFilteredByDate)
{
    const auto oldFile = Make("old.txt");
    Make("new.txt");
    fs::last_write_time(oldFile, fs::file_time_type::clock::now() - std::chrono::hours(24 * 40));
    // Today as a whole day number, from a file written just now.
    TDateTime today = 0;
    EnumerateFolder(rootText_, "new.txt", [&](const TSearchRec& rec) {
        today = std::trunc(rtl::FileTimeToLocalDateTime(rec.LastWriteTime));
        return false;
    });
    ASSERT_GT(today, 40000);
    for (bool after : {true, false}) {
        TFindFile f(nullptr);
        Prepare(f, "*.txt");
        (after ? f.Criteria()->TimeStamp()->ModifiedAfter : f.Criteria()->TimeStamp()->ModifiedBefore) =
            today - 10;
        Recorder r;
        EXPECT_EQ(Relative(Search(f, r)), Names{after ? "new.txt" : "old.txt"});
    }
}

// File time (UTC ticks since 1601) whose local date-time is `local`, away from clock changes.
std::uint64_t TicksAtLocal(TDateTime local)
{
    const auto ticks = [](TDateTime days) {
        return std::uint64_t((days - 25569.0) * 864000000000.0 + 0.5) + 116444736000000000ULL;
    };
    const TDateTime offset = rtl::FileTimeToLocalDateTime(ticks(local)) - local;
    return ticks(local - offset);
}

TEST(TimeBounds, EachPairJudgesItsOwnTimeByDateTimeOfDayOrFullValue)
{
    // Created 2001-03-04 08:00, modified 2005-01-01 16:00, accessed 2010-05-06 20:00 (local).
    TSearchRec rec;
    rec.Name = "a.txt";
    rec.CreationTime = TicksAtLocal(36954 + 8 / 24.0);
    rec.LastWriteTime = TicksAtLocal(38353 + 16 / 24.0);
    rec.LastAccessTime = TicksAtLocal(40304 + 20 / 24.0);
    using Bound = TDateTime TDateTimeCriteria::*;
    struct Case {
        Bound bound;
        TDateTime value;
        bool accepted;
    };
    const Case cases[] = {
        {&TDateTimeCriteria::CreatedBefore, 36954, true},     // the same day counts
        {&TDateTimeCriteria::CreatedBefore, 36953, false},    // the day before
        {&TDateTimeCriteria::CreatedAfter, 36955, false},     // the day after
        {&TDateTimeCriteria::CreatedBefore, 0.5, true},       // before noon, any day
        {&TDateTimeCriteria::CreatedAfter, 0.5, false},       // after noon
        {&TDateTimeCriteria::CreatedBefore, 36954.4, true},   // up to 09:36 that day
        {&TDateTimeCriteria::CreatedBefore, 36954.3, false},  // 07:12 is too early
        {&TDateTimeCriteria::ModifiedAfter, 0.5, true},       // 16:00 is after noon
        {&TDateTimeCriteria::ModifiedBefore, 38352, false},  {&TDateTimeCriteria::ModifiedAfter, 38353, true},
        {&TDateTimeCriteria::AccessedAfter, 40304.9, false},  // 21:36
        {&TDateTimeCriteria::AccessedAfter, 40304.8, true},   // 19:12
        {&TDateTimeCriteria::AccessedBefore, 40304, true},
    };
    for (const Case& c : cases) {
        TSearchCriteria criteria;
        criteria.TimeStamp()->*c.bound = c.value;
        EXPECT_EQ(TTargetSearch(criteria).IsAcceptable("C:\\", rec), c.accepted) << "bound " << c.value;
    }
}

TEST_F(TreeFixture, ContentPhraseAcrossTheBufferBoundaryAndWholeWord)
{
    const std::size_t b = TContentMatcher::kBufferSize;
    std::string straddle(2 * b, '.');
    straddle.replace(b - 2, 6, "needle");
    Make("straddle.dat", straddle);
    Make("inside.dat", "xneedle");
    Make("end.dat", "the needle");
    Make("upper.dat", "NEEDLE!");
    Make("none.dat", std::string(b + 10, 'n'));
    Make("Sub\\deep.dat", "a needle b");
    struct Case {
        bool wholeWord, ignoreCase;
        Names expected;
    };
    const Case cases[] = {
        {true, true, {"Sub\\deep.dat", "end.dat", "straddle.dat", "upper.dat"}},
        {false, false, {"Sub\\deep.dat", "end.dat", "inside.dat", "straddle.dat"}},
    };
    for (const Case& c : cases) {
        TFindFile f(nullptr);
        Prepare(f, "*.*");
        f.Criteria()->Content()->SetPhrase("needle");
        f.Criteria()->Content()->SetWholeWord(c.wholeWord);
        f.Criteria()->Content()->SetIgnoreCase(c.ignoreCase);
        // Folders never match a content search, even when the attributes let them through.
        f.Criteria()->Attribute()->SetAttributes({ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory});
        Recorder r;
        EXPECT_EQ(Relative(Search(f, r)), c.expected) << c.wholeWord << c.ignoreCase;
    }
}

TEST_F(TreeFixture, FolderAnswersSkipFilesOrSubfolders)
{
    Make("top.txt");
    Make("A\\a.txt");
    Make("A\\B\\b.txt");
    const std::pair<TFolderIgnore, Names> cases[] = {
        {fiNone, {"A\\B\\b.txt", "A\\a.txt", "top.txt"}},
        {fiJustThis, {"A\\B\\b.txt", "top.txt"}},
        {fiJustSubfolders, {"A\\a.txt", "top.txt"}},
        {fiThisAndSubfolders, {"top.txt"}},
    };
    for (const auto& [answer, expected] : cases) {
        TFindFile f(nullptr);
        Prepare(f, "*.txt");
        Recorder r;
        r.Attach(f);
        f.OnFolderChange = [&, answer = answer](rtl::TObject*, const std::string& folder,
                                                TFolderIgnore& ignore) {
            if (folder == Folder("A"))
                ignore = answer;
        };
        f.Execute();
        EXPECT_EQ(Relative(r.matches), expected) << int(answer);
    }
}

// ---- events, threads and failures

TEST_F(TreeFixture, EventsComeInOrderOnTheCallersThreadAndThroughTheWorker)
{
    Make("a.txt");
    Make("S\\b.txt");
    const Names expected = {"begin",
                            "folder " + Folder(""),
                            "match " + Folder("") + "a.txt",
                            "folder " + Folder("S"),
                            "match " + Folder("S") + "b.txt",
                            "finish"};
    for (bool threaded : {false, true}) {
        TFindFile f(nullptr);
        Prepare(f, "*.txt", threaded);
        Recorder r;
        r.Attach(f);
        std::thread::id finishThread, matchThread;
        f.OnSearchFinish = [&](rtl::TObject*) {
            finishThread = std::this_thread::get_id();
            r.Add("finish");
        };
        f.OnFileMatch = [&](rtl::TObject*, const std::string& folder, const TSearchRec& rec) {
            matchThread = std::this_thread::get_id();
            r.Add("match " + folder + rec.Name);
        };
        f.Execute();
        if (threaded)
            f.Execute();  // busy: ignored
        WaitUntilIdle(f);
        EXPECT_EQ(r.events, expected) << threaded;
        EXPECT_EQ(finishThread, std::this_thread::get_id());
        EXPECT_EQ(matchThread == std::this_thread::get_id(), !threaded);
    }
}

TEST_F(TreeFixture, AnExceptionFinishesTheSearchAndReachesTheCallerOfASearchOnItsThread)
{
    Make("a.txt");
    for (bool threaded : {false, true}) {
        TFindFile f(nullptr);
        Prepare(f, "*.txt", threaded);
        Recorder r;
        r.Attach(f);
        f.OnFileMatch = [](rtl::TObject*, const std::string&, const TSearchRec&) {
            throw rtl::Exception("boom");
        };
        if (threaded)
            f.Execute();
        else
            EXPECT_THROW(f.Execute(), rtl::Exception);
        WaitUntilIdle(f);
        EXPECT_EQ(r.events.back(), "finish") << threaded;
    }
}

// Signals once the worker has got to a chosen point, so the main thread acts exactly then.
struct TReached {
    std::mutex lock;
    std::condition_variable cv;
    bool reached = false;

    void Signal()
    {
        {
            std::lock_guard<std::mutex> g(lock);
            reached = true;
        }
        cv.notify_all();
    }
    bool Wait()
    {
        std::unique_lock<std::mutex> g(lock);
        return cv.wait_for(g, std::chrono::seconds(60), [&] { return reached; });
    }
};

// A search whose worker stops before judging the file after its n-th match until it is aborted.
// The acceptance test runs outside the event lock, so Abort takes effect right there.
class TGatedSearch : public TFindFile {
public:
    explicit TGatedSearch(int matchesBefore) : TFindFile(nullptr), matchesBefore_(matchesBefore) {}
    TReached gate;
    std::atomic<int> accepted{0};

protected:
    bool IsAcceptable(const std::string& folder, const TSearchRec& entry) override
    {
        if (accepted == matchesBefore_) {
            gate.Signal();
            while (!Aborted())
                std::this_thread::yield();
        }
        const bool ok = TFindFile::IsAcceptable(folder, entry);
        accepted += ok;
        return ok;
    }

private:
    const int matchesBefore_;
};

TEST_F(TreeFixture, AbortMidWalkFiresOnceStopsTheMatchesAndStillFinishes)
{
    MakeWideTree();
    for (int matchesBefore : {0, 1, 37, 143}) {
        TGatedSearch f(matchesBefore);
        Prepare(f, "*.txt", true);
        Recorder r;
        r.Attach(f);
        f.Execute();
        ASSERT_TRUE(f.gate.Wait()) << matchesBefore;
        f.Abort();
        f.Abort();  // a second abort does nothing
        EXPECT_FALSE(f.Busy());
        WaitUntilIdle(f);
        EXPECT_EQ(r.Count("abort"), 1);
        EXPECT_EQ(r.Count("finish"), 1);
        EXPECT_EQ(r.events.back(), "finish");
        EXPECT_EQ(int(r.matches.size()), matchesBefore) << "no match may follow the abort";
    }
}

TEST_F(TreeFixture, AbortFromTheWorkersOwnEventDoesNotWaitForItself)
{
    MakeWideTree();
    TFindFile f(nullptr);
    Prepare(f, "*.txt", true);
    Recorder r;
    r.Attach(f);
    int matches = 0;
    f.OnFileMatch = [&](rtl::TObject* sender, const std::string&, const TSearchRec&) {
        if (++matches == 3)
            static_cast<TFindFile*>(sender)->Abort();
    };
    f.Execute();
    WaitUntilIdle(f);
    EXPECT_EQ(matches, 3);
    EXPECT_EQ(r.Count("abort"), 1);
}

TEST_F(TreeFixture, MatchHandlerSynchronizingWithTheMainThreadDoesNotDeadlockAbort)
{
    MakeWideTree();
    for (int round = 0; round < 20; ++round) {
        TFindFile f(nullptr);
        Prepare(f, "*.txt", true);
        int shown = 0;
        f.OnFileMatch = [&](rtl::TObject*, const std::string&, const TSearchRec&) {
            rtl::Synchronize([&] { ++shown; });
        };
        f.Execute();
        for (int i = 0; i < round; ++i)
            rtl::CheckSynchronize(1);
        f.Abort();
        EXPECT_FALSE(f.Busy());
    }
}

TEST_F(TreeFixture, DestroyingABusySearchAbortsWaitsAndRaisesAQueuedFailureLater)
{
    MakeWideTree();
    // Queued before the worker's termination call, so the destructor's wait runs it first.
    rtl::ForceQueue([] { throw rtl::EThread("queued failure"); });
    Recorder r;
    {
        rtl::TComponent owner(nullptr);
        auto* f = new TFindFile(&owner);
        f->SetThreaded(true);
        f->Criteria()->Files()->SetLocation(rootText_);
        f->Criteria()->Files()->SetFileName("*.txt");
        r.Attach(*f);
        // The worker waits inside its fifth match for the main thread, which serves it only from
        // the destructor's wait: the component is certainly busy when it is destroyed.
        TReached fifth;
        int matches = 0;
        f->OnFileMatch = [&](rtl::TObject*, const std::string&, const TSearchRec&) {
            if (++matches == 5) {
                fifth.Signal();
                rtl::Synchronize([] {});
            }
        };
        f->Execute();
        ASSERT_TRUE(fifth.Wait());
    }
    // The owner freed the component mid-search: nothing ran against freed memory (ASan), the
    // destroyed component raised no events, and the queued failure was kept, not lost.
    EXPECT_THAT(
        [] {
            while (rtl::CheckSynchronize(0)) {
            }
        },
        testing::ThrowsMessage<rtl::EThread>(testing::StrEq("queued failure")));
    EXPECT_EQ(r.Count("finish"), 0);
    EXPECT_EQ(r.Count("abort"), 0);
}

// ---- the plan and the stored form

TEST(FindFilePlan, SplitDropsBlanksAndRepeatsIgnoringCase)
{
    EXPECT_EQ(SplitMaskList(" a.txt ; ;B.TXT;A.TXT;;b.txt "), (Names{"a.txt", "B.TXT"}));
    EXPECT_TRUE(SplitMaskList("").empty());
    EXPECT_TRUE(SplitMaskList(";;").empty());
}

TEST(FindFilePlan, CriteriaAssignCopiesEveryPart)
{
    TSearchCriteria a, b;
    a.Files()->SetFileName("x*.y");
    a.Files()->SetLocation("<C:\\");
    a.Files()->Excluded()->Add("*.bak");
    a.Files()->SetMaxLevel(3);
    a.Attribute()->SetExactMatch(true);
    a.Size()->Max = 99;
    a.TimeStamp()->AccessedAfter = 5;
    a.Content()->SetPhrase("abc");
    a.Content()->SetIgnoreCase(false);
    b.Assign(&a);
    EXPECT_EQ(b.Files()->FileName(), "x*.y");
    EXPECT_EQ(b.Files()->Location(), "<C:\\");
    EXPECT_EQ(b.Files()->Excluded()->Count(), 1);
    EXPECT_EQ(b.Files()->MaxLevel(), 3);
    EXPECT_TRUE(b.Attribute()->ExactMatch());
    EXPECT_EQ(b.Size()->Max, 99u);
    EXPECT_EQ(b.TimeStamp()->AccessedAfter, 5);
    EXPECT_EQ(b.Content()->Phrase(), "abc");
    EXPECT_FALSE(b.Content()->IgnoreCase());
    TSizeCriteria s;
    EXPECT_THROW(s.Assign(&a), rtl::EConvertError);
}

std::string AsText(TFindFile* component)
{
    rtl::TMemoryStream written;
    rtl::WriteComponentRes(written, component);
    written.SetPosition(0);
    rtl::TStringStream back;
    rtl::ObjectBinaryToText(written, back);
    return back.DataString();
}

// What a form description makes of its one component, which the reader creates by class name.
std::unique_ptr<rtl::TComponent> FromText(const std::string& text)
{
    rtl::RegisterClass(TFindFile::StaticClassInfo());
    rtl::TStringStream source(text);
    source.SetPosition(0);
    rtl::TMemoryStream binary;
    rtl::ObjectTextToBinary(source, binary);
    binary.SetPosition(0);
    return std::unique_ptr<rtl::TComponent>(rtl::ReadComponentRes(binary, nullptr));
}

TEST(FindFilePlan, TheMainWindowsSettingsReadFromAndWriteToAFormDescription)
{
    auto read = FromText(
        "object FindFile: TFindFile\r\n"
        "  Criteria.Files.FileName = 'znt*.exe'\r\n"
        "  Criteria.Files.MaxLevel = 4\r\n"
        "  Criteria.Attribute.Attributes = [ffArchive, ffReadonly]\r\n"
        "  Criteria.Content.IgnoreCase = False\r\n"
        "  Threaded = True\r\n"
        "  ThreadPriority = tpLowest\r\n"
        "end\r\n");
    auto* f = dynamic_cast<TFindFile*>(read.get());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Name(), "FindFile");
    EXPECT_EQ(f->Criteria()->Files()->FileName(), "znt*.exe");
    EXPECT_EQ(f->Criteria()->Files()->MaxLevel(), 4);
    EXPECT_EQ(f->Criteria()->Attribute()->Mask(), 0x21u);  // archive and read-only bits
    EXPECT_FALSE(f->Criteria()->Content()->IgnoreCase());
    EXPECT_TRUE(f->Threaded());
    EXPECT_EQ(f->ThreadPriority(), rtl::tpLowest);

    // Written back, only what differs from the defaults is stored.
    const std::string out = AsText(f);
    for (const char* line :
         {"Criteria.Files.FileName = 'znt*.exe'", "Criteria.Attribute.Attributes = [ffArchive, ffReadonly]",
          "ThreadPriority = tpLowest"})
        EXPECT_NE(out.find(line), std::string::npos) << out;
    EXPECT_EQ(out.find("Subfolders"), std::string::npos) << out;
    f->SetThreadPriority(rtl::tpNormal);
    EXPECT_EQ(AsText(f).find("ThreadPriority"), std::string::npos) << "the default is left out";

    EXPECT_THAT([] { FromText("object FindFile: TFindFile\r\n  ThreadPriority = tpUrgent\r\nend\r\n"); },
                testing::ThrowsMessage<rtl::EReadError>(testing::HasSubstr("ThreadPriority")));
}

}  // namespace
}  // namespace app
