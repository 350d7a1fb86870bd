// The helpers that need the GUI layer: the owner window of a component and the view's gradient rulers.
#include "imaging/core/hyieutils.h"

#include "platform/rtl/Component.h"
#include "platform/win/Controls.h"
#include "platform/win/Graphics.h"
#include "platform/win/Win32.h"

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

} // namespace

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

} // namespace imaging
