// What every skinned control of this library keeps the same way: its style and its reference to
// a file theme, and the few drawing steps they share.
#pragma once

#include "platform/win/Graphics.h"
#include "skin/SUIMgr.h"
#include "skin/SUIThemes.h"

namespace skin {

// A control's UIStyle and FileTheme. The theme is not owned: the link asks for its free
// notification, and the control passes its Notification calls to Removed.
class TSkinLink {
public:
    explicit TSkinLink(rtl::TComponent& control) : control_(control) {}
    ~TSkinLink();
    TSkinLink(const TSkinLink&) = delete;
    TSkinLink& operator=(const TSkinLink&) = delete;

    TsuiUIStyle UIStyle() const { return uiStyle_; }
    void SetUIStyle(TsuiUIStyle value) { uiStyle_ = value; }
    TsuiFileTheme* FileTheme() const { return fileTheme_; }
    void SetFileTheme(TsuiFileTheme* value);
    // True when `component` is the theme and is going away: the link has forgotten it and set
    // the style to DeepBlue, and the control applies that style.
    bool Removed(rtl::TComponent* component, rtl::TOperation operation);
    // The style to draw with; true when the file theme is to be asked (see UsesFileTheme).
    bool UsesFile(TsuiUIStyle& style) const { return UsesFileTheme(fileTheme_, uiStyle_, style); }

private:
    rtl::TComponent& control_;  // not owned: the control this link belongs to
    TsuiUIStyle uiStyle_ = DeepBlue;
    TsuiFileTheme* fileTheme_ = nullptr;  // not owned
};

// A file theme's colour `index`, or `fallback` when the file lacks it (-1).
win::TColor ThemeColor(const TsuiFileTheme& theme, std::int32_t index, win::TColor fallback);

// Draws `source` at (x, y) of `canvas` at its own size, leaving out pixels of `key` when
// `masked`.
void DrawBitmapAt(win::TCanvas& canvas, int x, int y, win::TBitmap& source, bool masked, win::TColor key);
// Copies columns [sx, sx + sw) of `source` stretched over [dx, dx + dw) x [dy, dy + height).
void StretchColumns(win::TCanvas& canvas, int dx, int dy, int dw, win::TBitmap& source, int sx, int sw);
// The colour of `bitmap`'s pixel (x, y); clNone outside it.
win::TColor PixelOf(win::TBitmap& bitmap, int x, int y);

}  // namespace skin
