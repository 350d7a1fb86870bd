// The I/O component's portable core: the load and save skeletons, the extension tables, stream
// headers, the resolution adjustment and the worker that runs one job at a time.
#include "imaging/io/vodiradio.h"

#include "imaging/core/vodiradproc.h"
#include "imaging/io/bmpfilt.h"
#include "imaging/io/bmpfiltps.h"
#include "imaging/io/iepdf.h"
#include "imaging/io/detail/vodiradio_platform.h"
#include "imaging/io/ietwain.h"
#include "imaging/io/iewia.h"
#include "platform/rtl/Endian.h"
#include "platform/rtl/Files.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/Thread.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>

namespace imaging {

// ---- jobs and the worker -----------------------------------------------------------------------

class TIEIOThread : public rtl::TThread {
public:
    TIEIOThread(TVodirAdIO& owner, TVodirAdIO::TJob& job) : owner_(owner), job_(job) {}
    ~TIEIOThread() override
    {
        Terminate();
        if (!Suspended() && !Finished())
            WaitFor();
    }

protected:
    void Execute() override
    {
        {
            std::lock_guard<std::mutex> lock(owner_.jobMutex_);
            owner_.workerId_ = rtl::CurrentThreadId();
        }
        try {
            owner_.RunJob(job_);
        } catch (...) {
            detail::IEDebugOutput("Exception in TIEIOThread.Execute");
            owner_.AbortFlag = true;
            job_.handOver = false;
        }
        owner_.WorkerEnded();
    }

private:
    TVodirAdIO& owner_;
    TVodirAdIO::TJob& job_;
};

namespace {

// The extension tables of LoadFromFile and SaveToFile.
struct TExtensionRow {
    const char* ext;
    int type;
};

constexpr TExtensionRow kLoadExtensions[] = {
    {".jpg", ioJPEG}, {".jpeg", ioJPEG}, {".jpe", ioJPEG},  {".jp2", ioJP2},   {".j2k", ioJ2K},
    {".jpc", ioJ2K},  {".j2c", ioJ2K},   {".png", ioPNG},   {".tif", ioTIFF},  {".tiff", ioTIFF},
    {".fax", ioTIFF}, {".g3n", ioTIFF},  {".g3f", ioTIFF},  {".pcx", ioPCX},   {".gif", ioGIF},
    {".wmf", ioWMF},  {".emf", ioEMF},   {".bmp", ioBMP},   {".dib", ioBMP},   {".rle", ioBMP},
    {".cur", ioCUR},  {".ico", ioICO},   {".tga", ioTGA},   {".targa", ioTGA}, {".vda", ioTGA},
    {".icb", ioTGA},  {".vst", ioTGA},   {".win", ioTGA},   {".pxm", ioPXM},   {".ppm", ioPXM},
    {".pgm", ioPXM},  {".pbm", ioPXM},   {".wbmp", ioWBMP}, {".avi", ioAVI},
};

constexpr TExtensionRow kSaveExtensions[] = {
    {".jpg", ioJPEG},  {".jpeg", ioJPEG}, {".jpe", ioJPEG}, {".jp2", ioJP2},  {".j2k", ioJ2K},
    {".jpc", ioJ2K},   {".j2c", ioJ2K},   {".pcx", ioPCX},  {".gif", ioGIF},  {".tif", ioTIFF},
    {".tiff", ioTIFF}, {".fax", ioTIFF},  {".g3f", ioTIFF}, {".g3n", ioTIFF}, {".png", ioPNG},
    {".bmp", ioBMP},   {".dib", ioBMP},   {".rle", ioBMP},  {".tga", ioTGA},  {".targa", ioTGA},
    {".vda", ioTGA},   {".icb", ioTGA},   {".vst", ioTGA},  {".win", ioTGA},  {".pxm", ioPXM},
    {".pbm", ioPXM},   {".pgm", ioPXM},   {".ppm", ioPXM},  {".ico", ioICO},  {".wbmp", ioWBMP},
    {".ps", ioPS},     {".eps", ioPS},    {".pdf", ioPDF},
};

template <std::size_t N>
int TypeOfExtension(const TExtensionRow (&table)[N], const std::string& ext)
{
    for (const TExtensionRow& row : table)
        if (ext == row.ext)
            return row.type;
    return ioUnknown;
}

std::string LowerExtension(const std::string& fileName)
{
    return rtl::LowerCase(rtl::ExtractFileExt(fileName));
}

constexpr std::int32_t kStreamHeaderSize = 12;

// The most AutoAdjustDPI enlarges an image: resolutions of 2400 and 19 dots per inch.
constexpr std::int64_t kMaxDpiStretch = 128;

// A new empty file in the target's folder, so that putting it in the target's place is a rename
// on one volume. Raises EFCreateError as creating the target would.
std::string TempFileBeside(const std::string& target)
{
    const std::size_t slash = target.find_last_of("\\/:");
    const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    std::string temp = rtl::CreateTempFile(folder, "vod");
    if (temp.empty())
        throw rtl::EFCreateError("Cannot create file \"" + target + "\". No temporary file in its folder");
    return temp;
}

// The registry's rows for the library's own formats only name them: their routines are
// placeholders. A row's routines are called only for types a program added itself.
const TIOFileFormat* AddedRow(const TIOFileFormat* row)
{
    return row && (row->FileType < ioTIFF || row->FileType > ioPDF) ? row : nullptr;
}

}  // namespace

// Each document is written to a file of its own beside the target, which takes the target's place
// only when the document has been ended without a failed write.
struct TIEOpenDocuments {
    struct TFile {
        std::string temp, target;
        std::unique_ptr<rtl::TFileStream> stream;
        bool failed = false;
        bool Open() const { return stream != nullptr; }
        void Start(const std::string& FileName)
        {
            temp = TempFileBeside(FileName);
            target = FileName;
            failed = false;
            try {
                stream = std::make_unique<rtl::TFileStream>(temp, rtl::fmCreate);
            } catch (...) {
                rtl::RemoveFile(temp);
                throw;
            }
        }
        // True when the document is in the target's place.
        bool Finish(bool written)
        {
            stream.reset();
            if (written && !failed && detail::IEReplaceFile(temp, target))
                return true;
            rtl::RemoveFile(temp);
            return false;
        }
    };
    TFile ps, pdf;
    std::unique_ptr<TIEPSDocument> psDocument;
    std::unique_ptr<TIEPDFDocument> pdfDocument;
    std::unique_ptr<TIOParamsVals> pdfParams;  // the Info of the document, as it was last set

    bool ClosePS()
    {
        if (!ps.Open())
            return true;
        const bool written = PSEndDocument(std::move(psDocument), *ps.stream);
        return ps.Finish(written);
    }
    bool ClosePDF()
    {
        if (!pdf.Open())
            return true;
        const bool written = PDFEndDocument(std::move(pdfDocument), *pdf.stream, *pdfParams);
        return pdf.Finish(written);
    }
    ~TIEOpenDocuments()
    {
        try {
            ClosePS();
            ClosePDF();
        } catch (...) {
            // A document that cannot be ended is left in its temporary file.
        }
    }
};

// ---- life ---------------------------------------------------------------------------------------

void TVodirAdIO::Publish(Table& t)
{
    t.Property("AttachedVodirAd", &Self::PublishedView, &Self::SetPublishedView);
    t.Property(RTL_GET_SET(Background)).Default(0);
    t.Event(RTL_MEMBER(OnProgress));
    t.Property(RTL_MEMBER(MsgLanguage)).Default(msSystem);
    t.Property(RTL_MEMBER(PreviewsParams)).Default(TIOPreviewsParams{});
    t.Property(RTL_MEMBER(StreamHeaders)).Default(false);
    t.Property("PreviewFont", &Self::PublishedPreviewFont, &Self::SetPublishedPreviewFont)
        .Stored(&Self::PreviewFontStored);
    t.Property("AttachedTImage", &Self::PublishedImage, &Self::SetPublishedImage);
    t.Event(RTL_MEMBER(OnIOPreview));
    t.Property(RTL_MEMBER(DialogsMeasureUnit)).Default(ieduInches);
    t.Property(RTL_MEMBER(AutoAdjustDPI)).Default(false);
    t.Property(RTL_MEMBER(FilteredAdjustDPI)).Default(false);
    t.Event(RTL_MEMBER(OnFinishWork));
    t.Event(RTL_MEMBER(OnAcquireBitmap));
    t.Property(RTL_MEMBER(SimplifiedParamsDialogs)).Default(true);
    t.Event(RTL_MEMBER(OnDoPreviews));
    t.Property(RTL_GET_SET(NativePixelFormat)).Default(false);
    t.Creatable();
}

TVodirAdIO::TVodirAdIO(rtl::TComponent* AOwner)
    : rtl::TComponent(AOwner),
      params_(std::make_unique<TIOParamsVals>(static_cast<TIEParamsOwner*>(this))),
      platform_(detail::IENewIOPlatform())
{
    UseOwnBitmap();
    twain_ = std::make_unique<TIETWainParams>(this);
}

TVodirAdIO::~TVodirAdIO()
{
    // A stalled job must not hold the program: abort it first, then wait.
    std::unique_ptr<TJob> left;
    std::unique_ptr<TIEIOThread> worker;
    {
        std::unique_lock<std::mutex> lock(jobMutex_);
        if (jobRunning_)
            AbortFlag = true;
        jobEnded_.wait(lock, [this] { return !jobRunning_; });
        left = std::move(pending_);
        worker = std::move(worker_);
    }
    worker.reset();
    rtl::RemoveQueuedEvents(this);
    // A job that ended before the main thread took it over still gives its image to what the
    // component is attached to, or, aborted here, reports its failure.
    if (left)
        HandOver(*left);
    else if (rtl::IsMainThread())
        DeliverProgress();
    PlatformCloseAVI();
    PlatformDetach();
    wia_.reset();
    twain_.reset();
}

bool TVodirAdIO::ParamsBitmapSize(int& Width, int& Height) const
{
    if (!PlatformHasTBitmap() || !bitmap_)
        return false;
    Width = bitmap_->GetWidth();
    Height = bitmap_->GetHeight();
    return true;
}

bool TVodirAdIO::ParamsViewDpi(int& DpiX, int& DpiY) const { return detail::IEViewDpi(view_, DpiX, DpiY); }

void TVodirAdIO::UseOwnBitmap()
{
    ownBitmap_ = std::make_unique<TIEBitmap>();
    bitmap_ = ownBitmap_.get();
    kind_ = kOwn;
}

void TVodirAdIO::Detach()
{
    WaitThreads(true);
    PlatformDetach();
    view_ = nullptr;
    tbitmap_ = nullptr;
    image_ = nullptr;
}

void TVodirAdIO::SetAttachedTIEBitmap(TIEBitmap* Value)
{
    // A nil value leaves a view or an image control attached.
    if (!Value && (kind_ == kView || kind_ == kTImage))
        return;
    Detach();
    if (!Value) {
        UseOwnBitmap();
        return;
    }
    ownBitmap_.reset();
    bitmap_ = Value;
    kind_ = kIEBitmap;
}

void TVodirAdIO::Notification(rtl::TComponent* AComponent, rtl::TOperation Operation)
{
    rtl::TComponent::Notification(AComponent, Operation);
    if (Operation == rtl::opRemove && AComponent &&
        (static_cast<void*>(AComponent) == static_cast<void*>(image_) ||
         detail::IEIsView(AComponent, view_))) {
        Detach();
        UseOwnBitmap();
    }
}

TColor TVodirAdIO::Background() const
{
    TColor c = background_;
    detail::IEViewBackground(view_, c);
    return c;
}

void TVodirAdIO::SetBackground(TColor Value) { background_ = Value; }

void TVodirAdIO::DoFinishWork()
{
    OnProgress(this, 100);
    OnFinishWork(this);
}

void TVodirAdIO::DoAcquireBitmap(TIEBitmap* ABitmap, bool& Handled)
{
    OnAcquireBitmap(this, ABitmap, Handled);
}

void TVodirAdIO::DeliverAcquiredBitmap(TIEBitmap* Bitmap, TIOParamsVals*& Params)
{
    Params = nullptr;
    if (!bitmap_ || !Bitmap)
        return;
    AwaitIdle(true);
    bool handled = false;
    DoAcquireBitmap(Bitmap, handled);
    if (handled)
        return;
    Params = params_.get();
    PlatformRewrap();
    if (PlatformHasTBitmap())
        bitmap_->AssignImage(Bitmap);  // into the platform bitmap the working bitmap wraps
    else
        bitmap_->Assign(Bitmap);
    if (AutoAdjustDPI)
        AdjustDPI(*bitmap_, *params_);
    PlatformEndWork();
}

void TVodirAdIO::ClearAcquisitionState() { AcquisitionState = 0; }

void TVodirAdIO::SetMonoThreshold(bool Value)
{
    AwaitIdle(true);  // the working bitmap changes only between jobs
    monoThreshold_ = Value;
    bitmap_->MonoConversion = Value ? 1 : 0;
}

win::TBitmap* TVodirAdIO::GetBitmap()
{
    if (bitmap_ && bitmap_->Location() == ieTBitmap)
        if (TIEPlatformBitmap* platform = bitmap_->GetVclBitmap())
            if (win::TBitmap* own = platform->GuiBitmap())
                return own;
    return tbitmap_;
}

// ---- workers ----------------------------------------------------------------------------------

bool TVodirAdIO::IsIOThread() const
{
    std::lock_guard<std::mutex> lock(jobMutex_);
    return jobRunning_ && workerId_ == rtl::CurrentThreadId();
}

bool TVodirAdIO::RunsAsynchronously() const
{
    // A component that owns its bitmap has nobody to show a half-done image to.
    return Asynchronous && kind_ != kOwn && !IsIOThread();
}

bool TVodirAdIO::Idle() const
{
    // Hand-overs run on the main thread, whose handlers may start the next job.
    return !jobRunning_ && !pending_ && (!handingOver_ || rtl::IsMainThread());
}

void TVodirAdIO::AwaitIdle(bool handedOver)
{
    if (IsIOThread())
        return;
    if (!rtl::IsMainThread()) {
        // The main thread hands the job over; a job started here must not come before that.
        std::unique_lock<std::mutex> lock(jobMutex_);
        jobEnded_.wait(lock, [&] { return handedOver ? Idle() : !jobRunning_; });
        return;
    }
    for (;;) {
        std::unique_ptr<TIEIOThread> ended;
        {
            std::unique_lock<std::mutex> lock(jobMutex_);
            jobEnded_.wait(lock, [this] { return !jobRunning_; });
            if (Idle()) {
                ended = std::move(worker_);
                lock.unlock();
                return;
            }
        }
        // The hand-over may fire a handler that starts the next job: that one is waited for too.
        RunPendingHandOver();
    }
}

void TVodirAdIO::WaitThreads(bool Abort)
{
    if (IsIOThread())
        return;
    if (Abort) {
        // Only a running job is aborted: the flag keeps saying how the last operation went.
        std::lock_guard<std::mutex> lock(jobMutex_);
        if (jobRunning_)
            AbortFlag = true;
    }
    AwaitIdle(false);
}

void TVodirAdIO::WorkerEnded()
{
    {
        std::lock_guard<std::mutex> lock(jobMutex_);
        jobRunning_ = false;
        workerId_ = 0;
    }
    jobEnded_.notify_all();
    rtl::Queue([this] { RunPendingHandOver(); }, this);
}

void TVodirAdIO::RunPendingHandOver()
{
    std::unique_ptr<TJob> job;
    {
        std::lock_guard<std::mutex> lock(jobMutex_);
        if (jobRunning_ || !pending_)
            return;
        job = std::move(pending_);
        handingOver_ = true;
    }
    struct TDone {
        TVodirAdIO& io;
        ~TDone()
        {
            {
                std::lock_guard<std::mutex> lock(io.jobMutex_);
                io.handingOver_ = false;
            }
            io.jobEnded_.notify_all();
        }
    } done{*this};
    HandOver(*job);
}

void TVodirAdIO::Report(int Percent)
{
    if (!OnProgress.Assigned())
        return;
    // On a worker, kept in order with the job, so that the hand-over can deliver what is still
    // queued before the finish event.
    bool queued;
    {
        std::lock_guard<std::mutex> lock(jobMutex_);
        queued = jobRunning_ && jobOnWorker_ && workerId_ == rtl::CurrentThreadId();
        if (queued)
            progress_.push_back(Percent);
    }
    if (queued)
        rtl::Queue([this] { DeliverProgress(); }, this);
    else
        OnProgress(this, Percent);
}

void TVodirAdIO::DeliverProgress()
{
    std::vector<int> due;
    {
        std::lock_guard<std::mutex> lock(jobMutex_);
        due.swap(progress_);
    }
    for (int percent : due)
        OnProgress(this, percent);
}

int TVodirAdIO::Dispatch(std::unique_ptr<TJob> job)
{
    if (IsIOThread()) {
        // Called by a reader or a handler on this component's own worker: done right here.
        RunJob(*job);
        HandOver(*job);
        return job->result;
    }
    const bool async = RunsAsynchronously();
    std::unique_ptr<TIEIOThread> ended;
    for (;;) {
        AwaitIdle(true);  // one job at a time, each after the one before was handed over
        std::lock_guard<std::mutex> lock(jobMutex_);
        if (!Idle())
            continue;  // another thread started one first
        // The job's own abort state starts here, before it can run; the worker never clears it.
        AbortFlag = false;
        jobRunning_ = true;
        jobOnWorker_ = async;
        if (!async) {
            workerId_ = rtl::CurrentThreadId();
            break;
        }
        pending_ = std::move(job);
        ended = std::move(worker_);
        worker_ = std::make_unique<TIEIOThread>(*this, *pending_);
        worker_->Start();
        return -1;
    }
    auto finish = [this] {
        {
            std::lock_guard<std::mutex> lock(jobMutex_);
            jobRunning_ = false;
            workerId_ = 0;
        }
        jobEnded_.notify_all();
    };
    try {
        RunJob(*job);
    } catch (...) {
        finish();
        throw;
    }
    finish();
    HandOver(*job);
    return job->result;
}

// ---- the skeletons ------------------------------------------------------------------------------

int TVodirAdIO::StartLoad(std::unique_ptr<TJob> job)
{
    // The job takes the parameters and background the job before it left.
    AwaitIdle(true);
    PlatformRewrap();
    job->params = std::make_unique<TIOParamsVals>(static_cast<TIEParamsOwner*>(this));
    job->params->Assign(params_.get());
    job->params->ResetInfo();
    job->bitmap = std::make_unique<TIEBitmap>();
    job->background = Background();
    return Dispatch(std::move(job));
}

void TVodirAdIO::StartSave(std::unique_ptr<TJob> job)
{
    if (!(job->steps && job->steps->Save) && !(job->row && job->row->WriteFunction)) {
        // No writer for the type: nothing is created or written.
        AbortFlag = true;
        DoFinishWork();
        return;
    }
    job->save = true;
    // The job writes what the job before it left.
    AwaitIdle(true);
    PlatformRewrap();
    job->params = std::make_unique<TIOParamsVals>(static_cast<TIEParamsOwner*>(this));
    job->params->Assign(params_.get());
    const TIEPixelFormat format = bitmap_->GetPixelFormat();
    const bool anyFormat = job->steps && job->steps->SavesAnyPixelFormat;
    const bool convert = !anyFormat && format != ie24RGB && format != ie1g && format != ieNull;
    // The writer reads the working bitmap itself only where nothing can change it before the
    // writer is done: on this thread, with no handler of the user's to run meanwhile, through a
    // writer of the library's own. A worker, a progress handler (which may change the image) and a
    // routine a program added get a copy; so does a save in another pixel format, as the working
    // bitmap keeps its own.
    const bool userCode = !(job->steps && job->steps->Save) || OnProgress.Assigned();
    if (convert || userCode || RunsAsynchronously() || IsIOThread()) {
        job->bitmap = std::make_unique<TIEBitmap>();
        job->bitmap->Assign(bitmap_);
        if (convert)
            job->bitmap->SetPixelFormat(ie24RGB);
        job->source = job->bitmap.get();
    } else {
        job->source = bitmap_;
    }
    Dispatch(std::move(job));
}

void TVodirAdIO::RunJob(TJob& job)
{
    if (job.save)
        RunSave(job);
    else
        RunLoad(job);
}

void TVodirAdIO::RunLoad(TJob& job)
{
    TProgressRecord progress;
    progress.fOnProgress = [this](void*, int percent) { Report(percent); };
    progress.Sender = this;
    progress.Aborting = &AbortFlag;

    rtl::TStream* stream = job.stream;
    if (job.body) {
        job.body(job, progress);
        if (!job.fetched)
            return;
        // The fetched bytes are read as a stream whose format their content tells.
        stream = job.fetched.get();
        const int type = imaging::FindStreamFormat(*stream);
        stream->Seek(0, rtl::soBeginning);
        if (!ChooseStreamReader(job, type)) {
            AbortFlag = true;
            job.handOver = false;
            job.error =
                "the answer (" + std::to_string(stream->Size()) + " bytes) is in no format the library reads";
            return;
        }
    }

    std::unique_ptr<rtl::TFileStream> file;
    std::int64_t blockSize = 0;
    if (!job.fileName.empty()) {
        try {
            file = std::make_unique<rtl::TFileStream>(job.fileName, rtl::fmOpenRead | rtl::fmShareDenyWrite);
        } catch (...) {
            AbortFlag = true;  // a failed open is a failed load, on any thread
            job.handOver = false;
            throw;
        }
        stream = file.get();
        blockSize = file->Size();
    }

    const TIEFormatSteps* steps = job.steps;
    std::int64_t headerStart = -1;
    std::int64_t headerLength = 0;
    if (!file && StreamHeaders && steps && steps->StreamHeader) {
        const std::int64_t start = stream->Position();
        std::uint8_t header[kStreamHeaderSize] = {};
        const std::int32_t got = stream->Read(header, kStreamHeaderSize);
        if (got == kStreamHeaderSize && std::memcmp(header, steps->StreamHeader, 4) == 0) {
            headerStart = start;
            headerLength = rtl::LoadLE32(header + 8);
            blockSize = headerLength;
        } else if (steps->OldPcxHeader && got >= 4 && std::memcmp(header, "PCX\0", 4) == 0) {
            // The older form has no length: the image is what follows its 4 bytes.
            stream->Seek(start + 4, rtl::soBeginning);
            blockSize = stream->Size() - (start + 4);
        } else if (steps->StreamHeaderOptional) {
            stream->Seek(start, rtl::soBeginning);
        } else {
            stream->Seek(start, rtl::soBeginning);
            AbortFlag = true;
            job.handOver = false;
            return;
        }
    }

    if (steps && steps->Load) {
        TIELoadJob load{*stream,        *job.bitmap, *job.params, progress,       file != nullptr,
                        job.paramsOnly, blockSize,   nullptr,     job.background, 0};
        // A fetched answer is a new stream every time: nothing carries over to it.
        if (!job.body)
            load.Memo = &loadMemo_;
        steps->Load(load);
        job.alpha = std::move(load.Alpha);
        job.background = load.Background;
        job.result = load.Result;
    } else if (job.row && job.row->ReadFunction) {
        job.row->ReadFunction(*stream, job.bitmap.get(), *job.params, progress, job.paramsOnly);
    } else {
        AbortFlag = true;
        job.handOver = false;
    }
    // A load that yields no picture (a TIFF without the page asked for) failed, whatever the
    // reader said: the user's image stays.
    if (!job.paramsOnly && (job.bitmap->GetWidth() < 1 || job.bitmap->GetHeight() < 1))
        AbortFlag = true;
    if (headerStart >= 0)
        stream->Seek(headerStart + kStreamHeaderSize + headerLength, rtl::soBeginning);
}

void TVodirAdIO::RunSave(TJob& job)
{
    TProgressRecord progress;
    progress.fOnProgress = [this](void*, int percent) { Report(percent); };
    progress.Sender = this;
    progress.Aborting = &AbortFlag;
    TIEBitmap& source = *job.source;
    TIEBitmap* alpha = source.HasAlphaChannel() ? source.GetAlphaChannel() : nullptr;

    auto write = [&](rtl::TStream& out) {
        if (job.steps && job.steps->Save) {
            TIESaveJob save{out, source, *job.params, progress, alpha, job.fileName};
            job.steps->Save(save);
        } else {
            job.row->WriteFunction(out, &source, *job.params, progress);
        }
    };

    if (job.fileName.empty()) {
        rtl::TStream& out = *job.stream;
        const bool headed = StreamHeaders && job.steps && job.steps->StreamHeader;
        const std::int64_t start = out.Position();
        if (headed) {
            std::uint8_t placeholder[kStreamHeaderSize] = {};
            IEWrite(out, progress, placeholder, kStreamHeaderSize);
        }
        write(out);
        if (headed && !AbortFlag) {
            const std::int64_t end = out.Position();
            std::uint8_t header[kStreamHeaderSize] = {};
            std::memcpy(header, job.steps->StreamHeader, 4);
            rtl::StoreLE32(header + 8, std::uint32_t(end - start - kStreamHeaderSize));
            out.Seek(start, rtl::soBeginning);
            IEWrite(out, progress, header, kStreamHeaderSize);
            out.Seek(end, rtl::soBeginning);
        }
        return;
    }

    // The image goes to a file of its own beside the target first; the target is replaced only
    // by a complete image.
    std::string temp;
    std::unique_ptr<rtl::TFileStream> out;
    try {
        temp = TempFileBeside(job.fileName);
        out = std::make_unique<rtl::TFileStream>(temp, rtl::fmCreate);
    } catch (...) {
        AbortFlag = true;  // a file that cannot be created is a failed save, on any thread
        job.handOver = false;
        if (!temp.empty())
            rtl::RemoveFile(temp);
        throw;
    }
    try {
        write(*out);
    } catch (...) {
        AbortFlag = true;
    }
    out.reset();
    if (AbortFlag || !detail::IEReplaceFile(temp, job.fileName)) {
        AbortFlag = true;
        rtl::RemoveFile(temp);
    }
}

void TVodirAdIO::HandOver(TJob& job)
{
    // Progress a worker queued comes before the job's end.
    if (rtl::IsMainThread())
        DeliverProgress();
    if (job.http) {
        httpError_ = job.error;
        if (AbortFlag && httpError_.empty())
            httpError_ = "the answer is not a complete image in the format its content names";
    }
    if (!job.handOver) {
        if (job.paramsOnly)
            params_->FileType = ioUnknown;
        DoFinishWork();
        return;
    }
    if (job.save) {
        params_->Assign(job.params.get());
        params_->FileName = job.fileName;
        params_->FileType = job.row ? job.row->FileType : job.fileType;
        DoFinishWork();
        return;
    }
    // A failed or aborted load leaves the image the user had.
    if (!job.paramsOnly && !AbortFlag) {
        if (job.alpha && !PlatformHasTBitmap() && job.alpha->GetWidth() == job.bitmap->GetWidth() &&
            job.alpha->GetHeight() == job.bitmap->GetHeight())
            job.bitmap->GetAlphaChannel()->Assign(job.alpha.get());
        // The image replaces the working bitmap's; its way to black and white stays.
        const std::uint8_t mono = bitmap_->MonoConversion;
        if (PlatformHasTBitmap()) {
            // The pixels go into the platform bitmap the working bitmap wraps; it holds no alpha.
            bitmap_->AssignImage(job.bitmap.get());
            bitmap_->RemoveAlphaChannel();
        } else {
            job.bitmap->MoveTo(bitmap_);
        }
        bitmap_->MonoConversion = mono;
    }
    params_->Assign(job.params.get());
    if (job.paramsOnly) {
        if (AbortFlag)
            params_->FileType = ioUnknown;
        DoFinishWork();
        return;
    }
    const bool registryLoad = job.row != nullptr;
    if (!(registryLoad && AbortFlag))
        params_->ApplyDefaultDpi();
    if (AutoAdjustDPI && !AbortFlag)
        AdjustDPI(*bitmap_, *params_);
    params_->FileName = job.fileName;
    if (job.fileType != ioUnknown)
        params_->FileType = job.fileType;
    else if (job.row)
        params_->FileType = job.row->FileType;
    if (job.viewDpi && !AbortFlag)
        PlatformViewDpi(params_->DpiX, params_->DpiY);
    if (job.steps && (job.steps->FileType == ioPNG || job.steps->FileType == ioGIF))
        background_ = job.background;
    PlatformEndWork();
    DoFinishWork();
}

// ---- loads --------------------------------------------------------------------------------------

void TVodirAdIO::LoadFromFile(const std::string& FileName)
{
    AwaitIdle(true);
    if (FileName.empty()) {
        AbortFlag = true;
        DoFinishWork();
        return;
    }
    if (rtl::LowerCase(FileName.substr(0, 7)) == "http://") {
        LoadFromURL(FileName);
        return;
    }
    const std::string ext = LowerExtension(FileName);
    const int type = TypeOfExtension(kLoadExtensions, ext);
    switch (type) {
    case ioUnknown: LoadFileWithRegistry(FileName, ext); return;
    case ioWMF:
    case ioEMF: LoadMetafile(FileName, -1, -1, true); return;
    case ioAVI:
        OpenAVIReader(FileName);
        LoadAVIFrame(0);
        CloseAVIReader();
        params_->FileName = FileName;
        params_->FileType = ioAVI;
        return;
    default: LoadFileWithSteps(FileName, type); return;
    }
}

int TVodirAdIO::LoadFileWithSteps(const std::string& FileName, int FileType)
{
    auto job = std::make_unique<TJob>();
    job->fileName = FileName;
    job->fileType = FileType;
    job->steps = IEFormatSteps(FileType);
    if (!job->steps || !job->steps->Load) {
        AbortFlag = true;
        DoFinishWork();
        return 0;
    }
    job->viewDpi = job->steps->ViewDpiFile;
    return StartLoad(std::move(job));
}

int TVodirAdIO::LoadFromFileGIF(const std::string& FileName) { return LoadFileWithSteps(FileName, ioGIF); }

int TVodirAdIO::LoadFromFileTIFF(const std::string& FileName) { return LoadFileWithSteps(FileName, ioTIFF); }

int TVodirAdIO::LoadFromStreamGIF(rtl::TStream& Stream) { return LoadStreamOfType(Stream, ioGIF); }

int TVodirAdIO::LoadFromStreamTIFF(rtl::TStream& Stream) { return LoadStreamOfType(Stream, ioTIFF); }

void TVodirAdIO::LoadFileWithRegistry(const std::string& FileName, const std::string& Extension)
{
    params_->FileName.clear();
    params_->FileType = ioUnknown;
    params_->ResetInfo();
    const TIOFileFormat* row = FindFileFormatByExtension(Extension.empty() ? Extension : Extension.substr(1));
    auto job = std::make_unique<TJob>();
    job->fileName = FileName;
    // A row of a format with steps of its own reads through them.
    if (const TIEFormatSteps* steps = row ? IEFormatSteps(row->FileType) : nullptr; steps && steps->Load) {
        job->steps = steps;
        job->fileType = row->FileType;
    } else {
        job->row = AddedRow(row);
    }
    if (!job->steps && !(job->row && job->row->ReadFunction)) {
        AbortFlag = true;
        DoFinishWork();
        return;
    }
    StartLoad(std::move(job));
}

void TVodirAdIO::LoadFromFileFormat(const std::string& FileName, int FileType)
{
    AwaitIdle(true);
    if (FileType == ioWMF || FileType == ioEMF) {
        LoadMetafile(FileName, -1, -1, true);
        return;
    }
    const TIEFormatSteps* steps = IEFormatSteps(FileType);
    if (steps && steps->Load) {
        LoadFileWithSteps(FileName, FileType);
        return;
    }
    const TIOFileFormat* row = AddedRow(FindFileFormatByType(FileType));
    if (!row || !row->ReadFunction) {
        AbortFlag = true;
        DoFinishWork();
        return;
    }
    auto job = std::make_unique<TJob>();
    job->fileName = FileName;
    job->row = row;
    StartLoad(std::move(job));
}

void TVodirAdIO::LoadFromStream(rtl::TStream& Stream)
{
    AwaitIdle(true);
    const std::int64_t position = Stream.Position();
    const int type = imaging::FindStreamFormat(Stream);
    Stream.Seek(position, rtl::soBeginning);
    LoadFromStreamType(Stream, type);
}

bool TVodirAdIO::ChooseStreamReader(TJob& job, int FileType)
{
    job.fileType = FileType;
    job.steps = IEFormatSteps(FileType);
    if (job.steps && job.steps->Load) {
        job.viewDpi = job.steps->ViewDpiStream;
        return true;
    }
    job.steps = nullptr;
    job.row = AddedRow(FindFileFormatByType(FileType));
    return job.row && job.row->ReadFunction;
}

void TVodirAdIO::LoadFromStreamType(rtl::TStream& Stream, int FileType)
{
    LoadStreamOfType(Stream, FileType);
}

int TVodirAdIO::LoadStreamOfType(rtl::TStream& Stream, int FileType)
{
    AwaitIdle(true);
    auto job = std::make_unique<TJob>();
    job->stream = &Stream;
    if (!ChooseStreamReader(*job, FileType)) {
        AbortFlag = true;
        DoFinishWork();
        return 0;
    }
    return StartLoad(std::move(job));
}

void TVodirAdIO::LoadFromURL(const std::string& URL)
{
    AwaitIdle(true);
    detail::TIEHttpRequest request;
    std::string error;
    bool valid = detail::IEParseHttpAddress(URL, request.Address, error);
    request.ViaProxy = !HttpProxy.empty();
    if (valid && request.ViaProxy)
        valid = detail::IEParseHttpProxy(HttpProxy, request.ProxyAddress, error);
    if (!valid) {
        AbortFlag = true;
        httpError_ = error;
        DoFinishWork();
        return;
    }
    request.Proxy = HttpProxy;
    request.ProxyUser = HttpProxyUser;
    request.ProxyPassword = HttpProxyPassword;
    request.ConnectTimeout = std::max(HttpConnectTimeout, 1);
    request.ReceiveTimeout = std::max(HttpReceiveTimeout, 1);
    request.MaxBodySize = std::max<std::int64_t>(HttpMaxBodySize, 0);
    auto job = std::make_unique<TJob>();
    job->http = true;
    job->body = [this, request](TJob& job, TProgressRecord&) {
        job.fetched = detail::IEHttpFetch(request, AbortFlag, job.error);
        if (!job.fetched) {
            AbortFlag = true;
            job.handOver = false;
        }
    };
    StartLoad(std::move(job));
}

void TVodirAdIO::ReadParamsFromFile(const std::string& FileName, int FileType)
{
    auto job = std::make_unique<TJob>();
    job->fileName = FileName;
    ReadParams(std::move(job), FileType);
}

void TVodirAdIO::ReadParamsFromStream(rtl::TStream& Stream, int FileType)
{
    auto job = std::make_unique<TJob>();
    job->stream = &Stream;
    ReadParams(std::move(job), FileType);
}

void TVodirAdIO::ReadParams(std::unique_ptr<TJob> job, int FileType)
{
    AwaitIdle(true);
    AbortFlag = false;
    job->fileType = FileType;
    job->paramsOnly = true;
    job->steps = IEFormatSteps(FileType);
    if (!job->steps)
        job->row = AddedRow(FindFileFormatByType(FileType));
    params_->FileType = FileType;
    job->params = std::make_unique<TIOParamsVals>(static_cast<TIEParamsOwner*>(this));
    job->params->Assign(params_.get());
    job->params->ResetInfo();
    job->bitmap = std::make_unique<TIEBitmap>();
    // Always on the calling thread, and a reader's exception only fails the read.
    try {
        RunLoad(*job);
    } catch (const std::exception&) {
        AbortFlag = true;
    }
    HandOver(*job);
}

TIEWia* TVodirAdIO::GetWia()
{
    if (!wia_) {
        wia_ = std::make_unique<TIEWia>(this);
        wia_->ProgressCallback = [this](int percent) {
            Report(percent);
            return !AbortFlag;
        };
    }
    return wia_.get();
}

int TVodirAdIO::FindFileFormat(const std::string& FileName, bool VerifyExtension)
{
    return imaging::FindFileFormat(FileName, VerifyExtension);
}

int TVodirAdIO::FindStreamFormat(rtl::TStream& Stream) { return imaging::FindStreamFormat(Stream); }

// ---- saves --------------------------------------------------------------------------------------

void TVodirAdIO::SaveToFile(const std::string& FileName)
{
    AwaitIdle(true);
    if (FileName.empty())
        return;
    const std::string ext = LowerExtension(FileName);
    const int type = TypeOfExtension(kSaveExtensions, ext);
    if (type == ioUnknown) {
        SaveFileWithRegistry(FileName, ext);
        return;
    }
    auto job = std::make_unique<TJob>();
    job->fileName = FileName;
    job->fileType = type;
    job->steps = IEFormatSteps(type);
    StartSave(std::move(job));
}

void TVodirAdIO::SaveFileWithRegistry(const std::string& FileName, const std::string& Extension)
{
    auto job = std::make_unique<TJob>();
    job->fileName = FileName;
    const TIOFileFormat* row = FindFileFormatByExtension(Extension.empty() ? Extension : Extension.substr(1));
    if (row) {
        job->fileType = row->FileType;
        job->steps = IEFormatSteps(job->fileType);
        if (!job->steps || !job->steps->Save) {
            job->steps = nullptr;
            job->row = AddedRow(row);
        }
    }
    StartSave(std::move(job));
}

void TVodirAdIO::SaveToStream(rtl::TStream& Stream, int FileType)
{
    AwaitIdle(true);
    auto job = std::make_unique<TJob>();
    job->stream = &Stream;
    job->fileType = FileType;
    job->steps = IEFormatSteps(FileType);
    if (!job->steps || !job->steps->Save) {
        job->steps = nullptr;
        job->row = AddedRow(FindFileFormatByType(FileType));
    }
    StartSave(std::move(job));
}

// ---- multi-page documents ----------------------------------------------------------------------

TIEOpenDocuments& TVodirAdIO::StartDocument(bool Pdf, const std::string& FileName)
{
    if (Pdf)
        ClosePDFFile();
    else
        ClosePSFile();
    if (!documents_)
        documents_ = std::make_unique<TIEOpenDocuments>();
    AbortFlag = true;  // stays set when the file cannot be created
    (Pdf ? documents_->pdf : documents_->ps).Start(FileName);
    return *documents_;
}

void TVodirAdIO::CreatePSFile(const std::string& FileName)
{
    TIEOpenDocuments& d = StartDocument(false, FileName);
    d.psDocument = PSBeginDocument(*d.ps.stream, *params_);
    d.ps.failed = d.psDocument->Failed;
    AbortFlag = d.ps.failed;
}

void TVodirAdIO::SaveToPS() { AddDocumentPage(false); }

void TVodirAdIO::ClosePSFile()
{
    if (documents_ && documents_->ps.Open())
        AbortFlag = !documents_->ClosePS();
}

void TVodirAdIO::CreatePDFFile(const std::string& FileName)
{
    TIEOpenDocuments& d = StartDocument(true, FileName);
    AbortFlag = false;
    d.pdfDocument = PDFBeginDocument();
    d.pdfParams = std::make_unique<TIOParamsVals>(nullptr);
    d.pdfParams->Assign(params_.get());
}

void TVodirAdIO::SaveToPDF() { AddDocumentPage(true); }

void TVodirAdIO::AddDocumentPage(bool Pdf)
{
    WaitThreads(false);
    AbortFlag = false;
    TIEOpenDocuments* d = documents_.get();
    if (!d || !(Pdf ? d->pdf : d->ps).Open()) {
        AbortFlag = true;
        DoFinishWork();
        return;
    }
    TProgressRecord progress;
    progress.fOnProgress = [this](void*, int percent) { Report(percent); };
    progress.Sender = this;
    progress.Aborting = &AbortFlag;
    if (Pdf) {
        PDFAddPage(d->pdfDocument.get(), bitmap_, *params_, progress);
        d->pdfParams->Assign(params_.get());
    } else {
        PSAddPage(d->psDocument.get(), *d->ps.stream, bitmap_, progress, *params_);
        d->ps.failed = d->ps.failed || d->psDocument->Failed;
    }
    DoFinishWork();
}

void TVodirAdIO::ClosePDFFile()
{
    if (documents_ && documents_->pdf.Open())
        AbortFlag = !documents_->ClosePDF();
}

// ---- after a load -------------------------------------------------------------------------------

void TVodirAdIO::AdjustDPI(TIEBitmap& Bitmap, TIOParamsVals& Params)
{
    const int dpiX = Params.DpiX;
    const int dpiY = Params.DpiY;
    if (dpiX == dpiY || dpiX <= 0 || dpiY <= 0 || Bitmap.GetWidth() < 1 || Bitmap.GetHeight() < 1)
        return;
    std::int64_t width = Bitmap.GetWidth();
    std::int64_t height = Bitmap.GetHeight();
    const bool taller = height < width;
    if (taller)
        height = std::int64_t(double(height) / dpiY * dpiX);
    else
        width = std::int64_t(double(width) / dpiX * dpiY);
    width = std::max<std::int64_t>(width, 1);
    height = std::max<std::int64_t>(height, 1);
    const TIEPixelFormat format = FilteredAdjustDPI ? ie24RGB : Bitmap.GetPixelFormat();
    // The stretch is bounded as the readers bound images: no larger than they would allocate, and
    // no more pixels than a file's own resolutions can plausibly ask for (a wild resolution in a
    // tiny file must not become a huge image).
    const std::int64_t source = std::int64_t(Bitmap.GetWidth()) * Bitmap.GetHeight();
    if (width > INT_MAX || height > INT_MAX || width * height > source * kMaxDpiStretch ||
        width * height * 3 > IEBmpMaxImageBytes) {
        AbortFlag = true;
        return;
    }
    TIEBitmap target;
    target.Allocate(int(width), int(height), format);
    if (FilteredAdjustDPI && Bitmap.GetPixelFormat() != ie24RGB) {
        TIEBitmap source;
        source.Assign(&Bitmap);
        source.SetPixelFormat(ie24RGB);
        ResampleBitmap(&source, &target, rfFastLinear);
    } else {
        ResampleBitmap(&Bitmap, &target, FilteredAdjustDPI ? rfFastLinear : rfNone);
    }
    Bitmap.Assign(&target);
    Params.Width = int(width);
    Params.Height = int(height);
    if (taller)
        Params.SetDpiY(dpiX);
    else
        Params.SetDpiX(dpiY);
}

}  // namespace imaging
