// TFindFile: a non-visual component that walks folder trees on the caller's thread or on a
// worker thread and reports every file that meets its criteria.
#pragma once

#include "app/FindFileMatch.h"

#include "platform/rtl/Component.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/Thread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace app {

enum TFileAttribute { ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory };
RTL_ENUM_INFO(TFileAttribute, "ffArchive", "ffReadonly", "ffHidden", "ffSystem", "ffDirectory")
using TFileAttributes = rtl::TSet<TFileAttribute>;

enum TFolderIgnore { fiNone, fiJustThis, fiJustSubfolders, fiThisAndSubfolders };
RTL_ENUM_INFO(TFolderIgnore, "fiNone", "fiJustThis", "fiJustSubfolders", "fiThisAndSubfolders")

// The attribute mask of a set: ffArchive 0x20, ffReadonly 0x01, ffHidden 0x02, ffSystem 0x04,
// ffDirectory 0x10.
std::uint32_t AttributesToMask(TFileAttributes attributes);
TFileAttributes MaskToAttributes(std::uint32_t mask);

// Masks, locations and levels (Criteria.Files).
class TFileCriteria : public rtl::TPersistent {
    RTL_DECLARE_CLASS(TFileCriteria, rtl::TPersistent)

public:
    TFileCriteria();
    void Assign(rtl::TPersistent* source) override;

    // Masks separated by ";". Empty matches no file ("*.*" matches every file).
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& value) { fileName_ = value; }
    // Folders separated by ";"; a leading "<" switches subfolders off, ">" on.
    const std::string& Location() const { return location_; }
    void SetLocation(const std::string& value) { location_ = value; }
    // Extra targets, each a folder followed by a file mask, with the same prefixes; an entry
    // that is only a folder is walked but matches no file.
    rtl::TStrings* Included() const { return included_.get(); }
    void SetIncluded(rtl::TStrings* value);
    // Path masks; a file whose folder and name match one is not reported.
    rtl::TStrings* Excluded() const { return excluded_.get(); }
    void SetExcluded(rtl::TStrings* value);
    bool Subfolders() const { return subfolders_; }
    void SetSubfolders(bool value) { subfolders_ = value; }
    // Files are reported only at this level or deeper (the location itself is level 1).
    std::uint16_t MinLevel() const { return minLevel_; }
    void SetMinLevel(std::uint16_t value) { minLevel_ = value; }
    // Deepest level searched; 0 is no limit.
    std::uint16_t MaxLevel() const { return maxLevel_; }
    void SetMaxLevel(std::uint16_t value) { maxLevel_ = value; }

private:
    std::string fileName_;
    std::string location_;
    std::unique_ptr<rtl::TStringList> included_;
    std::unique_ptr<rtl::TStringList> excluded_;
    bool subfolders_ = true;
    std::uint16_t minLevel_ = 0;
    std::uint16_t maxLevel_ = 0;
};

// Criteria.Attribute.
class TAttributeCriteria : public rtl::TPersistent {
    RTL_DECLARE_CLASS(TAttributeCriteria, rtl::TPersistent)

public:
    void Assign(rtl::TPersistent* source) override;
    TFileAttributes Attributes() const { return MaskToAttributes(mask_); }
    void SetAttributes(TFileAttributes value) { mask_ = AttributesToMask(value); }
    bool ExactMatch() const { return exactMatch_; }
    void SetExactMatch(bool value) { exactMatch_ = value; }
    std::uint32_t Mask() const { return mask_; }

private:
    std::uint32_t mask_ = faArchive | faReadOnly | faHidden | faSysFile;
    bool exactMatch_ = false;
};

// Criteria.TimeStamp: 0 leaves a bound unset.
class TDateTimeCriteria : public rtl::TPersistent {
    RTL_DECLARE_CLASS(TDateTimeCriteria, rtl::TPersistent)

public:
    void Assign(rtl::TPersistent* source) override;
    TDateTime CreatedBefore = 0;
    TDateTime CreatedAfter = 0;
    TDateTime ModifiedBefore = 0;
    TDateTime ModifiedAfter = 0;
    TDateTime AccessedBefore = 0;
    TDateTime AccessedAfter = 0;
};

// Criteria.Size: byte counts, 0 is no bound.
class TSizeCriteria : public rtl::TPersistent {
    RTL_DECLARE_CLASS(TSizeCriteria, rtl::TPersistent)

public:
    void Assign(rtl::TPersistent* source) override;
    std::uint32_t Min = 0;
    std::uint32_t Max = 0;
};

// Criteria.Content: the phrase searched in each file's bytes.
class TContentCriteria : public rtl::TPersistent {
    RTL_DECLARE_CLASS(TContentCriteria, rtl::TPersistent)

public:
    TContentCriteria();
    void Assign(rtl::TPersistent* source) override;
    const std::string& Phrase() const { return phrase_; }
    void SetPhrase(const std::string& v) { rtl::SetAndNotify(phrase_, v, this, &Self::UpdateMatcher); }
    bool IgnoreCase() const { return ignoreCase_; }
    void SetIgnoreCase(bool v) { rtl::SetAndNotify(ignoreCase_, v, this, &Self::UpdateMatcher); }
    bool WholeWord() const { return wholeWord_; }
    void SetWholeWord(bool v) { rtl::SetAndNotify(wholeWord_, v, this, &Self::UpdateMatcher); }
    const TContentMatcher& Matcher() const { return matcher_; }

private:
    void UpdateMatcher() { matcher_ = TContentMatcher(phrase_, ignoreCase_, wholeWord_); }

    std::string phrase_;
    bool ignoreCase_ = true;
    bool wholeWord_ = false;
    TContentMatcher matcher_;  // the phrase in its search form, refreshed by the setters
};

class TSearchCriteria : public rtl::TPersistent {
    RTL_DECLARE_CLASS(TSearchCriteria, rtl::TPersistent)

public:
    TSearchCriteria();
    void Assign(rtl::TPersistent* source) override;
    TFileCriteria* Files() const { return files_.get(); }
    void SetFiles(TFileCriteria* value) { files_->Assign(value); }
    TAttributeCriteria* Attribute() const { return attribute_.get(); }
    void SetAttribute(TAttributeCriteria* value) { attribute_->Assign(value); }
    TDateTimeCriteria* TimeStamp() const { return timeStamp_.get(); }
    void SetTimeStamp(TDateTimeCriteria* value) { timeStamp_->Assign(value); }
    TSizeCriteria* Size() const { return size_.get(); }
    void SetSize(TSizeCriteria* value) { size_->Assign(value); }
    TContentCriteria* Content() const { return content_.get(); }
    void SetContent(TContentCriteria* value) { content_->Assign(value); }

private:
    std::unique_ptr<TFileCriteria> files_;
    std::unique_ptr<TAttributeCriteria> attribute_;
    std::unique_ptr<TDateTimeCriteria> timeStamp_;
    std::unique_ptr<TSizeCriteria> size_;
    std::unique_ptr<TContentCriteria> content_;
};

// One folder of the search plan with its masks and switches.
struct TTargetFolder {
    std::string Folder;  // full path ending in "\" (or ":")
    bool Subfolders = true;
    std::vector<std::string> FileMasks;
    std::uint16_t MinLevel = 0;
    std::uint16_t MaxLevel = 0;
};

// The plan built from the criteria at each start: the targets in the order they were first
// named, the excluded masks, and private copies of the other criteria.
class TTargetSearch {
public:
    explicit TTargetSearch(const TSearchCriteria& criteria);

    const std::vector<TTargetFolder>& Targets() const { return targets_; }
    const std::vector<std::string>& Excluded() const { return excluded_; }
    bool IsAcceptable(const std::string& folder, const TSearchRec& entry) const;

private:
    TTargetFolder& FindOrAddTarget(const std::string& folder);

    std::vector<TTargetFolder> targets_;
    std::vector<std::string> excluded_;
    std::uint32_t attrMask_;
    bool exactMatch_;
    std::array<TDateTime, 6> times_;
    std::uint32_t minSize_, maxSize_;
    TContentMatcher content_;
};

// Splits on ";", trims, drops empty entries and repeats (without regard to case).
std::vector<std::string> SplitMaskList(const std::string& text);

// Full path of a folder for the search: made absolute and ended with "\" unless it ends in
// ":" or "\" already (per platform).
std::string ExpandFolder(const std::string& folder);

using TFileMatchEvent =
    rtl::TEvent<void(rtl::TObject* Sender, const std::string& Folder, const TSearchRec& FileInfo)>;
using TFolderChangeEvent =
    rtl::TEvent<void(rtl::TObject* Sender, const std::string& Folder, TFolderIgnore& IgnoreFolder)>;

class TFindFile : public rtl::TComponent {
    RTL_DECLARE_CLASS(TFindFile, rtl::TComponent)

public:
    explicit TFindFile(rtl::TComponent* owner);
    // A busy search is aborted (and its worker waited for) first.
    ~TFindFile() override;

    TSearchCriteria* Criteria() const { return criteria_.get(); }
    void SetCriteria(TSearchCriteria* value) { criteria_->Assign(value); }
    bool Threaded() const { return threaded_; }
    void SetThreaded(bool value) { threaded_ = value; }
    rtl::TThreadPriority ThreadPriority() const { return threadPriority_; }
    void SetThreadPriority(rtl::TThreadPriority value) { threadPriority_ = value; }
    bool Aborted() const { return aborted_.load(); }
    bool Busy() const { return busy_.load(); }
    std::uint16_t CurrentLevel() const { return currentLevel_.load(); }

    // Starts a search; does nothing while Busy. Threaded, it returns at once and OnSearchFinish
    // arrives on the main thread. Otherwise it searches here; an exception finishes the search
    // and is raised again.
    void Execute();
    // Stops a busy search: OnSearchAbort fires once, no OnFileMatch follows it, and a worker
    // is waited for while messages other than input keep being dispatched. Called from within
    // the worker's own events it only raises the flag.
    void Abort();

    // Run on the worker thread when Threaded.
    TFileMatchEvent OnFileMatch;
    TFolderChangeEvent OnFolderChange;
    // Run on the thread calling Execute.
    rtl::TNotifyEvent OnSearchBegin;
    // Run on the main thread after a threaded search, else on the caller's.
    rtl::TNotifyEvent OnSearchFinish;
    // Run on the thread calling Abort.
    rtl::TNotifyEvent OnSearchAbort;

protected:
    // Not while the component is being destroyed.
    virtual void DoSearchBegin() { Notify(OnSearchBegin); }
    virtual void DoSearchFinish() { Notify(OnSearchFinish); }
    virtual void DoSearchAbort() { Notify(OnSearchAbort); }
    virtual TFolderIgnore DoFolderChange(const std::string& folder);
    virtual void DoFileMatch(const std::string& folder, const TSearchRec& fileInfo);
    virtual bool IsAcceptable(const std::string& folder, const TSearchRec& fileInfo);

private:
    friend class TSearchThread;

    void Notify(const rtl::TNotifyEvent& event);
    void SearchAll();
    void WalkFolder(const TTargetFolder& target, const std::string& folder);
    void Finish();
    void WorkerTerminated();
    void WaitForWorker();
    // Before an event: waits while an Abort on another thread is about to take the event lock.
    void YieldToAbort() const;

    std::unique_ptr<TSearchCriteria> criteria_;
    bool threaded_ = false;
    rtl::TThreadPriority threadPriority_ = rtl::tpNormal;
    std::atomic<bool> aborted_{false};
    std::atomic<bool> busy_{false};
    std::atomic<bool> abortPending_{false};
    std::atomic<std::uint16_t> currentLevel_{0};
    std::atomic<bool> workerRunning_{false};
    std::uint32_t workerThreadId_ = 0;
    std::intptr_t workerHandle_ = 0;  // our own duplicate, so it outlives the self-freeing thread
    std::unique_ptr<TTargetSearch> search_;
    // Held around the match and folder events and while Abort raises the flag, so no match
    // can follow the abort event.
    rtl::TCriticalSection eventLock_;
};

// Enumerates `folder` + `mask` with the search's attribute filter; `visit` returns false to
// stop. Entries "." and ".." are skipped. A folder that cannot be read yields nothing.
void EnumerateFolder(const std::string& folder, const std::string& mask,
                     const std::function<bool(const TSearchRec&)>& visit);

// Path for the operating system's file calls (the search keeps "\" as separator).
std::string NativePath(const std::string& path);

// Waits for `handle` while dispatching every message except keyboard and mouse input; a quit
// message ends the wait at once (and is posted again for the message loop). timeoutMs < 0
// waits forever. Returns true when the handle was signalled. Windows only.
bool WaitWithMessages(std::intptr_t handle, int timeoutMs);
// Dispatches the waiting non-input messages of the calling thread without blocking.
void PumpMessages();
// A handle of our own for a thread handle (0 where the platform has none).
std::intptr_t DuplicateThreadHandle(std::intptr_t handle);
void CloseThreadHandle(std::intptr_t handle);

}  // namespace app
