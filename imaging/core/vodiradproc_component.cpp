// The processing component: operation frame, undo and redo, and the operations themselves.
#include "imaging/core/vodiradproc_component.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradproc.h"

#include <algorithm>
#include <cstdlib>

namespace imaging {

TVodirAdProc::TVodirAdProc(rtl::TComponent* AOwner) : rtl::TComponent(AOwner), previewFont_(NewPreviewFont())
{
    UseOwnBitmap();
}

TVodirAdProc::~TVodirAdProc()
{
    Destroying();
    DetachView();
}

void TVodirAdProc::UseOwnBitmap()
{
    owned_ = std::make_unique<TIEBitmap>();
    bitmap_ = owned_.get();
    attachedBitmap_ = nullptr;
}

bool TVodirAdProc::CanProcess(std::initializer_list<TIEPixelFormat> AllowedFormats)
{
    if (!bitmap_)
        return false;
    RewrapAttachedBitmap();
    const TIEPixelFormat format = bitmap_->GetPixelFormat();
    if (format == ieNull || bitmap_->GetWidth() < 1 || bitmap_->GetHeight() < 1)
        return false;
    return AllowedFormats.size() == 0 ||
           std::find(AllowedFormats.begin(), AllowedFormats.end(), format) != AllowedFormats.end();
}

void TVodirAdProc::SaveEntry(TEntries& list, int Source)
{
    TEntry entry;
    if (Source == 1) {
        if (!CanProcess())
            return;
        entry.image = std::make_unique<TIEBitmap>();
        entry.image->MinFileSize = bitmap_->MinFileSize;
        entry.image->SetLocation(UndoLocation);
        entry.image->Assign(bitmap_);
    } else if (Source == 2) {
        entry.selection = std::make_unique<rtl::TMemoryStream>();
        if (!SaveViewSelection(*entry.selection))
            return;  // selections need a view that keeps one
    } else {
        return;
    }
    while (int(list.size()) >= undoLimit_)
        list.erase(list.begin());
    list.push_back(std::move(entry));
    ++entriesSaved_;
}

void TVodirAdProc::SaveUndo(int Source) { SaveEntry(undo_, Source); }
void TVodirAdProc::SaveRedo(int Source) { SaveEntry(redo_, Source); }

void TVodirAdProc::SaveUndoCaptioned(const std::string& Caption, int Source)
{
    if (!CanProcess())
        return;
    // The entry just saved is told by the count of entries ever added: the list's size cannot tell,
    // since a lowered limit drops more than one old entry for it.
    const std::uint64_t before = entriesSaved_;
    SaveUndo(Source);
    if (entriesSaved_ != before && !undo_.empty())
        undo_.back().caption = Caption;
}

void TVodirAdProc::RestoreEntry(TEntries& list, int Index)
{
    if (!CanProcess() || Index < 0 || Index >= int(list.size()))
        return;
    TEntry& entry = list[list.size() - 1 - std::size_t(Index)];
    if (entry.image) {
        bitmap_->Assign(entry.image.get());
        Update();
    } else if (entry.selection) {
        entry.selection->SetPosition(0);
        LoadViewSelection(*entry.selection);
    }
}

bool TVodirAdProc::GetSelectionRect(int& X1, int& Y1, int& X2, int& Y2, const TIESelectionPoints*& Points,
                                    TIEMask*& Mask)
{
    X1 = Y1 = 0;
    X2 = bitmap_ ? bitmap_->GetWidth() : 0;
    Y2 = bitmap_ ? bitmap_->GetHeight() : 0;
    Points = nullptr;
    bool selected = false;
    const TIESelectionPoints* points = nullptr;
    Mask = ViewSelection(selected, points);
    // A mask of another size than the image is left from before the image changed: never applied.
    if (!Mask || !selected || Mask->IsEmpty() || Mask->Width() != X2 || Mask->Height() != Y2)
        return false;
    X1 = Mask->X1();
    Y1 = Mask->Y1();
    X2 = Mask->X2() + 1;
    Y2 = Mask->Y2() + 1;
    Points = points;
    return true;
}

void TVodirAdProc::UndoAt(int Index) { RestoreEntry(undo_, Index); }
void TVodirAdProc::RedoAt(int Index) { RestoreEntry(redo_, Index); }

void TVodirAdProc::DropNewestRedo()
{
    if (!redo_.empty())
        redo_.pop_back();
}

bool TVodirAdProc::BeginProcessing(std::initializer_list<TIEPixelFormat> AllowedFormats,
                                   const std::string& Caption)
{
    if (!CanProcess(AllowedFormats))
        return false;
    if (AutoUndo)
        SaveUndoCaptioned(Caption, 1);
    return true;
}

bool TVodirAdProc::BeginProcessing(std::initializer_list<TIEPixelFormat> AllowedFormats,
                                   const std::string& Caption, TFrame& Frame)
{
    if (!BeginProcessing(AllowedFormats, Caption))
        return false;
    const TIESelectionPoints* points = nullptr;
    TIEMask* mask = nullptr;
    int x1, y1, x2, y2;
    Frame.work = bitmap_;
    if (GetSelectionRect(x1, y1, x2, y2, points, mask)) {
        Frame.box = std::make_unique<TIEBitmap>();
        Frame.box->Allocate(x2 - x1, y2 - y1, bitmap_->GetPixelFormat());
        bitmap_->CopyRectTo(Frame.box.get(), x1, y1, 0, 0, x2 - x1, y2 - y1);
        Frame.work = Frame.box.get();
        Frame.mask = mask;
    }
    return true;
}

void TVodirAdProc::EndProcessing(TFrame& Frame)
{
    if (Frame.box) {
        // Only the selected pixels take the result; 8-bit masks blend it with what was there.
        Frame.mask->CopyBitmapMasked(bitmap_, Frame.box.get(), false, true, false);
        Frame.box.reset();
    }
    Update();
}

void TVodirAdProc::ConvertToGray()
{
    TFrame frame;
    if (!BeginProcessing({}, "ConvertToGray", frame))
        return;
    TIEBitmap& work = *frame.work;
    if (work.GetPixelFormat() == ie24RGB) {
        const int w = work.GetWidth(), h = work.GetHeight();
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<TRGB*>(work.ScanLine(y));
            for (int x = 0; x < w; ++x) {
                const std::uint8_t g = RGBToGray(row[x]);
                row[x] = TRGB{g, g, g};
            }
            if (OnProgress.Assigned())
                OnProgress(this, int(std::int64_t(y + 1) * 100 / (h + 0.5)));
        }
    }
    EndProcessing(frame);
}

void TVodirAdProc::Resample(int NewWidth, int NewHeight, TResampleFilter Filter)
{
    if (!CanProcess())
        return;
    if (AutoUndo)
        SaveUndoCaptioned("Resample " + std::to_string(NewWidth) + "," + std::to_string(NewHeight), 1);
    if (NewWidth < 0 && NewHeight < 0)
        return;
    const std::int64_t width = bitmap_->GetWidth(), height = bitmap_->GetHeight();
    auto plain = [](std::int64_t v, std::int64_t current) { return v == 0 ? current : std::llabs(v); };
    std::int64_t w, h;
    if (NewHeight == -1) {
        w = plain(NewWidth, width);
        h = height * w / width;
    } else {
        h = plain(NewHeight, height);
        w = NewWidth == -1 ? width * h / height : plain(NewWidth, width);
    }
    w = std::clamp<std::int64_t>(w, 1, 1 << 30);
    h = std::clamp<std::int64_t>(h, 1, 1 << 30);
    auto target = std::make_unique<TIEBitmap>();
    target->MinFileSize = bitmap_->MinFileSize;
    target->Allocate(int(w), int(h), bitmap_->GetPixelFormat());
    ResampleBitmap(bitmap_, target.get(), Filter, this, IEProgressFrom(OnProgress, this));
    if (target->GetWidth() != int(w) || target->GetHeight() != int(h))
        return;
    bitmap_->Assign(target.get());
    Update();
}

void TVodirAdProc::ReduceTo(int NumColors, std::span<TRGB> Palette, int Method, const std::string& Caption,
                            bool PaletteOut)
{
    if (!BeginProcessing({ie24RGB}, Caption))
        return;
    if (NumColors < 3) {
        if (Method == 0)
            BWOrdered(bitmap_);
        else
            BWThreshold(bitmap_, bitmap_, -1, IEProgressFrom(OnProgress, this), this);
        if (PaletteOut && Palette.size() >= 2) {
            Palette[0] = TRGB{0, 0, 0};
            Palette[1] = TRGB{255, 255, 255};
        }
    } else if (NumColors <= 1024) {
        ReduceColors(bitmap_, NumColors, PaletteOut ? Palette : std::span<TRGB>{},
                     IEProgressFrom(OnProgress, this), this);
    }
    Update();
}

void TVodirAdProc::ConvertTo(int NumColors, int Method)
{
    ReduceTo(NumColors, {}, Method, "ConvertTo " + std::to_string(NumColors), false);
}

void TVodirAdProc::ConvertToPalette(int NumColors, std::span<TRGB> Palette, int Method)
{
    if (NumColors == 0)
        return;
    ReduceTo(NumColors, Palette, Method, "ConvertToPalette", true);
}

}  // namespace imaging
