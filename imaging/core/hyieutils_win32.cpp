// The helpers that need the GUI layer: the owner window of a component, the view's gradient rulers
// and the palette picker.
#include "imaging/core/hyieutils.h"
#include "imaging/core/hyieutils_win32.h"

#include "imaging/core/vodiradproc.h"

#include "platform/rtl/Component.h"
#include "platform/win/Controls.h"
#include "platform/win/Graphics.h"
#include "platform/rtl/Win32.h"

#include <algorithm>
#include <cmath>

namespace imaging {

namespace {

// Rulers wider than any screen are a caller's mistake; drawing them pixel by pixel would hang.
constexpr int kMaxRulerSide = 65536;

win::TColor Grey(int v)
{
    v = std::clamp(v, 0, 255);
    return win::TColor(v | (v << 8) | (v << 16));
}

// The ramp: exp(a / b) / e * 255, truncated.
int Ramp(double a, double b)
{
    if (b == 0)
        return 0;
    return int(std::trunc(std::exp(a / b) / std::exp(1.0) * 255));
}

void RulerPen(win::TCanvas& canvas)
{
    canvas.Pen()->SetStyle(win::psSolid);
    canvas.Pen()->SetMode(win::pmCopy);
}

}  // namespace

void* FindOwnerWindowHandle(rtl::TComponent* Component)
{
    for (rtl::TComponent* c = Component; c; c = c->Owner())
        if (auto* control = dynamic_cast<win::TWinControl*>(c))
            return control->HandleAllocated() ? control->Handle() : nullptr;
    return nullptr;
}

void DrawHorzGradientRuler(win::TCanvas& Canvas, int X1, int Y1, int X2, int Y2, int Style)
{
    const int w = X2 - X1 + 1, h = Y2 - Y1 + 1;
    if (w < 1 || h < 1 || w > kMaxRulerSide || h > kMaxRulerSide)
        return;
    switch (Style) {
    case 1: Canvas.FillRect(win::TRect{X1, Y1 + w, X2, Y2 + 1}); break;
    case 2:
        RulerPen(Canvas);
        for (int i = 0; i < w; ++i) {
            Canvas.Pen()->SetColor(Grey(Ramp(i, w)));
            Canvas.MoveTo(X1 + i, Y1 + w);
            Canvas.LineTo(X1 + i, Y2 - w + i + 3);
        }
        break;
    case 3: {
        int k = 0;
        for (int j = 0; j < h; ++j) {
            if (j > h - w + 1)
                ++k;
            for (int c = std::max(k, 0); c < w; ++c)
                Canvas.SetPixels(X1 + c, Y1 + j, Grey(std::max(Ramp(c, w), Ramp(h - 3.0 * j, h))));
        }
        break;
    }
    default: break;
    }
}

void DrawVertGradientRuler(win::TCanvas& Canvas, int X1, int Y1, int X2, int Y2, int Style)
{
    const int w = X2 - X1 + 1, h = Y2 - Y1 + 1;
    if (w < 1 || h < 1 || w > kMaxRulerSide || h > kMaxRulerSide)
        return;
    switch (Style) {
    case 1: Canvas.FillRect(win::TRect{X1 + h, Y1, X2 + 1, Y2}); break;
    case 2:
        RulerPen(Canvas);
        for (int i = 0; i < h; ++i) {
            Canvas.Pen()->SetColor(Grey(Ramp(i, h)));
            Canvas.MoveTo(X1 + h, Y1 + i);
            Canvas.LineTo(X2 - h + i + 3, Y1 + i);
        }
        break;
    case 3: {
        int k = 0;
        for (int j = 0; j < w; ++j) {
            if (j > w - h + 1)
                ++k;
            for (int r = std::max(k, 0); r < h; ++r)
                Canvas.SetPixels(X1 + j, Y1 + r, Grey(std::max(Ramp(r, h), Ramp(w - 3.0 * j, w))));
        }
        break;
    }
    default: break;
    }
}

// ---------------------------------------------------------------- TVodirAdPaletteDialog

namespace {

constexpr int kCell = 16;
constexpr int kColumns = 32;
constexpr int kMaxColors = 256;

}  // namespace

TVodirAdPaletteDialog::TVodirAdPaletteDialog(rtl::TComponent* Owner) : win::TForm(Owner)
{
    SetBorderIcons(win::TBorderIcons{win::biSystemMenu});
    SetBorderStyle(win::bsDialog);
    SetCaption("Palette");
    SetHeight(199);
    SetWidth(520);
    SetPosition(win::poScreenCenter);
    CancelButton = new win::TButton(this);
    CancelButton->SetParent(this);
    CancelButton->SetCaption("&Cancel");
    CancelButton->SetLeft(4);
    CancelButton->SetTop(136);
    CancelButton->SetCancel(true);
    CancelButton->SetModalResult(win::mrCancel);
    OnPaint = [this](rtl::TObject* sender) { PalettePaint(sender); };
    OnMouseMove = [this](rtl::TObject* sender, win::TShiftState shift, int x, int y) {
        PaletteMouseMove(sender, shift, x, y);
    };
    OnClick = [this](rtl::TObject* sender) { PaletteClick(sender); };
}

void TVodirAdPaletteDialog::SetPalette(const TRGB* Palette, int Count)
{
    Count = Palette ? std::clamp(Count, 0, kMaxColors) : 0;
    palette_.assign(Palette, Palette + Count);
    if (selected_ >= Count)
        selected_ = -1;
    if (HandleAllocated())
        Invalidate();
}

bool TVodirAdPaletteDialog::Execute() { return ShowModal() == win::mrOk; }

int TVodirAdPaletteDialog::CellAt(int X, int Y) const
{
    // Cells start one pixel in; points left of, above or right of the grid hit nothing rather than
    // a cell of the neighbouring row.
    if (X < 1 || Y < 1)
        return -1;
    const int column = (X - 1) / kCell;
    const int row = (Y - 1) / kCell;
    if (column >= kColumns)
        return -1;
    const std::int64_t cell = std::int64_t(row) * kColumns + column;
    return cell < ColorCount() ? int(cell) : -1;
}

void TVodirAdPaletteDialog::PalettePaint(rtl::TObject*)
{
    win::TCanvas* canvas = Canvas();
    canvas->Pen()->SetStyle(win::psSolid);
    canvas->Pen()->SetMode(win::pmCopy);
    canvas->Pen()->SetWidth(1);
    canvas->Brush()->SetStyle(win::bsSolid);
    for (int i = 0; i < ColorCount(); ++i) {
        const int left = (i % kColumns) * kCell;
        const int top = (i / kColumns) * kCell;
        canvas->Brush()->SetColor(SwapRedBlue(palette_[std::size_t(i)]));
        canvas->Pen()->SetColor(i == selected_ ? win::clBlack : win::clWhite);
        canvas->Rectangle(left + 1, top + 1, left + kCell, top + kCell);
    }
}

void TVodirAdPaletteDialog::PaletteMouseMove(rtl::TObject*, win::TShiftState, int X, int Y)
{
    const int cell = CellAt(X, Y);
    if (cell >= 0 && cell != selected_) {
        selected_ = cell;
        Repaint();
    }
}

void TVodirAdPaletteDialog::PaletteClick(rtl::TObject*)
{
    // Before the mouse has passed over a cell there is no colour to take.
    if (selected_ < 0 || selected_ >= ColorCount())
        return;
    SelectedColor = SwapRedBlue(palette_[std::size_t(selected_)]);
    SetModalResult(win::mrOk);
}

}  // namespace imaging
