// The I/O component (TVodirAdIO): moves images between files or streams and one working bitmap,
// attached to a view, a platform bitmap or image control, or a TIEBitmap; keeps the image's
// parameters; chooses the format by extension, by file-type code or by content; and can run each
// load or save on a worker thread.
//
// Portable. The attachments to the GUI layer (views, TBitmap, TImage), metafiles and AVI frames
// are implemented in vodiradio_win32.cpp; elsewhere a component works on TIEBitmaps only, and
// metafile and AVI loads set the abort flag.
#pragma once

#include "imaging/core/hyiedefs.h"
#include "imaging/core/iebitmap.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/ieformatsteps.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/Streams.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace win {
class TBitmap;
class TFont;
class TForm;
class TImage;
}  // namespace win

namespace imaging {

class TIEView;
class TIEIOThread;
class TIEDirectShow;
class TIETWainParams;
class TIEWia;
// State the platform part keeps (open AVI files, the view's callback); defined there.
struct TIEIOPlatform;
// The open multi-page documents; defined with the component.
struct TIEOpenDocuments;
struct TIEIOPlatformDeleter {
    void operator()(TIEIOPlatform* Platform) const;
};

// Options of the parameters dialog.
enum TIOPreviewsParamsItems { ioppDefaultLockPreview, ioppApplyButton };
RTL_ENUM_INFO(TIOPreviewsParamsItems, "ioppDefaultLockPreview", "ioppApplyButton")
using TIOPreviewsParams = rtl::TSet<TIOPreviewsParamsItems>;
// Setting Handled stands for the dialog: DoPreviews then shows nothing and answers true.
using TIEDoPreviewsEvent = rtl::TEvent<void(rtl::TObject* Sender, bool& Handled)>;
// The dialog, ready, just before it is shown.
using TIEIOPreviewEvent = rtl::TEvent<void(rtl::TObject* Sender, win::TForm* PreviewForm)>;
// An acquired image, before the working bitmap takes it; setting Handled keeps it from there.
using TIEAcquireBitmapEvent = rtl::TEvent<void(rtl::TObject* Sender, TIEBitmap* ABitmap, bool& Handled)>;

// The unit the dialogs show lengths in, or let the user choose starting from.
enum TIEDialogsMeasureUnit { ieduInches, ieduCm, ieduSelectableDefInches, ieduSelectableDefCm };
RTL_ENUM_INFO(TIEDialogsMeasureUnit, "ieduInches", "ieduCm", "ieduSelectableDefInches", "ieduSelectableDefCm")

// Message a worker used to post to a view when it finished a load; kept for views that still
// handle it. Loads finish on the main thread here, so the component itself never posts it.
inline constexpr unsigned kIEMsgIOFinished = 0x0400 + 7000;

class TVodirAdIO : public rtl::TComponent, private TIEParamsOwner {
    RTL_DECLARE_CLASS(TVodirAdIO, rtl::TComponent)

public:
    explicit TVodirAdIO(rtl::TComponent* AOwner);
    // Aborts a running job and waits for it. A job whose result had not been handed over yet is
    // handed over here: a load that had finished gives its image to what the component is attached
    // to; one aborted here leaves it as it was. Either way OnFinishWork fires once, AbortFlag
    // saying which.
    ~TVodirAdIO() override;

    // ---- attachment ----------------------------------------------------------------------------
    // Each setter first aborts and waits for this component's job, then detaches from what it was
    // attached to, then attaches; nil values detach (a new owned empty bitmap becomes the working
    // bitmap). The working bitmap is what every load fills and every save writes.
    TIEBitmap* IEBitmap() const { return bitmap_; }
    // A TIEBitmap that stays the caller's.
    TIEBitmap* AttachedTIEBitmap() const { return kind_ == kIEBitmap ? bitmap_ : nullptr; }
    void SetAttachedTIEBitmap(TIEBitmap* Value);
    // Windows build only: a view (its TIEBitmap, or its TBitmap wrapped; followed through its
    // bitmap-change callbacks), a TBitmap (wrapped) and an image control (its picture's bitmap,
    // wrapped).
    TIEView* AttachedVodirAd() const { return view_; }
    void SetAttachedVodirAd(TIEView* Value);
    win::TBitmap* AttachedTBitmap() const { return kind_ == kTBitmap ? tbitmap_ : nullptr; }
    void SetAttachedTBitmap(win::TBitmap* Value);
    win::TImage* AttachedTImage() const { return image_; }
    void SetAttachedTImage(win::TImage* Value);
    // The platform bitmap being worked on: the working bitmap's own when it keeps its pixels in
    // one, else the attached one (a TBitmap, an image control's or a view's); null when there is
    // none.
    virtual win::TBitmap* GetBitmap();

    TIOParamsVals& Params() { return *params_; }
    // The attached view's background when there is one, else the kept colour.
    TColor Background() const;
    void SetBackground(TColor Value);
    bool NativePixelFormat() const { return params_->NativePixelFormat != 0; }
    void SetNativePixelFormat(bool Value) { params_->NativePixelFormat = Value; }

    // Shared with every reader and writer through the progress record; set from any thread to
    // abort the running job. After an operation it says whether that operation failed; each job
    // clears it when it is started, before it runs, and its worker never clears it.
    std::atomic<bool> AbortFlag{false};
    // Run loads and saves on a worker when the working bitmap is not the component's own.
    bool Asynchronous = false;
    // 12-byte headers around TIFF, PCX and JPEG images in streams.
    bool StreamHeaders = false;
    // After a load, stretch the image so that both resolutions are equal.
    bool AutoAdjustDPI = false;
    bool FilteredAdjustDPI = false;

    // Progress in percent and the end of every operation; always on the main thread when a
    // worker does the work.
    TIEProgressNotifyEvent OnProgress;
    rtl::TNotifyEvent OnFinishWork;

    // ---- loading and saving ------------------------------------------------------------------
    // Each returns when done, or at once when the job went to a worker. Failures set AbortFlag;
    // files that cannot be opened or created raise rtl::EFOpenError or rtl::EFCreateError on the
    // calling thread (on a worker they set AbortFlag).
    void LoadFromFile(const std::string& FileName);
    void LoadFromFileFormat(const std::string& FileName, int FileType);
    // Detects the format from the stream's content, then reads from its position.
    void LoadFromStream(rtl::TStream& Stream);
    void LoadFromStreamType(rtl::TStream& Stream, int FileType);
    // The GIF and TIFF loads, which also give the number of frames or pages the file holds: -1 when
    // the load went to a worker, 0 when the image is not one of the format.
    int LoadFromFileGIF(const std::string& FileName);
    int LoadFromStreamGIF(rtl::TStream& Stream);
    int LoadFromFileTIFF(const std::string& FileName);
    int LoadFromStreamTIFF(rtl::TStream& Stream);
    // A file save writes a temporary file beside the target and puts it in the target's place only
    // when the whole image was written: a failed save leaves an existing file as it was.
    void SaveToFile(const std::string& FileName);
    void SaveToStream(rtl::TStream& Stream, int FileType);
    // Fills Params from the image's headers; the bitmap is not changed. FileType 0 on failure.
    void ReadParamsFromFile(const std::string& FileName, int FileType);
    void ReadParamsFromStream(rtl::TStream& Stream, int FileType);
    int FindFileFormat(const std::string& FileName, bool VerifyExtension);
    int FindStreamFormat(rtl::TStream& Stream);

    // Multi-page PostScript and PDF documents, one open of each kind. Create... starts a document in
    // a temporary file beside FileName (ending one already open; EFCreateError when the folder
    // takes no file); each SaveTo... adds the working bitmap as its next page with Params' page
    // settings; Close... ends the document and only then puts it in FileName's place. A failed
    // write, or a page added with no document open, sets AbortFlag; a document that failed is not
    // put in place. The component's destruction closes open documents.
    void CreatePSFile(const std::string& FileName);
    void SaveToPS();
    void ClosePSFile();
    void CreatePDFFile(const std::string& FileName);
    void SaveToPDF();
    void ClosePDFFile();

    // ---- loading over HTTP (Windows build; elsewhere it sets AbortFlag) ---------------------
    // Fetches an "http://" address (LoadFromFile sends such names here) with a GET through the
    // platform's HTTP library and loads the answer as LoadFromStream does, finding the format
    // from the content. Redirects are followed (at most 10). A bad address, a failed connection,
    // an answer outside 2xx, a body cut short, larger than HttpMaxBodySize or silent for longer than
    // HttpReceiveTimeout, and an abort, all set AbortFlag, leave the image as it was and say why in
    // LastHttpError. An abort ends the load at once, even while the server is silent.
    void LoadFromURL(const std::string& URL);
    // "host:port" of an HTTP proxy; empty: straight to the server.
    std::string HttpProxy;
    // Given to the proxy only, never to the server the address names.
    std::string HttpProxyUser;
    std::string HttpProxyPassword;
    // Milliseconds: to open a connection, and the longest silence while waiting for an answer.
    int HttpConnectTimeout = 30000;
    int HttpReceiveTimeout = 30000;
    std::int64_t HttpMaxBodySize = std::int64_t(256) << 20;
    // Why the last load over HTTP failed; empty after one that succeeded.
    const std::string& LastHttpError() const { return httpError_; }

    // ---- scanners and cameras ----------------------------------------------------------------
    // The TWAIN settings, made with the component.
    TIETWainParams& TWainParams() { return *twain_; }
    // Hands over an image an acquisition delivers (on the main thread, after any job of the
    // component has been handed over): fires OnAcquireBitmap; unless a handler took the image, the
    // working bitmap takes a copy of it, AutoAdjustDPI applies, and what the component is attached
    // to shows it. Params is then the component's parameters, else null. Bitmap stays the caller's.
    virtual void DeliverAcquiredBitmap(TIEBitmap* Bitmap, TIOParamsVals*& Params);
    TIEAcquireBitmapEvent OnAcquireBitmap;
    // What an acquisition keeps from one step to the next; 0 when none is under way.
    std::int32_t AcquisitionState = 0;
    virtual void ClearAcquisitionState();
    // The WIA object, made on first use on the calling thread, which must also be the thread that
    // destroys the component.
    TIEWia* GetWia();

    // Windows metafiles and AVI frames (Windows build only; elsewhere they set AbortFlag).
    // Width or Height negative keeps the metafile's proportions; both negative its own size.
    void LoadMetafile(const std::string& FileName, int Width, int Height, bool WithAlpha);
    // The number of frames, 0 on failure.
    int OpenAVIReader(const std::string& FileName);
    void LoadAVIFrame(int FrameIndex);
    void CloseAVIReader();
    // The DirectShow wrapper, made on first use and owned by this component; its notifications go
    // to the attached view's window (messages 8025 and 8026). Windows build only (nullptr elsewhere).
    TIEDirectShow* GetDirectShow();
    // The wrapper if it has been made; never makes one.
    TIEDirectShow* DirectShowIfMade() const;

    // ---- parameters dialog ---------------------------------------------------------------------
    TMsgLanguage MsgLanguage = msSystem;
    TIOPreviewsParams PreviewsParams;
    // The dialog shows the short pages.
    bool SimplifiedParamsDialogs = true;
    TIEDialogsMeasureUnit DialogsMeasureUnit = ieduInches;
    // How images are brought to black and white: true, by the threshold of their average grey;
    // false, by ordered dither. The dialog previews with it; setting it also sets the working
    // bitmap's own method (its MonoConversion), which saves use, and loads keep.
    bool MonoThreshold() const { return monoThreshold_; }
    void SetMonoThreshold(bool Value);
    TIEDoPreviewsEvent OnDoPreviews;
    TIEIOPreviewEvent OnIOPreview;
    // Windows build only: the font the dialog takes; owned by the component.
    win::TFont* PreviewFont();
    void SetPreviewFont(win::TFont* Value);
    // Shows the save-parameters dialog with the pages of Pages (1 all, 2 the page of Params.FileType,
    // 4 JPEG, 8 TIFF, 16 GIF, 32 BMP, 64 PCX, 128 PNG, 256 TGA, 512 JPEG 2000) over a copy of the
    // working bitmap, which stays as it is. True when OnDoPreviews handled it or the user pressed OK
    // (Params then hold the chosen values and FileType); false when cancelled, when the set names
    // no page, or without a working image. Off Windows only OnDoPreviews can answer true.
    virtual bool DoPreviews(std::uint16_t Pages);

    // ---- workers -----------------------------------------------------------------------------
    // True on this component's worker.
    bool IsIOThread() const;
    // Waits for this component's job to end (with Abort, aborting it first; without a running job
    // the abort flag is left alone). On the main thread the finished load is then handed over at
    // once, so the image is in place on return, and jobs the finish handlers start are waited for
    // too. Called from the worker itself it returns at once.
    void WaitThreads(bool Abort);

protected:
    void Notification(rtl::TComponent* AComponent, rtl::TOperation Operation) override;
    // Fires OnProgress with 100, then OnFinishWork.
    virtual void DoFinishWork();
    // Fires OnAcquireBitmap.
    virtual void DoAcquireBitmap(TIEBitmap* ABitmap, bool& Handled);

private:
    friend class TIEIOThread;
    friend struct TIEIOPlatform;
    enum TKind { kOwn, kIEBitmap, kView, kTBitmap, kTImage };
    struct TJob;

    // TIEParamsOwner
    bool ParamsBitmapSize(int& Width, int& Height) const override;
    bool ParamsViewDpi(int& DpiX, int& DpiY) const override;

    // The common skeletons. A load gives the reader's result, or -1 when it went to a worker.
    int StartLoad(std::unique_ptr<TJob> job);
    void StartSave(std::unique_ptr<TJob> job);
    int Dispatch(std::unique_ptr<TJob> job);
    void RunJob(TJob& job);
    void RunLoad(TJob& job);
    void RunSave(TJob& job);
    void HandOver(TJob& job);
    void RunPendingHandOver();
    // No job running, waiting for its hand-over or (seen from another thread) being handed over;
    // under jobMutex_.
    bool Idle() const;
    // Waits until no job runs (and, with handedOver, until the last one was handed over). On the
    // main thread it hands finished jobs over itself, and waits for jobs their handlers start.
    void AwaitIdle(bool handedOver);
    void DeliverProgress();
    void WorkerEnded();
    void Report(int Percent);
    bool RunsAsynchronously() const;
    int LoadFileWithSteps(const std::string& FileName, int FileType);
    int LoadStreamOfType(rtl::TStream& Stream, int FileType);
    // Picks the steps or registry row reading a stream of the type; false when there is none.
    static bool ChooseStreamReader(TJob& job, int FileType);
    void ReadParams(std::unique_ptr<TJob> job, int FileType);
    void LoadFileWithRegistry(const std::string& FileName, const std::string& Extension);
    void SaveFileWithRegistry(const std::string& FileName, const std::string& Extension);
    void AdjustDPI(TIEBitmap& Bitmap, TIOParamsVals& Params);
    // Ends the open document of the kind and starts the next one's temporary file.
    TIEOpenDocuments& StartDocument(bool Pdf, const std::string& FileName);
    void AddDocumentPage(bool Pdf);
    void Detach();
    void UseOwnBitmap();

    // The properties a description stores that exist in the Windows build only, as the property
    // layer sees them: the view and the image control as components, the dialog's font as a
    // persistent object. Elsewhere they read as nil and take only nil.
    rtl::TComponent* PublishedView() const;
    void SetPublishedView(rtl::TComponent* Value);
    rtl::TComponent* PublishedImage() const;
    void SetPublishedImage(rtl::TComponent* Value);
    rtl::TPersistent* PublishedPreviewFont();
    void SetPublishedPreviewFont(rtl::TPersistent* Value);
    // Only a font someone set is stored.
    bool PreviewFontStored() const;

    // Platform parts (vodiradio_win32.cpp, vodiradio_posix.cpp).
    void PlatformDetach();
    void PlatformRewrap();
    void PlatformEndWork();
    void PlatformViewDpi(int DpiX, int DpiY);
    void PlatformCloseAVI();
    bool PlatformHasTBitmap() const;
    void FollowView();
    void ViewBitmapChanged(bool Destroying);

    TKind kind_ = kOwn;
    TIEBitmap* bitmap_ = nullptr;  // the working bitmap; owned when ownBitmap_ holds it
    std::unique_ptr<TIEBitmap> ownBitmap_;
    TIEView* view_ = nullptr;
    win::TBitmap* tbitmap_ = nullptr;  // the working TBitmap
    win::TImage* image_ = nullptr;
    TColor background_ = 0;
    std::unique_ptr<TIOParamsVals> params_;
    std::unique_ptr<TIEIOPlatform, TIEIOPlatformDeleter> platform_;
    std::unique_ptr<TIEOpenDocuments> documents_;
    std::string httpError_;
    std::unique_ptr<TIETWainParams> twain_;
    std::unique_ptr<TIEWia> wia_;
    // What the last load kept for the next (the frames of an animation composed so far).
    std::unique_ptr<TIELoadMemo> loadMemo_;
    bool monoThreshold_ = true;

    // The one job at a time: its worker, and the finished load waiting for the main thread.
    mutable std::mutex jobMutex_;
    std::condition_variable jobEnded_;
    bool jobRunning_ = false;
    std::uint32_t workerId_ = 0;
    std::unique_ptr<TIEIOThread> worker_;
    std::unique_ptr<TJob> pending_;
    bool handingOver_ = false;
    bool jobOnWorker_ = false;
    // Progress a worker reported, waiting for the main thread.
    std::vector<int> progress_;
};

}  // namespace imaging
