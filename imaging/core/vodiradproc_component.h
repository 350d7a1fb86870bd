// TVodirAdProc: the processing component. It applies grey conversion, resampling and colour
// reduction to one image (its own, an attached view's, an attached platform image's or bitmap's)
// and keeps undo and redo lists of earlier images and of an attached view's selections.
#pragma once

#include "imaging/core/hyiedefs.h"
#include "imaging/core/ieview.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/TypeInfo.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace win {
class TBitmap;
class TFont;
class TForm;
class TImage;
}  // namespace win

namespace imaging {

class TIEBitmap;
class TIEMask;
class TIESelectionPoints;

enum TPRPreviewsParamsItems { prppDefaultLockPreview };
RTL_ENUM_INFO(TPRPreviewsParamsItems, "prppDefaultLockPreview")
using TPRPreviewsParams = rtl::TSet<TPRPreviewsParamsItems>;

// A preview dialog the component shows, before it opens.
using TIEPreviewEvent = rtl::TEvent<void(rtl::TObject* Sender, win::TForm* PreviewForm)>;

// Operations do nothing, and save no undo entry, on a missing or empty image or a pixel format
// outside the ones they take. Errors of the bitmap and the quantizers propagate as exceptions.
// Main thread only.
class TVodirAdProc : public rtl::TComponent {
    RTL_DECLARE_CLASS(TVodirAdProc, rtl::TComponent)

public:
    explicit TVodirAdProc(rtl::TComponent* AOwner);
    ~TVodirAdProc() override;

    bool AutoUndo = true;
    TIEProgressNotifyEvent OnProgress;
    // Kept for the preview dialogs; no operation here reads them.
    TMsgLanguage MsgLanguage = msSystem;
    TPRPreviewsParams PreviewsParams;
    TIEPreviewEvent OnPreview;
    // Windows build only (nullptr elsewhere): the preview dialogs' font, owned by the component.
    win::TFont* PreviewFont() const { return previewFont_.get(); }
    // Assigns Value into the owned font (nullptr is ignored); Value stays the caller's.
    void SetPreviewFont(win::TFont* Value);

    // The image the operations change; owned by this component or by what it is attached to.
    TIEBitmap* Bitmap() const { return bitmap_; }
    bool OwnsBitmap() const { return owned_ != nullptr; }

    // Windows build only: attachments (each replaces the previous one). A view is followed
    // through its bitmap-change callbacks; when it goes away the component falls back to an own
    // bitmap. nullptr detaches.
    TIEView* AttachedVodirAd() const { return view_; }
    void SetAttachedVodirAd(TIEView* View);
    win::TImage* AttachedTImage() const { return image_; }
    void SetAttachedTImage(win::TImage* Image);
    win::TBitmap* AttachedBitmap() const { return attachedBitmap_; }
    // nullptr is ignored while a view or image is attached.
    void SetAttachedBitmap(win::TBitmap* Bitmap);

    // The view's background when a view is attached, else the own one.
    TColor Background() const;
    void SetBackground(TColor Value);

    int UndoLimit() const { return undoLimit_; }
    // Never below 1.
    void SetUndoLimit(int Value) { undoLimit_ = Value < 1 ? 1 : Value; }
    TIELocation UndoLocation = ieFile;

    // True with an image of a format in AllowedFormats (an empty list allows all).
    bool CanProcess(std::initializer_list<TIEPixelFormat> AllowedFormats = {});
    // The image (Source 1) or the attached view's selection (Source 2: its points, flag and mask,
    // as the view writes them) as the newest undo or redo entry; the oldest is dropped beyond
    // UndoLimit. A selection needs a view that keeps one; other Sources do nothing.
    virtual void SaveUndo(int Source = 1);
    void SaveUndoCaptioned(const std::string& Caption, int Source = 1);
    virtual void SaveRedo(int Source = 1);
    // Index 0 is the newest entry; the entry stays in its list. Out of range does nothing. An
    // image entry replaces the image; a selection entry becomes the attached view's selection when
    // it was made for an image of the present size (else nothing changes).
    virtual void UndoAt(int Index);
    virtual void RedoAt(int Index);
    void Undo() { UndoAt(0); }
    void Redo() { RedoAt(0); }
    virtual void DropNewestRedo();
    int UndoCount() const { return int(undo_.size()); }
    int RedoCount() const { return int(redo_.size()); }
    // Captions in list order: index 0 is the oldest entry's.
    const std::string& UndoCaption(int Index) const { return undo_.at(std::size_t(Index)).caption; }
    const std::string& RedoCaption(int Index) const { return redo_.at(std::size_t(Index)).caption; }
    // Whether an entry (0 the oldest) holds a selection rather than an image.
    bool UndoIsSelection(int Index) const { return undo_.at(std::size_t(Index)).selection != nullptr; }
    bool RedoIsSelection(int Index) const { return redo_.at(std::size_t(Index)).selection != nullptr; }

    // The part of the image the operations work on: X1 = Y1 = 0 and X2, Y2 the image's size
    // (exclusive), or, while an attached view holds a selection, the box of its mask (X2 and Y2
    // one past the last pixel). Mask is the view's selection mask whether it holds one or not
    // (nullptr without a view that keeps selections), Points its polygons (nullptr likewise).
    // True only for a held, non-empty selection of the image's size.
    bool GetSelectionRect(int& X1, int& Y1, int& X2, int& Y2, const TIESelectionPoints*& Points,
                          TIEMask*& Mask);

    // Tells what the image belongs to that it changed.
    void Update();

    // 24-bit images become grey (R * 21 + G * 71 + B * 8) div 100 in all three channels; with a
    // selection held by the attached view, only its pixels (8-bit masks blend by their value).
    void ConvertToGray();
    // NewHeight 0 keeps the height and a negative one is its absolute value; NewWidth likewise,
    // and -1 on one side keeps the aspect from the other. The undo entry comes first, so both
    // sizes negative save one and change nothing else. The image is replaced only when the
    // resampler produced a picture.
    void Resample(int NewWidth, int NewHeight, TResampleFilter Filter);
    // 24-bit images only, the whole image: below 3 colours black and white (Method 0 ordered
    // dither, 1 threshold at the average grey), 3 to 1024 a palette of at most 256 colours; more
    // colours change nothing (an undo entry is still saved).
    void ConvertTo(int NumColors, int Method = 0);
    // As ConvertTo, the palette made given back in Palette (black and white for two colours);
    // NumColors 0 does nothing.
    void ConvertToPalette(int NumColors, std::span<TRGB> Palette, int Method = 0);

protected:
    void Notification(rtl::TComponent* AComponent, rtl::TOperation Operation) override;

private:
    struct TFontDeleter {
        void operator()(win::TFont* Font) const;
    };
    // The platform's font; nullptr without a GUI layer.
    static std::unique_ptr<win::TFont, TFontDeleter> NewPreviewFont();

    struct TEntry {
        std::unique_ptr<TIEBitmap> image;
        std::unique_ptr<rtl::TMemoryStream> selection;
        std::string caption;
    };
    using TEntries = std::vector<TEntry>;

    // What an operation works on: the image itself, or a copy of the selection's box.
    struct TFrame {
        TIEBitmap* work = nullptr;
        std::unique_ptr<TIEBitmap> box;  // the copy, when there is a selection
        TIEMask* mask = nullptr;         // not owned
    };

    void SaveEntry(TEntries& list, int Source);
    void RestoreEntry(TEntries& list, int Index);
    // Platform parts: the attached view's selection (vodiradproc_component_win32.cpp).
    TIEMask* ViewSelection(bool& Selected, const TIESelectionPoints*& Points) const;
    // False without a view that keeps selections.
    bool SaveViewSelection(rtl::TStream& Stream);
    void LoadViewSelection(rtl::TStream& Stream);
    // A new own bitmap replaces whatever was processed.
    void UseOwnBitmap();
    void DetachView();
    void BitmapChangeEvent(rtl::TObject* Sender, bool Destroying);
    void RewrapAttachedBitmap();
    bool BeginProcessing(std::initializer_list<TIEPixelFormat> AllowedFormats, const std::string& Caption);
    // The undo entry first, then the frame; false (nothing saved) when the image cannot be processed.
    bool BeginProcessing(std::initializer_list<TIEPixelFormat> AllowedFormats, const std::string& Caption,
                         TFrame& Frame);
    // A selection's box goes back into the image through the mask; then the owner is told.
    void EndProcessing(TFrame& Frame);
    void ReduceTo(int NumColors, std::span<TRGB> Palette, int Method, const std::string& Caption,
                  bool PaletteOut);

    std::unique_ptr<TIEBitmap> owned_;
    TIEBitmap* bitmap_ = nullptr;  // owned_ or the attached one's; not owned then
    TIEView* view_ = nullptr;      // not owned
    TIECallbackHandle callback_ = kIENoCallback;
    win::TImage* image_ = nullptr;            // not owned
    win::TBitmap* attachedBitmap_ = nullptr;  // not owned
    TColor background_ = 0x00FFFFFF;
    int undoLimit_ = 1;
    TEntries undo_;
    TEntries redo_;
    std::uint64_t entriesSaved_ = 0;  // counts every entry added, to caption the one just saved
    std::unique_ptr<win::TFont, TFontDeleter> previewFont_;
};

}  // namespace imaging
