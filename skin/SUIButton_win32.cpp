// Skinned push buttons over a painted window.
#include "skin/SUIButton.h"

#include "platform/rtl/Win32.h"
#include "platform/win/Actions.h"
#include "platform/win/Forms.h"
#include "skin/SUI2Define.h"
#include "skin/SUIPublic.h"

#include <algorithm>

namespace skin {

namespace {

constexpr int kFacelessWidth = 74;
constexpr int kFacelessHeight = 21;
constexpr win::TColor kEmbossLight = win::clWhite;
constexpr win::TColor kEmbossShade = 0x808080;

}  // namespace

// ---- TsuiCustomButton ----

void TsuiCustomButton::Publish(Table& t)
{
    t.Property(RTL_GET_SET(AutoSize)).Default(false);
    t.Property(RTL_GET_SET(TabStop)).Default(true);
    t.Event(RTL_MEMBER(OnMouseContinuouslyDown));
}

TsuiCustomButton::TsuiCustomButton(rtl::TComponent* owner) : win::TCustomControl(owner), link_(*this)
{
    // Painted whole, background included; fast clicks are two clicks, not a double click.
    controlStyle_ = {win::csCaptureMouse, win::csClickEvents, win::csSetCaption, win::csOpaque};
    buffer_.SetPixelFormat(win::pf24bit);
    SetTabStop(true);
    SetBounds(0, 0, 75, 25);
    link_.SetUIStyle(GetFormUIStyle(owner));
}

TsuiCustomButton::~TsuiCustomButton() { StopRepeat(); }

void TsuiCustomButton::SetAutoSize(bool v)
{
    autoSize_ = v;
    AdjustSize();
}

void TsuiCustomButton::SetDefault(bool v) { rtl::SetAndNotify(default_, v, this, &Self::Invalidate); }

void TsuiCustomButton::SetTransparent(bool v) { rtl::SetAndNotify(transparent_, v, this, &Self::Invalidate); }

void TsuiCustomButton::SetFocusedRectMargin(std::int32_t v)
{
    rtl::SetAndNotify(focusedRectMargin_, v, this, &Self::Invalidate);
}

void TsuiCustomButton::SetUIStyle(TsuiUIStyle value)
{
    link_.SetUIStyle(value);
    ApplyUIStyle();
    AdjustSize();
    Invalidate();
}

void TsuiCustomButton::SetFileTheme(TsuiFileTheme* value)
{
    link_.SetFileTheme(value);
    SetUIStyle(UIStyle());
}

void TsuiCustomButton::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    win::TCustomControl::Notification(component, operation);
    if (link_.Removed(component, operation) && !ComponentState().Contains(rtl::csDestroying))
        SetUIStyle(DeepBlue);
}

void TsuiCustomButton::ActionChange(win::TAction* sender, bool checkDefaults)
{
    win::TCustomControl::ActionChange(sender, checkDefaults);
    if (sender)
        SetCaption(sender->Caption());
}

void TsuiCustomButton::AdjustSize()
{
    if (!autoSize_ || ComponentState().Contains(rtl::csReading))
        return;
    win::TGraphic* face = NormalFace();
    if (face && !face->Empty())
        SetBounds(Left(), Top(), face->Width(), face->Height());
    else
        SetBounds(Left(), Top(), kFacelessWidth, kFacelessHeight);
}

void TsuiCustomButton::StopRepeat() { repeatTimer_.reset(); }

void TsuiCustomButton::RepeatTick(rtl::TObject*)
{
    // A parent hidden or disabled under a held button hides or disables it too.
    if (!Showing() || !Enabled()) {
        StopRepeat();
        return;
    }
    OnMouseContinuouslyDown(this);
}

void TsuiCustomButton::MouseDown(win::TMouseButton button, win::TShiftState shift, int x, int y)
{
    if (button == win::mbLeft) {
        mouseDown_ = true;
        if (!repeatTimer_) {
            repeatTimer_ = std::make_unique<win::TTimer>(nullptr);
            repeatTimer_->SetInterval(static_cast<std::uint32_t>(std::max(interval_, 0)));
            repeatTimer_->OnTimer = [this](rtl::TObject* sender) { RepeatTick(sender); };
        }
        if (TabStop() && CanFocus() && Enabled() && Visible())
            SetFocus();
        Invalidate();
    }
    win::TCustomControl::MouseDown(button, shift, x, y);
}

void TsuiCustomButton::MouseMove(win::TShiftState shift, int x, int y)
{
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) {
        if (mouseOver_ || mouseDown_) {
            mouseOver_ = false;
            mouseDown_ = false;
            Invalidate();
        }
        StopRepeat();
    }
    win::TCustomControl::MouseMove(shift, x, y);
}

void TsuiCustomButton::MouseUp(win::TMouseButton button, win::TShiftState shift, int x, int y)
{
    if (button == win::mbLeft) {
        // Released anywhere, over the button or not, the repeating ends.
        StopRepeat();
        if (mouseDown_) {
            mouseDown_ = false;
            Invalidate();
        }
    }
    win::TCustomControl::MouseUp(button, shift, x, y);
}

void TsuiCustomButton::MouseEnter()
{
    mouseOver_ = true;
    Invalidate();
    if (!ComponentState().Contains(rtl::csDesigning))
        win::TCustomControl::MouseEnter();
}

void TsuiCustomButton::MouseLeave()
{
    mouseOver_ = false;
    mouseDown_ = false;
    StopRepeat();
    Invalidate();
    if (!ComponentState().Contains(rtl::csDesigning))
        win::TCustomControl::MouseLeave();
}

void TsuiCustomButton::KeyUp(std::uint16_t& key, win::TShiftState shift)
{
    win::TCustomControl::KeyUp(key, shift);
    if (key == VK_SPACE && shift.Empty() && Enabled())
        Click();
}

void TsuiCustomButton::Click()
{
    if (mouseDown_ || repeatTimer_) {
        mouseDown_ = false;
        StopRepeat();
        Invalidate();
    }
    if (modalResult_ != win::mrNone)
        if (win::TCustomForm* form = GetParentForm())
            form->SetModalResult(modalResult_);
    win::TCustomControl::Click();
}

void TsuiCustomButton::WndProc(win::TMessage& m)
{
    switch (m.Msg) {
    case WM_CAPTURECHANGED:
        // Another window took the mouse (or ours let it go): the press is over.
        if (HandleAllocated() && reinterpret_cast<HWND>(m.LParam) != Handle()) {
            StopRepeat();
            if (mouseDown_) {
                mouseDown_ = false;
                Invalidate();
            }
        }
        break;
    case WM_CANCELMODE:
        StopRepeat();
        mouseDown_ = false;
        Invalidate();
        break;
    case WM_WINDOWPOSCHANGED:
        if (reinterpret_cast<const WINDOWPOS*>(m.LParam)->flags & SWP_HIDEWINDOW)
            StopRepeat();
        break;
    case win::CM_ENABLEDCHANGED:
        if (!Enabled()) {
            StopRepeat();
            mouseDown_ = false;
        }
        break;
    case win::CM_VISIBLECHANGED:
        if (!Visible()) {
            StopRepeat();
            mouseDown_ = false;
        }
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: Invalidate(); break;
    case win::CM_DIALOGKEY:
        if (((m.WParam == VK_RETURN && default_) || (m.WParam == VK_ESCAPE && cancel_)) &&
            win::KeyboardStateToShiftState().Empty() && CanFocus() && Showing()) {
            Click();
            m.Result = 1;
            return;
        }
        m.Result = 0;
        return;
    default: break;
    }
    win::TCustomControl::WndProc(m);
}

void TsuiCustomButton::DrawEmbossed(win::TCanvas& canvas, const std::string& text, win::TRect rect,
                                    UINT flags)
{
    canvas.Brush()->SetStyle(win::bsClear);
    if (Enabled()) {
        canvas.DrawText(text, rect, flags);
        return;
    }
    const win::TColor own = canvas.Font()->Color();
    win::TRect light = win::Rect(rect.Left + 1, rect.Top + 1, rect.Right + 1, rect.Bottom + 1);
    canvas.Font()->SetColor(kEmbossLight);
    canvas.DrawText(text, light, flags);
    canvas.Font()->SetColor(kEmbossShade);
    canvas.DrawText(text, rect, flags);
    canvas.Font()->SetColor(own);
}

void TsuiCustomButton::DrawCaption(win::TCanvas& canvas)
{
    const std::string caption = Caption();
    if (caption.empty())
        return;
    if (CaptionBold())
        canvas.Font()->SetStyle(canvas.Font()->Style() + win::TFontStyles{win::fsBold});
    const UINT flags = DT_CENTER | DT_WORDBREAK | DT_EXPANDTABS;
    win::TRect measured = win::Rect(0, 0, Width(), Height());
    canvas.DrawText(caption, measured, flags | DT_CALCRECT);
    const int top = (Height() - measured.Height()) / 2;
    DrawEmbossed(canvas, caption, win::Rect(0, top, Width(), top + measured.Height()), flags);
}

void TsuiCustomButton::Paint()
{
    const int w = Width();
    const int h = Height();
    if (w <= 0 || h <= 0)
        return;
    // Drawn off the screen and shown in one go: the parent's background, the face and the
    // caption would flicker one over the other.
    buffer_.SetSize(w, h);
    win::TCanvas& canvas = *buffer_.Canvas();
    PaintParentBackground(&canvas, this);
    win::TGraphic* face = !Enabled()   ? DisabledFace()
                          : Pressed()  ? MouseDownFace()
                          : mouseOver_ ? MouseOnFace()
                                       : NormalFace();
    if (face && !face->Empty())
        DrawFace(canvas, face);
    canvas.Font()->Assign(Font());
    canvas.Font()->SetColor(CaptionColor());
    DrawCaption(canvas);
    if (Focused() && DrawsFocusRect()) {
        const int m = focusedRectMargin_;
        canvas.Brush()->SetStyle(win::bsSolid);
        canvas.Brush()->SetColor(win::clWhite);
        canvas.Font()->SetColor(win::clBlack);
        canvas.DrawFocusRect(win::Rect(m, m, w - m, h - m));
    }
    ::BitBlt(Canvas()->Handle(), 0, 0, w, h, canvas.Handle(), 0, 0, SRCCOPY);
}

// ---- TsuiButton ----

void TsuiButton::Publish(Table& t)
{
    t.Property(RTL_GET_SET(FileTheme));
    t.Property(RTL_GET_SET(UIStyle));
    t.Property(RTL_GET_SET(Cancel)).Default(false);
    t.Property(RTL_GET_SET(Default)).Default(false);
    t.Property(RTL_GET_SET(Action));
    t.Property(RTL_GET_SET(Transparent));
    t.Property(RTL_GET_SET(ModalResult)).Type(win::ModalResultTypeInfo()).Default(0);
    t.Property(RTL_GET_SET(FocusedRectMargin)).Default(2);
    t.Property(RTL_GET_SET(Glyph));
    t.Property(RTL_GET_SET(Layout)).Default(blGlyphLeft);
    t.Property(RTL_GET_SET(Spacing)).Default(4);
    t.Property(RTL_GET_SET(MouseContinuouslyDownInterval)).Default(100);
    t.Property(RTL_MEMBER(ResHandle)).Default(0);
    t.Creatable();
}

TsuiButton::TsuiButton(rtl::TComponent* owner)
    : TsuiCustomButton(owner), glyph_(std::make_unique<win::TBitmap>())
{
    for (auto& face : faces_)
        face = std::make_unique<win::TBitmap>();
    glyph_->OnChange = [this](rtl::TObject*) { Invalidate(); };
    SetUIStyle(UIStyle());
}

TsuiButton::~TsuiButton() { glyph_->OnChange = nullptr; }

void TsuiButton::SetLayout(TButtonLayout v) { rtl::SetAndNotify(layout_, v, this, &Self::Invalidate); }

void TsuiButton::SetSpacing(std::int32_t v) { rtl::SetAndNotify(spacing_, v, this, &Self::Invalidate); }

void TsuiButton::ApplyUIStyle()
{
    TsuiUIStyle style;
    if (Link().UsesFile(style)) {
        TsuiFileTheme& theme = *FileTheme();
        for (int i = 0; i < 3; ++i)
            theme.GetBitmapPiece(SKIN2_BUTTON - kSkin2BitmapBase, faces_[static_cast<std::size_t>(i)].get(),
                                 i + 1, 3);
        SetTransparent(theme.GetBool(SKIN2_BUTTONTRANS - kSkin2BooleanBase));
        captionColor_ = ThemeColor(theme, SKIN2_BUTTONFONTCOLOR, win::clBlack);
        SetFocusedBold(false);
    } else {
        for (int i = 0; i < 3; ++i)
            GetBuiltInThemeBitmap(style, SUI_THEME_BUTTON_IMAGE, faces_[static_cast<std::size_t>(i)].get(),
                                  i + 1, 3);
        SetTransparent(GetBuiltInThemeInt(style, SUI_THEME_BUTTON_TRANSPARENT) != 0);
        captionColor_ = win::clBlack;
        SetFocusedBold(style == MacOS || style == BlueGlass);
    }
}

void TsuiButton::DrawFace(win::TCanvas& canvas, win::TGraphic* face)
{
    if (auto* bitmap = dynamic_cast<win::TBitmap*>(face))
        DrawNineGrid(bitmap, &canvas, ClientRect(), Transparent());
}

void TsuiButton::DrawCaption(win::TCanvas& canvas)
{
    const std::string caption = Caption();
    // The glyph: one image, or normal and disabled side by side.
    int glyphWidth = 0;
    int glyphHeight = 0;
    int glyphSource = 0;
    if (!glyph_->Empty()) {
        glyphHeight = glyph_->Height();
        const bool pair = glyph_->Width() == 2 * glyph_->Height();
        glyphWidth = pair ? glyph_->Width() / 2 : glyph_->Width();
        glyphSource = pair && !Enabled() ? glyphWidth : 0;
    }
    if (CaptionBold())
        canvas.Font()->SetStyle(canvas.Font()->Style() + win::TFontStyles{win::fsBold});
    const SIZE text = caption.empty() ? SIZE{0, 0} : canvas.TextExtent(caption);
    const int gap = glyphWidth > 0 && !caption.empty() ? spacing_ : 0;
    int gx = 0;
    int gy = 0;
    int tx = 0;
    int ty = 0;
    switch (layout_) {
    case blGlyphLeft:
    case blGlyphRight: {
        const int left = (Width() - (glyphWidth + gap + text.cx)) / 2;
        gx = layout_ == blGlyphLeft ? left : left + text.cx + gap;
        tx = layout_ == blGlyphLeft ? left + glyphWidth + gap : left;
        gy = (Height() - glyphHeight) / 2;
        ty = (Height() - text.cy) / 2;
        break;
    }
    case blGlyphTop:
    case blGlyphBottom: {
        const int top = (Height() - (glyphHeight + gap + text.cy)) / 2;
        gy = layout_ == blGlyphTop ? top : top + text.cy + gap;
        ty = layout_ == blGlyphTop ? top + glyphHeight + gap : top;
        gx = (Width() - glyphWidth) / 2;
        tx = (Width() - text.cx) / 2;
        break;
    }
    }
    if (Pressed()) {
        ++gx, ++gy, ++tx, ++ty;
    }
    if (glyphWidth > 0) {
        const COLORREF key = ::GetPixel(glyph_->Canvas()->Handle(), 0, glyphHeight - 1);
        ::TransparentBlt(canvas.Handle(), gx, gy, glyphWidth, glyphHeight, glyph_->Canvas()->Handle(),
                         glyphSource, 0, glyphWidth, glyphHeight, key);
    }
    if (!caption.empty())
        DrawEmbossed(canvas, caption, win::Bounds(tx, ty, text.cx, text.cy), DT_SINGLELINE | DT_NOCLIP);
}

// ---- TsuiImageButton ----

void TsuiImageButton::Publish(Table& t)
{
    t.Property(RTL_GET_SET(UIStyle));
    t.Property(RTL_GET_SET(DrawFocused)).Default(false);
    t.Property(RTL_GET_SET(FocusedRectMargin)).Default(2);
    t.Property(RTL_GET_SET(PicNormal));
    t.Property(RTL_GET_SET(PicMouseOn));
    t.Property(RTL_GET_SET(PicMouseDown));
    t.Property(RTL_GET_SET(PicDisabled));
    t.Property(RTL_GET_SET(Stretch)).Default(false);
    t.Property(RTL_GET_SET(Cancel)).Default(false);
    t.Property(RTL_GET_SET(Default)).Default(false);
    t.Property(RTL_GET_SET(MouseContinuouslyDownInterval)).Default(100);
    t.Property(RTL_GET_SET(Action));
    t.Property(RTL_GET_SET(Transparent)).Default(false);
    t.Property(RTL_GET_SET(ModalResult)).Type(win::ModalResultTypeInfo()).Default(0);
    t.Creatable();
}

TsuiImageButton::TsuiImageButton(rtl::TComponent* owner) : TsuiCustomButton(owner)
{
    for (auto& picture : pictures_) {
        picture = std::make_unique<win::TPicture>();
        picture->OnChange = [this](rtl::TObject* sender) { PictureChanged(sender); };
    }
}

TsuiImageButton::~TsuiImageButton()
{
    for (auto& picture : pictures_)
        picture->OnChange = nullptr;
}

void TsuiImageButton::SetStretch(bool v) { rtl::SetAndNotify(stretch_, v, this, &Self::Invalidate); }

void TsuiImageButton::SetDrawFocused(bool v) { rtl::SetAndNotify(drawFocused_, v, this, &Self::Invalidate); }

void TsuiImageButton::PictureChanged(rtl::TObject*)
{
    AdjustSize();
    Invalidate();
}

win::TGraphic* TsuiImageButton::Face(std::size_t slot)
{
    win::TGraphic* g = pictures_[slot]->Graphic();
    if (g && !g->Empty())
        return g;
    return slot == 0 ? nullptr : Face(0);
}

void TsuiImageButton::DrawFace(win::TCanvas& canvas, win::TGraphic* face)
{
    const win::TRect rect = stretch_ ? ClientRect() : win::Bounds(0, 0, face->Width(), face->Height());
    if (!Transparent()) {
        canvas.StretchDraw(rect, face);
        return;
    }
    // Masked by the picture's top-left pixel, whatever kind of graphic it is.
    win::TBitmap copy;
    copy.SetPixelFormat(win::pf24bit);
    copy.SetSize(face->Width(), face->Height());
    copy.Canvas()->Draw(0, 0, face);
    const COLORREF key = ::GetPixel(copy.Canvas()->Handle(), 0, 0);
    ::TransparentBlt(canvas.Handle(), rect.Left, rect.Top, rect.Width(), rect.Height(),
                     copy.Canvas()->Handle(), 0, 0, copy.Width(), copy.Height(), key);
}

}  // namespace skin
