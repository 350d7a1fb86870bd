// The search on real folder trees: masks, locations, levels, criteria, event order and abort.
#include "app/FindFile.h"

#include "app/kzFiles.h"

#include "platform/rtl/FormStream.h"
#include "platform/rtl/FormText.h"
#include "platform/rtl/Thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

namespace app {
namespace {

namespace fs = std::filesystem;

// Our paths use "\" on every platform; the POSIX build maps them at the system calls.
std::string ToSearchPath(const fs::path& p)
{
    std::string s = p.string();
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

class TreeFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        rtl::SetMainThread();
        static int counter = 0;
        root_ = fs::temp_directory_path() /
                ("va_findfile_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                 std::to_string(++counter) + "_" +
                 std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(root_);
        rootText_ = AddBackSlash(ToSearchPath(root_));
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
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
    std::string Folder(const std::string& relative) const
    {
        return relative.empty() ? rootText_ : AddBackSlash(rootText_ + relative);
    }

    fs::path root_;
    std::string rootText_;
};

// Records the events of one search in order.
struct Recorder {
    std::mutex lock;
    std::vector<std::string> events;
    std::vector<std::string> matches;  // folder + name

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
    std::vector<std::string> SortedMatches()
    {
        std::lock_guard<std::mutex> g(lock);
        auto m = matches;
        std::sort(m.begin(), m.end());
        return m;
    }
};

std::vector<std::string> RunSearch(TFindFile& f, Recorder& r)
{
    r.Attach(f);
    f.Execute();
    return r.SortedMatches();
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

TEST_F(TreeFixture, MaskMatchesNamesByBaseAndExtension)
{
    for (const char* name : {"zntpanel.exe", "ZNT.EXE", "zntpanel.exe.bak", "xznt.exe", "zntdoc.txt"})
        Make(name);
    TFindFile f(nullptr);
    f.Criteria()->Files()->SetLocation(rootText_);
    f.Criteria()->Files()->SetFileName("znt*.exe");
    Recorder r;
    auto found = RunSearch(f, r);
    std::vector<std::string> expected = {Folder("") + "ZNT.EXE", Folder("") + "zntpanel.exe"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);

    TFindFile g(nullptr);
    g.Criteria()->Files()->SetLocation(rootText_);
    g.Criteria()->Files()->SetFileName("znt*");
    Recorder r2;
    found = RunSearch(g, r2);
    EXPECT_EQ(found.size(), 4u);  // everything whose base name starts with znt
}

TEST_F(TreeFixture, MaxLevelFourSearchesThreeLevelsBelowTheLocation)
{
    Make("znt1.exe");
    Make("A\\znt2.exe");
    Make("A\\B\\znt3.exe");
    Make("A\\B\\C\\znt4.exe");
    Make("A\\B\\C\\D\\znt5.exe");
    TFindFile f(nullptr);
    f.Criteria()->Files()->SetLocation(rootText_);
    f.Criteria()->Files()->SetFileName("znt*.exe");
    f.Criteria()->Files()->SetMaxLevel(4);
    Recorder r;
    const auto found = RunSearch(f, r);
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found.back(), Folder("") + "znt1.exe");
    EXPECT_TRUE(std::none_of(found.begin(), found.end(),
                             [](const std::string& s) { return s.find("znt5") != std::string::npos; }));
    EXPECT_EQ(f.CurrentLevel(), 0);
}

TEST_F(TreeFixture, MinLevelSkipsShallowFoldersButStillWalksThem)
{
    Make("znt1.exe");
    Make("A\\znt2.exe");
    Make("A\\B\\znt3.exe");
    TFindFile f(nullptr);
    f.Criteria()->Files()->SetLocation(rootText_);
    f.Criteria()->Files()->SetFileName("*.exe");
    f.Criteria()->Files()->SetMinLevel(2);
    Recorder r;
    const auto found = RunSearch(f, r);
    EXPECT_EQ(found, (std::vector<std::string>{Folder("A\\B") + "znt3.exe", Folder("A") + "znt2.exe"}));
}

TEST_F(TreeFixture, LocationSwitchesAndOrderFollowTheList)
{
    Make("Work\\a.txt");
    Make("Work\\Sub\\b.txt");
    Make("Temp\\c.txt");
    Make("Temp\\Sub\\d.txt");
    TFindFile f(nullptr);
    f.Criteria()->Files()->SetLocation(">" + Folder("Work") + ";<" + Folder("Temp") + "; ;>" +
                                       Folder("WORK"));
    f.Criteria()->Files()->SetSubfolders(false);
    f.Criteria()->Files()->SetFileName("*.txt");
    Recorder r;
    r.Attach(f);
    f.Execute();
    std::vector<std::string> matches = r.matches;
    // Work (with subfolders) comes first, Temp without its subfolder; the repeated location
    // (other case) joins the first target instead of being searched twice.
    ASSERT_EQ(matches.size(), 3u);
    EXPECT_EQ(matches[2], Folder("Temp") + "c.txt");
    EXPECT_NE(std::find(matches.begin(), matches.end(), Folder("Work\\Sub") + "b.txt"), matches.end());
}

TEST_F(TreeFixture, IncludedTargetsAndExcludedMasks)
{
    Make("Keep\\a.log");
    Make("Keep\\a.txt");
    Make("Keep\\Skip\\b.log");
    Make("Keep\\Other\\c.log");
    TFindFile f(nullptr);
    f.Criteria()->Files()->Included()->Add(">" + Folder("Keep") + "*.log");
    f.Criteria()->Files()->Excluded()->Add("\\Skip\\");
    Recorder r;
    const auto found = RunSearch(f, r);
    EXPECT_EQ(found, (std::vector<std::string>{Folder("Keep\\Other") + "c.log", Folder("Keep") + "a.log"}));
}

TEST_F(TreeFixture, SizeBoundsAreInclusive)
{
    Make("s9.bin", std::string(9, 'a'));
    Make("s10.bin", std::string(10, 'a'));
    Make("s20.bin", std::string(20, 'a'));
    Make("s21.bin", std::string(21, 'a'));
    TFindFile f(nullptr);
    f.Criteria()->Files()->SetLocation(rootText_);
    f.Criteria()->Size()->Min = 10;
    f.Criteria()->Size()->Max = 20;
    Recorder r;
    EXPECT_EQ(RunSearch(f, r), (std::vector<std::string>{Folder("") + "s10.bin", Folder("") + "s20.bin"}));
}

TEST_F(TreeFixture, ModifiedTimeBoundsByDate)
{
    const auto oldFile = Make("old.txt");
    Make("new.txt");
    fs::last_write_time(oldFile, fs::file_time_type::clock::now() - std::chrono::hours(24 * 40));
    TFindFile f(nullptr);
    f.Criteria()->Files()->SetLocation(rootText_);
    // Today as a whole day number, from a file written just now.
    TSearchRec probe;
    TDateTime today = 0;
    EnumerateFolder(rootText_, "new.txt", [&](const TSearchRec& rec) {
        today = std::trunc(FileTimeToLocalDateTime(rec.LastWriteTime));
        return false;
    });
    ASSERT_GT(today, 40000);
    f.Criteria()->TimeStamp()->ModifiedAfter = today - 10;
    Recorder r;
    EXPECT_EQ(RunSearch(f, r), (std::vector<std::string>{Folder("") + "new.txt"}));

    TFindFile g(nullptr);
    g.Criteria()->Files()->SetLocation(rootText_);
    g.Criteria()->TimeStamp()->ModifiedBefore = today - 10;
    Recorder r2;
    EXPECT_EQ(RunSearch(g, r2), (std::vector<std::string>{Folder("") + "old.txt"}));
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

    TFindFile f(nullptr);
    f.Criteria()->Files()->SetLocation(rootText_);
    f.Criteria()->Content()->SetPhrase("needle");
    f.Criteria()->Content()->SetWholeWord(true);
    f.Criteria()->Attribute()->SetAttributes({ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory});
    Recorder r;
    auto found = RunSearch(f, r);
    std::vector<std::string> expected = {Folder("") + "end.dat", Folder("") + "straddle.dat",
                                         Folder("") + "upper.dat", Folder("Sub") + "deep.dat"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);  // folders never match a content search, even with ffDirectory

    TFindFile g(nullptr);
    g.Criteria()->Files()->SetLocation(rootText_);
    g.Criteria()->Content()->SetPhrase("needle");
    g.Criteria()->Content()->SetIgnoreCase(false);
    g.Criteria()->Files()->SetSubfolders(false);
    Recorder r2;
    found = RunSearch(g, r2);
    EXPECT_EQ(found.size(), 3u);  // straddle, inside, end; not the upper-case one
}

TEST_F(TreeFixture, FolderAnswersSkipFilesOrSubfolders)
{
    Make("top.txt");
    Make("A\\a.txt");
    Make("A\\B\\b.txt");
    const auto runWith = [&](TFolderIgnore answerForA) {
        TFindFile f(nullptr);
        f.Criteria()->Files()->SetLocation(rootText_);
        Recorder r;
        r.Attach(f);
        const std::string a = Folder("A");
        f.OnFolderChange = [&](rtl::TObject*, const std::string& folder, TFolderIgnore& ignore) {
            if (folder == a)
                ignore = answerForA;
        };
        f.Execute();
        return r.SortedMatches();
    };
    EXPECT_EQ(runWith(fiNone).size(), 3u);
    EXPECT_EQ(runWith(fiJustThis),
              (std::vector<std::string>{Folder("A\\B") + "b.txt", Folder("") + "top.txt"}));
    EXPECT_EQ(runWith(fiJustSubfolders),
              (std::vector<std::string>{Folder("A") + "a.txt", Folder("") + "top.txt"}));
    EXPECT_EQ(runWith(fiThisAndSubfolders), (std::vector<std::string>{Folder("") + "top.txt"}));
}

TEST_F(TreeFixture, EventOrderOnTheCallersThread)
{
    Make("a.txt");
    Make("S\\b.txt");
    TFindFile f(nullptr);
    f.Criteria()->Files()->SetLocation(rootText_);
    Recorder r;
    r.Attach(f);
    f.Execute();
    EXPECT_EQ(r.events, (std::vector<std::string>{"begin", "folder " + Folder(""),
                                                  "match " + Folder("") + "a.txt", "folder " + Folder("S"),
                                                  "match " + Folder("S") + "b.txt", "finish"}));
    EXPECT_FALSE(f.Busy());
}

TEST_F(TreeFixture, ThreadedSearchFinishesOnTheMainThreadInOrder)
{
    Make("a.txt");
    Make("S\\b.txt");
    TFindFile f(nullptr);
    f.SetThreaded(true);
    f.Criteria()->Files()->SetLocation(rootText_);
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
    f.Execute();  // busy: ignored
    WaitUntilIdle(f);
    EXPECT_EQ(r.events, (std::vector<std::string>{"begin", "folder " + Folder(""),
                                                  "match " + Folder("") + "a.txt", "folder " + Folder("S"),
                                                  "match " + Folder("S") + "b.txt", "finish"}));
    EXPECT_EQ(finishThread, std::this_thread::get_id());
    EXPECT_NE(matchThread, std::this_thread::get_id());
}

TEST_F(TreeFixture, ExceptionInCallersSearchFinishesAndPropagates)
{
    Make("a.txt");
    TFindFile f(nullptr);
    f.Criteria()->Files()->SetLocation(rootText_);
    Recorder r;
    r.Attach(f);
    f.OnFileMatch = [](rtl::TObject*, const std::string&, const TSearchRec&) {
        throw rtl::Exception("boom");
    };
    EXPECT_THROW(f.Execute(), rtl::Exception);
    EXPECT_FALSE(f.Busy());
    EXPECT_EQ(r.events.back(), "finish");
}

TEST_F(TreeFixture, ExceptionOnTheWorkerStillFinishes)
{
    Make("a.txt");
    TFindFile f(nullptr);
    f.SetThreaded(true);
    f.Criteria()->Files()->SetLocation(rootText_);
    Recorder r;
    r.Attach(f);
    f.OnFileMatch = [](rtl::TObject*, const std::string&, const TSearchRec&) {
        throw rtl::Exception("boom");
    };
    f.Execute();
    WaitUntilIdle(f);
    EXPECT_EQ(r.events.back(), "finish");
}

// A tree big enough that an abort usually lands mid-walk.
void MakeWideTree(TreeFixture& t, const std::function<fs::path(const std::string&)>& make)
{
    for (int a = 0; a < 6; ++a)
        for (int b = 0; b < 6; ++b)
            for (int c = 0; c < 4; ++c)
                make("d" + std::to_string(a) + "\\e" + std::to_string(b) + "\\f" + std::to_string(c) +
                     ".txt");
}

TEST_F(TreeFixture, AbortAtRandomMomentsNeverHangsOrMatchesAfterTheAbortEvent)
{
    MakeWideTree(*this, [this](const std::string& p) { return Make(p); });
    std::mt19937 rng(1234);
    int abortedMidway = 0;
    for (int round = 0; round < 150; ++round) {
        TFindFile f(nullptr);
        f.SetThreaded(true);
        f.Criteria()->Files()->SetLocation(rootText_);
        Recorder r;
        r.Attach(f);
        f.Execute();
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
        f.Abort();
        f.Abort();  // a second abort does nothing
        EXPECT_FALSE(f.Busy()) << "round " << round;
        WaitUntilIdle(f);
        std::lock_guard<std::mutex> g(r.lock);
        const auto abortAt = std::find(r.events.begin(), r.events.end(), "abort");
        const auto finishAt = std::find(r.events.begin(), r.events.end(), "finish");
        ASSERT_NE(finishAt, r.events.end()) << "round " << round;
        EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "finish"), 1);
        if (abortAt != r.events.end()) {
            EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "abort"), 1);
            EXPECT_LT(abortAt, finishAt);
            EXPECT_TRUE(std::none_of(abortAt, r.events.end(),
                                     [](const std::string& e) { return e.rfind("match", 0) == 0; }))
                << "round " << round;
            if (r.matches.size() < 144)
                ++abortedMidway;
        }
    }
    EXPECT_GT(abortedMidway, 10);
}

TEST_F(TreeFixture, AbortFromTheWorkersOwnEventDoesNotWaitForItself)
{
    MakeWideTree(*this, [this](const std::string& p) { return Make(p); });
    TFindFile f(nullptr);
    f.SetThreaded(true);
    f.Criteria()->Files()->SetLocation(rootText_);
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
    EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "abort"), 1);
}

TEST_F(TreeFixture, MatchHandlerSynchronizingWithTheMainThreadDoesNotDeadlockAbort)
{
    MakeWideTree(*this, [this](const std::string& p) { return Make(p); });
    for (int round = 0; round < 20; ++round) {
        TFindFile f(nullptr);
        f.SetThreaded(true);
        f.Criteria()->Files()->SetLocation(rootText_);
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

TEST_F(TreeFixture, DestroyingABusySearchAbortsAndWaits)
{
    MakeWideTree(*this, [this](const std::string& p) { return Make(p); });
    Recorder r;
    {
        rtl::TComponent owner(nullptr);
        auto* f = new TFindFile(&owner);
        f->SetThreaded(true);
        f->Criteria()->Files()->SetLocation(rootText_);
        r.Attach(*f);
        f->OnFileMatch = [](rtl::TObject*, const std::string&, const TSearchRec&) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        };
        f->Execute();
    }
    // The owner freed the component mid-search; nothing ran against freed memory (ASan) and
    // the destroyed component raised no events.
    for (int i = 0; i < 10; ++i)
        rtl::CheckSynchronize(1);
    EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "finish"), 0);
}

TEST_F(TreeFixture, AQueuedCallFailingWhileTheDestructorWaitsIsRaisedLaterNotFatal)
{
    MakeWideTree(*this, [this](const std::string& p) { return Make(p); });
    // Queued before the worker's termination call, so the destructor's wait runs it first.
    rtl::ForceQueue([] { throw rtl::EThread("queued failure"); });
    {
        TFindFile f(nullptr);
        f.SetThreaded(true);
        f.Criteria()->Files()->SetLocation(rootText_);
        f.OnFileMatch = [](rtl::TObject*, const std::string&, const TSearchRec&) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        };
        f.Execute();
    }
    try {
        while (rtl::CheckSynchronize(0)) {
        }
        ADD_FAILURE() << "the failure of the queued call was lost";
    } catch (const rtl::EThread& e) {
        EXPECT_EQ(e.Message(), "queued failure");
    }
}

TEST(FindFilePlan, SplitDropsBlanksAndRepeatsIgnoringCase)
{
    EXPECT_EQ(SplitMaskList(" a.txt ; ;B.TXT;A.TXT;;b.txt "), (std::vector<std::string>{"a.txt", "B.TXT"}));
    EXPECT_TRUE(SplitMaskList("").empty());
    EXPECT_TRUE(SplitMaskList(";;").empty());
}

TEST(FindFilePlan, AttributeSetMapsToThePlatformBits)
{
    EXPECT_EQ(AttributesToMask({ffArchive}), 0x20u);
    EXPECT_EQ(AttributesToMask({ffReadonly, ffHidden, ffSystem, ffDirectory}), 0x17u);
    EXPECT_EQ(MaskToAttributes(0x37),
              (TFileAttributes{ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory}));
    TAttributeCriteria a;
    EXPECT_EQ(a.Mask(), 0x27u);  // default: archive, read-only, hidden, system
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

TEST(FindFilePlan, ReadsTheMainWindowsSettingsFromAFormDescription)
{
    rtl::TStringStream text(
        "object FindFile: TFindFile\r\n"
        "  Criteria.Files.FileName = 'znt*.exe'\r\n"
        "  Criteria.Files.MaxLevel = 4\r\n"
        "  Criteria.Attribute.Attributes = [ffArchive, ffReadonly]\r\n"
        "  Criteria.Content.IgnoreCase = False\r\n"
        "  Threaded = True\r\n"
        "end\r\n");
    text.SetPosition(0);
    rtl::TMemoryStream binary;
    rtl::ObjectTextToBinary(text, binary);
    binary.SetPosition(0);
    std::unique_ptr<rtl::TComponent> read(rtl::ReadComponentRes(binary, nullptr));
    auto* f = dynamic_cast<TFindFile*>(read.get());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Name(), "FindFile");
    EXPECT_EQ(f->Criteria()->Files()->FileName(), "znt*.exe");
    EXPECT_EQ(f->Criteria()->Files()->MaxLevel(), 4);
    EXPECT_EQ(f->Criteria()->Attribute()->Mask(), 0x21u);
    EXPECT_FALSE(f->Criteria()->Content()->IgnoreCase());
    EXPECT_TRUE(f->Threaded());

    // Written back, only what differs from the defaults is stored, and it reads the same.
    rtl::TMemoryStream written;
    rtl::WriteComponentRes(written, f);
    written.SetPosition(0);
    rtl::TStringStream back;
    rtl::ObjectBinaryToText(written, back);
    const std::string out = back.DataString();
    EXPECT_NE(out.find("Criteria.Files.FileName = 'znt*.exe'"), std::string::npos) << out;
    EXPECT_NE(out.find("Criteria.Attribute.Attributes = [ffArchive, ffReadonly]"), std::string::npos) << out;
    EXPECT_EQ(out.find("Subfolders"), std::string::npos) << out;
}

TEST(FindFilePlan, ThreadPriorityRoundTripsThroughAFormDescriptionAndIsLeftOutAtItsDefault)
{
    rtl::TStringStream text(
        "object FindFile: TFindFile\r\n"
        "  ThreadPriority = tpLowest\r\n"
        "end\r\n");
    text.SetPosition(0);
    rtl::TMemoryStream binary;
    rtl::ObjectTextToBinary(text, binary);
    binary.SetPosition(0);
    std::unique_ptr<rtl::TComponent> read(rtl::ReadComponentRes(binary, nullptr));
    auto* f = dynamic_cast<TFindFile*>(read.get());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->ThreadPriority(), rtl::tpLowest);

    const auto toText = [](TFindFile* component) {
        rtl::TMemoryStream written;
        rtl::WriteComponentRes(written, component);
        written.SetPosition(0);
        rtl::TStringStream back;
        rtl::ObjectBinaryToText(written, back);
        return back.DataString();
    };
    EXPECT_NE(toText(f).find("ThreadPriority = tpLowest"), std::string::npos) << toText(f);
    f->SetThreadPriority(rtl::tpTimeCritical);
    EXPECT_NE(toText(f).find("ThreadPriority = tpTimeCritical"), std::string::npos) << toText(f);
    f->SetThreadPriority(rtl::tpNormal);
    EXPECT_EQ(toText(f).find("ThreadPriority"), std::string::npos) << toText(f);

    // A fresh component starts at the stored default, so a description without the line means tpNormal.
    TFindFile fresh(nullptr);
    EXPECT_EQ(fresh.ThreadPriority(), rtl::tpNormal);
}

TEST(FindFilePlan, ReadingAnUnknownThreadPriorityNameFails)
{
    rtl::TStringStream text(
        "object FindFile: TFindFile\r\n"
        "  ThreadPriority = tpUrgent\r\n"
        "end\r\n");
    text.SetPosition(0);
    rtl::TMemoryStream binary;
    rtl::ObjectTextToBinary(text, binary);
    binary.SetPosition(0);
    try {
        std::unique_ptr<rtl::TComponent> read(rtl::ReadComponentRes(binary, nullptr));
        ADD_FAILURE() << "an unknown priority name was accepted";
    } catch (const rtl::EReadError& e) {
        EXPECT_NE(e.Message().find("ThreadPriority"), std::string::npos) << e.Message();
    }
}

TEST(FindFilePlan, ComponentIsCreatableByClassName)
{
    const rtl::TClassInfo* info = rtl::GetClass("TFindFile");
    ASSERT_NE(info, nullptr);
    ASSERT_TRUE(info->CreateComponent);
    std::unique_ptr<rtl::TComponent> c(info->CreateComponent(nullptr));
    EXPECT_NE(dynamic_cast<TFindFile*>(c.get()), nullptr);
    EXPECT_NE(info->FindProp("Criteria"), nullptr);
    EXPECT_NE(info->FindProp("ThreadPriority"), nullptr);
    EXPECT_NE(info->FindProp("OnFileMatch"), nullptr);
}

}  // namespace
}  // namespace app
