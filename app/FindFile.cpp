// TFindFile: criteria, the search plan, the folder walk and the worker thread.
#include "app/FindFile.h"

#include "app/kzFiles.h"

#include "platform/rtl/DateTime.h"
#include "platform/rtl/Strings.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace app {

namespace {

constexpr std::pair<TFileAttribute, std::uint32_t> kAttributeBits[] = {{ffArchive, faArchive},
                                                                       {ffReadonly, faReadOnly},
                                                                       {ffHidden, faHidden},
                                                                       {ffSystem, faSysFile},
                                                                       {ffDirectory, faDirectory}};

}  // namespace

std::uint32_t AttributesToMask(TFileAttributes attributes)
{
    std::uint32_t mask = 0;
    for (const auto& [member, bit] : kAttributeBits)
        if (attributes.Contains(member))
            mask |= bit;
    return mask;
}

TFileAttributes MaskToAttributes(std::uint32_t mask)
{
    TFileAttributes attributes;
    for (const auto& [member, bit] : kAttributeBits)
        if (mask & bit)
            attributes.Include(member);
    return attributes;
}

// ---- criteria ----

TFileCriteria::TFileCriteria()
    : included_(std::make_unique<rtl::TStringList>()), excluded_(std::make_unique<rtl::TStringList>())
{
}

void TFileCriteria::SetIncluded(rtl::TStrings* value)
{
    if (value)
        included_->Assign(*value);
    else
        included_->Clear();
}

void TFileCriteria::SetExcluded(rtl::TStrings* value)
{
    if (value)
        excluded_->Assign(*value);
    else
        excluded_->Clear();
}

void TFileCriteria::Assign(rtl::TPersistent* source)
{
    if (auto* other = dynamic_cast<TFileCriteria*>(source)) {
        fileName_ = other->fileName_;
        location_ = other->location_;
        included_->Assign(*other->included_);
        excluded_->Assign(*other->excluded_);
        subfolders_ = other->subfolders_;
        minLevel_ = other->minLevel_;
        maxLevel_ = other->maxLevel_;
        return;
    }
    TPersistent::Assign(source);
}

void TAttributeCriteria::Assign(rtl::TPersistent* source)
{
    if (auto* other = dynamic_cast<TAttributeCriteria*>(source)) {
        mask_ = other->mask_;
        exactMatch_ = other->exactMatch_;
        return;
    }
    TPersistent::Assign(source);
}

void TDateTimeCriteria::Assign(rtl::TPersistent* source)
{
    if (auto* other = dynamic_cast<TDateTimeCriteria*>(source)) {
        CreatedBefore = other->CreatedBefore;
        CreatedAfter = other->CreatedAfter;
        ModifiedBefore = other->ModifiedBefore;
        ModifiedAfter = other->ModifiedAfter;
        AccessedBefore = other->AccessedBefore;
        AccessedAfter = other->AccessedAfter;
        return;
    }
    TPersistent::Assign(source);
}

void TSizeCriteria::Assign(rtl::TPersistent* source)
{
    if (auto* other = dynamic_cast<TSizeCriteria*>(source)) {
        Min = other->Min;
        Max = other->Max;
        return;
    }
    TPersistent::Assign(source);
}

TContentCriteria::TContentCriteria() : matcher_("", true, false) {}

void TContentCriteria::Assign(rtl::TPersistent* source)
{
    if (auto* other = dynamic_cast<TContentCriteria*>(source)) {
        phrase_ = other->phrase_;
        ignoreCase_ = other->ignoreCase_;
        wholeWord_ = other->wholeWord_;
        matcher_ = other->matcher_;
        return;
    }
    TPersistent::Assign(source);
}

TSearchCriteria::TSearchCriteria()
    : files_(std::make_unique<TFileCriteria>()),
      attribute_(std::make_unique<TAttributeCriteria>()),
      timeStamp_(std::make_unique<TDateTimeCriteria>()),
      size_(std::make_unique<TSizeCriteria>()),
      content_(std::make_unique<TContentCriteria>())
{
}

void TSearchCriteria::Assign(rtl::TPersistent* source)
{
    if (auto* other = dynamic_cast<TSearchCriteria*>(source)) {
        files_->Assign(other->files_.get());
        attribute_->Assign(other->attribute_.get());
        timeStamp_->Assign(other->timeStamp_.get());
        size_->Assign(other->size_.get());
        content_->Assign(other->content_.get());
        return;
    }
    TPersistent::Assign(source);
}

// ---- the search plan ----

std::vector<std::string> SplitMaskList(const std::string& text)
{
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find(';', start);
        if (end == std::string::npos)
            end = text.size();
        std::string item = rtl::Trim(std::string_view(text).substr(start, end - start));
        if (!item.empty() && std::none_of(result.begin(), result.end(),
                                          [&](const std::string& s) { return rtl::SameText(s, item); }))
            result.push_back(std::move(item));
        start = end + 1;
    }
    return result;
}

namespace {

// Strips a "<" (subfolders off) or ">" (on) prefix; without one the default applies.
std::string StripSwitch(const std::string& entry, bool defaultSubfolders, bool& subfolders)
{
    subfolders = defaultSubfolders;
    if (!entry.empty() && (entry[0] == '<' || entry[0] == '>')) {
        subfolders = entry[0] == '>';
        return entry.substr(1);
    }
    return entry;
}

void AddMask(TTargetFolder& target, const std::string& mask)
{
    if (std::none_of(target.FileMasks.begin(), target.FileMasks.end(),
                     [&](const std::string& m) { return rtl::SameText(m, mask); }))
        target.FileMasks.push_back(mask);
}

}  // namespace

TTargetSearch::TTargetSearch(const TSearchCriteria& criteria)
    : attrMask_(criteria.Attribute()->Mask()),
      exactMatch_(criteria.Attribute()->ExactMatch()),
      times_{criteria.TimeStamp()->CreatedBefore,  criteria.TimeStamp()->CreatedAfter,
             criteria.TimeStamp()->ModifiedBefore, criteria.TimeStamp()->ModifiedAfter,
             criteria.TimeStamp()->AccessedBefore, criteria.TimeStamp()->AccessedAfter},
      minSize_(criteria.Size()->Min),
      maxSize_(criteria.Size()->Max),
      content_(criteria.Content()->Matcher())
{
    if (!content_.Empty())
        attrMask_ &= ~faDirectory;  // folders have no content to search
    const TFileCriteria& files = *criteria.Files();
    excluded_ = files.Excluded()->ToVector();

    for (const std::string& raw : files.Included()->ToVector()) {
        bool subfolders = true;
        const std::string entry = StripSwitch(rtl::Trim(raw), files.Subfolders(), subfolders);
        if (entry.empty())
            continue;
        TTargetFolder& target = FindOrAddTarget(ExtractFilePath(entry));
        // An entry that names only a folder adds no mask: its folders are walked (and reported to
        // OnFolderChange) but no file of it matches, as with an empty mask list.
        const std::string mask = ExtractFileName(entry, true);
        if (!mask.empty())
            AddMask(target, mask);
        target.Subfolders = subfolders;
        target.MinLevel = files.MinLevel();
        target.MaxLevel = files.MaxLevel();
    }

    // No mask matches no file: an empty FileName walks the locations without reporting files.
    const std::vector<std::string> masks = SplitMaskList(files.FileName());
    for (const std::string& raw : SplitMaskList(files.Location())) {
        bool subfolders = true;
        const std::string location = StripSwitch(raw, files.Subfolders(), subfolders);
        if (location.empty())
            continue;
        TTargetFolder& target = FindOrAddTarget(location);
        for (const std::string& mask : masks)
            AddMask(target, mask);
        target.Subfolders = subfolders;
        target.MinLevel = files.MinLevel();
        target.MaxLevel = files.MaxLevel();
    }
}

TTargetFolder& TTargetSearch::FindOrAddTarget(const std::string& folder)
{
    const std::string expanded = ExpandFolder(folder);
    for (TTargetFolder& target : targets_)
        if (rtl::SameText(target.Folder, expanded))
            return target;
    // Targets are walked in the order they were first named.
    targets_.push_back(TTargetFolder{expanded, true, {}, 0, 0});
    return targets_.back();
}

bool TTargetSearch::IsAcceptable(const std::string& folder, const TSearchRec& entry) const
{
    if (!AttributesAcceptable(entry.Attr, attrMask_, exactMatch_))
        return false;
    if (!SizeAcceptable(entry.Size, minSize_, maxSize_))
        return false;
    const std::uint64_t fileTimes[3] = {entry.CreationTime, entry.LastWriteTime, entry.LastAccessTime};
    for (int pair = 0; pair < 3; ++pair) {
        const TDateTime before = times_[static_cast<std::size_t>(pair * 2)];
        const TDateTime after = times_[static_cast<std::size_t>(pair * 2 + 1)];
        if (before == 0 && after == 0)
            continue;
        const TDateTime fileTime = rtl::FileTimeToLocalDateTime(fileTimes[pair]);
        if (!BeforeAcceptable(fileTime, before) || !AfterAcceptable(fileTime, after))
            return false;
    }
    for (auto it = excluded_.rbegin(); it != excluded_.rend(); ++it)
        if (PathMaskMatches(folder, entry.Name, *it))
            return false;
    if (!content_.Empty() && !content_.SearchFile(NativePath(folder + entry.Name)))
        return false;
    return true;
}

// ---- the component ----

class TSearchThread : public rtl::TThread {
public:
    explicit TSearchThread(TFindFile* owner) : owner_(owner) {}

protected:
    void Execute() override { owner_->SearchAll(); }

private:
    TFindFile* owner_;  // not owned; outlives the thread (its destructor waits for it)
};

TFindFile::TFindFile(rtl::TComponent* owner)
    : rtl::TComponent(owner), criteria_(std::make_unique<TSearchCriteria>())
{
}

TFindFile::~TFindFile()
{
    Destroying();
    if (busy_.load()) {
        // A destructor must not throw: a queued call that fails while the wait drains the queue
        // is queued again to raise later, and the wait goes on.
        std::vector<std::exception_ptr> failures;
        const auto untilDone = [&failures](const auto& step) {
            for (;;) {
                try {
                    step();
                    return;
                } catch (...) {
                    failures.push_back(std::current_exception());
                }
            }
        };
        untilDone([this] { Abort(); });
        untilDone([this] {
            if (workerRunning_.load())
                WaitForWorker();
        });
        for (const std::exception_ptr& failure : failures)
            rtl::ForceQueue([failure] { std::rethrow_exception(failure); });
    }
    if (workerHandle_) {
        CloseThreadHandle(workerHandle_);
        workerHandle_ = 0;
    }
}

void TFindFile::Execute()
{
    if (busy_.load())
        return;
    busy_.store(true);
    aborted_.store(false);
    try {
        search_ = std::make_unique<TTargetSearch>(*criteria_);
        DoSearchBegin();
        if (threaded_) {
            // Owned here until it runs; from then on it frees itself.
            auto thread = std::make_unique<TSearchThread>(this);
            thread->SetFreeOnTerminate(true);
            thread->SetPriority(threadPriority_);
            thread->OnTerminate = [this](rtl::TObject*) { WorkerTerminated(); };
            if (workerHandle_)
                CloseThreadHandle(workerHandle_);
            workerHandle_ = DuplicateThreadHandle(thread->Handle());
            workerThreadId_ = thread->ThreadID();
            workerRunning_.store(true);
            thread->Start();
            thread.release();
            return;
        }
        SearchAll();
    } catch (...) {
        workerRunning_.store(false);
        Finish();
        throw;
    }
    Finish();
}

void TFindFile::SearchAll()
{
    for (const TTargetFolder& target : search_->Targets()) {
        if (aborted_.load())
            break;
        currentLevel_.store(0);
        WalkFolder(target, target.Folder);
    }
}

void TFindFile::WalkFolder(const TTargetFolder& target, const std::string& folder)
{
    const std::uint16_t level = static_cast<std::uint16_t>(currentLevel_.load() + 1);
    currentLevel_.store(level);
    const TFolderIgnore action = DoFolderChange(folder);

    if ((action == fiNone || action == fiJustSubfolders) && level >= target.MinLevel) {
        for (auto mask = target.FileMasks.rbegin(); mask != target.FileMasks.rend() && !aborted_.load();
             ++mask) {
            EnumerateFolder(folder, *mask, [&](const TSearchRec& entry) {
                if (aborted_.load())
                    return false;
                if (FileNameMatches(entry.Name, *mask) && IsAcceptable(folder, entry))
                    DoFileMatch(folder, entry);
                return !aborted_.load();
            });
        }
    }

    const bool descend = target.Subfolders && (action == fiNone || action == fiJustThis) &&
                         !(target.MaxLevel != 0 && level >= target.MaxLevel);
    if (descend && !aborted_.load()) {
        EnumerateFolder(folder, "*.*", [&](const TSearchRec& entry) {
            if (aborted_.load())
                return false;
            if (entry.Attr & faDirectory)
                WalkFolder(target, folder + entry.Name + "\\");
            return !aborted_.load();
        });
    }
    currentLevel_.store(static_cast<std::uint16_t>(level - 1));
}

void TFindFile::Finish()
{
    DoSearchFinish();
    search_.reset();
    busy_.store(false);
}

void TFindFile::WorkerTerminated()
{
    workerRunning_.store(false);
    // A running Abort waits on a copy of its own, so the kept handle can go now.
    CloseThreadHandle(workerHandle_);
    workerHandle_ = 0;
    Finish();
}

void TFindFile::Abort()
{
    {
        // Waiting for a running match event keeps "no match after the abort event" true. The
        // event may itself wait for this thread (Synchronize), so keep serving it meanwhile.
        // The worker takes the lock again for every match; the pending flag makes it wait for us
        // after the event it is in, or a quick stream of matches could keep the abort out to the end.
        abortPending_.store(true);
        struct PendingEnd {
            std::atomic<bool>& flag;
            ~PendingEnd() { flag.store(false); }
        } pendingEnd{abortPending_};
        std::unique_lock<rtl::TCriticalSection> lock(eventLock_, std::defer_lock);
        while (!lock.try_lock()) {
            if (rtl::IsMainThread())
                rtl::CheckSynchronize(0);
            PumpMessages();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (!busy_.load() || aborted_.load())
            return;
        aborted_.store(true);
    }
    DoSearchAbort();
    if (workerRunning_.load() && rtl::CurrentThreadId() != workerThreadId_)
        WaitForWorker();
}

void TFindFile::WaitForWorker()
{
    if (workerHandle_) {
        // Our own copy: the finish handler, run from inside the wait, closes workerHandle_.
        const std::intptr_t handle = DuplicateThreadHandle(workerHandle_);
        if (handle) {
            // Closed even when a call run from inside the wait throws.
            struct Closer {
                std::intptr_t handle;
                ~Closer() { CloseThreadHandle(handle); }
            } closer{handle};
            WaitWithMessages(handle, -1);
            return;
        }
    }
    while (workerRunning_.load()) {
        if (rtl::IsMainThread())
            rtl::CheckSynchronize(10);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void TFindFile::Notify(const rtl::TNotifyEvent& event)
{
    if (!ComponentState().Contains(rtl::csDestroying))
        event(this);
}

void TFindFile::YieldToAbort() const
{
    while (abortPending_.load() && !aborted_.load())
        std::this_thread::yield();
}

TFolderIgnore TFindFile::DoFolderChange(const std::string& folder)
{
    YieldToAbort();
    std::lock_guard<rtl::TCriticalSection> lock(eventLock_);
    if (aborted_.load())
        return fiThisAndSubfolders;
    TFolderIgnore action = fiNone;
    OnFolderChange(this, folder, action);
    return action;
}

void TFindFile::DoFileMatch(const std::string& folder, const TSearchRec& fileInfo)
{
    YieldToAbort();
    std::lock_guard<rtl::TCriticalSection> lock(eventLock_);
    if (!aborted_.load())
        OnFileMatch(this, folder, fileInfo);
}

bool TFindFile::IsAcceptable(const std::string& folder, const TSearchRec& fileInfo)
{
    return search_->IsAcceptable(folder, fileInfo);
}

// ---- published properties ----

void TFileCriteria::Publish(Table& t)
{
    t.Property(RTL_GET_SET(FileName));
    t.Property(RTL_GET_SET(Location));
    t.Property(RTL_GET_SET(Included));
    t.Property(RTL_GET_SET(Excluded));
    t.Property(RTL_GET_SET(Subfolders)).Default(true);
    t.Property(RTL_GET_SET(MinLevel)).Default(0);
    t.Property(RTL_GET_SET(MaxLevel)).Default(0);
}

void TAttributeCriteria::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Attributes)).Default(TFileAttributes{ffArchive, ffReadonly, ffHidden, ffSystem});
    t.Property(RTL_GET_SET(ExactMatch)).Default(false);
}

void TDateTimeCriteria::Publish(Table& t)
{
    t.Property(RTL_MEMBER(CreatedBefore));
    t.Property(RTL_MEMBER(CreatedAfter));
    t.Property(RTL_MEMBER(ModifiedBefore));
    t.Property(RTL_MEMBER(ModifiedAfter));
    t.Property(RTL_MEMBER(AccessedBefore));
    t.Property(RTL_MEMBER(AccessedAfter));
}

void TSizeCriteria::Publish(Table& t)
{
    t.Property(RTL_MEMBER(Min)).Default(0);
    t.Property(RTL_MEMBER(Max)).Default(0);
}

void TContentCriteria::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Phrase));
    t.Property(RTL_GET_SET(IgnoreCase)).Default(true);
    t.Property(RTL_GET_SET(WholeWord)).Default(false);
}

void TSearchCriteria::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Files));
    t.Property(RTL_GET_SET(Attribute));
    t.Property(RTL_GET_SET(TimeStamp));
    t.Property(RTL_GET_SET(Size));
    t.Property(RTL_GET_SET(Content));
}

void TFindFile::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Criteria));
    t.Property(RTL_GET_SET(Threaded)).Default(false);
    t.Property(RTL_GET_SET(ThreadPriority)).Default(rtl::tpNormal);
    t.Event(RTL_MEMBER(OnFileMatch));
    t.Event(RTL_MEMBER(OnFolderChange));
    t.Event(RTL_MEMBER(OnSearchBegin));
    t.Event(RTL_MEMBER(OnSearchFinish));
    t.Event(RTL_MEMBER(OnSearchAbort));
    t.Creatable();
}

}  // namespace app
