// The processing component: operation frame, undo and redo, and the operations themselves.
#include "imaging/core/vodiradproc_component.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradproc.h"

#include <algorithm>
#include <cstdlib>

namespace imaging {

TVodirAdProc::TVodirAdProc(rtl::TComponent* AOwner) : rtl::TComponent(AOwner) { UseOwnBitmap(); }

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
    if (Source != 1 || !CanProcess())
        return;  // selections need a view that keeps one
    TEntry entry;
    entry.image = std::make_unique<TIEBitmap>();
    entry.image->MinFileSize = bitmap_->MinFileSize;
    entry.image->SetLocation(UndoLocation);
    entry.image->Assign(bitmap_);
    while (int(list.size()) >= undoLimit_)
        list.erase(list.begin());
    list.push_back(std::move(entry));
}

void TVodirAdProc::SaveUndo(int Source) { SaveEntry(undo_, Source); }
void TVodirAdProc::SaveRedo(int Source) { SaveEntry(redo_, Source); }

void TVodirAdProc::SaveUndoCaptioned(const std::string& Caption, int Source)
{
    if (!CanProcess())
        return;
    // A new newest entry is told by its own image: the count alone cannot tell, since a lowered
    // limit drops more than one old entry for it.
    const TIEBitmap* newest = undo_.empty() ? nullptr : undo_.back().image.get();
    SaveUndo(Source);
    if (Source == 1 && !undo_.empty() && undo_.back().image.get() != newest)
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
    }
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

void TVodirAdProc::ConvertToGray()
{
    if (!BeginProcessing({}, "ConvertToGray"))
        return;
    if (bitmap_->GetPixelFormat() == ie24RGB) {
        const int w = bitmap_->GetWidth(), h = bitmap_->GetHeight();
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<TRGB*>(bitmap_->ScanLine(y));
            for (int x = 0; x < w; ++x) {
                const std::uint8_t g = RGBToGray(row[x]);
                row[x] = TRGB{g, g, g};
            }
            if (OnProgress)
                OnProgress(this, int(std::int64_t(y + 1) * 100 / (h + 0.5)));
        }
    }
    Update();
}

void TVodirAdProc::Resample(int NewWidth, int NewHeight, TResampleFilter Filter)
{
    if (!CanProcess() || (NewWidth < 0 && NewHeight < 0))
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
    if (AutoUndo)
        SaveUndoCaptioned("Resample " + std::to_string(NewWidth) + "," + std::to_string(NewHeight), 1);
    auto target = std::make_unique<TIEBitmap>();
    target->MinFileSize = bitmap_->MinFileSize;
    target->Allocate(int(w), int(h), bitmap_->GetPixelFormat());
    ResampleBitmap(bitmap_, target.get(), Filter, this, OnProgress);
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
            BWThreshold(bitmap_, bitmap_, -1, OnProgress, this);
        if (PaletteOut && Palette.size() >= 2) {
            Palette[0] = TRGB{0, 0, 0};
            Palette[1] = TRGB{255, 255, 255};
        }
    } else if (NumColors <= 1024) {
        ReduceColors(bitmap_, NumColors, PaletteOut ? Palette : std::span<TRGB>{}, OnProgress, this);
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
