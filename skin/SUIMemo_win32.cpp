// The skinned memo over the system's edit, with skinned scroll bars standing in for its own.
#include "skin/SUIMemo.h"

#include "platform/rtl/Win32.h"
#include "platform/win/Handles.h"
#include "skin/SUI2Define.h"
#include "skin/SUIPublic.h"

#include <algorithm>
#include <limits>

namespace skin {

namespace {

constexpr int kLargestThumbPosition = 0x7FFF;

// Posted to the memo to lay its bars over it once every window of the form exists.
UINT PlaceBarsMessage()
{
    static const UINT message = ::RegisterWindowMessageA("VaSkinnedMemoPlaceBars");
    return message;
}

std::int32_t To32(std::int64_t v)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

void TsuiMemo::Publish(Table& t)
{
    t.Property(RTL_GET_SET(TabStop)).Default(true);
    t.Property(RTL_GET_SET(FileTheme));
    t.Property(RTL_GET_SET(UIStyle));
    t.Property(RTL_GET_SET(BorderColor)).Type(win::ColorTypeInfo());
    t.Property(RTL_GET_SET(VScrollBar));
    t.Property(RTL_GET_SET(HScrollBar));
    t.Property(RTL_GET_SET(BorderStyle)).Default(win::bsNone);
    t.Creatable();
}

TsuiMemo::TsuiMemo(rtl::TComponent* owner) : win::TCustomMemo(owner), link_(*this)
{
    SetBorderStyle(win::bsNone);
    link_.SetUIStyle(GetFormUIStyle(owner));
    SetUIStyle(UIStyle());
}

TsuiMemo::~TsuiMemo()
{
    // A bar that outlives the memo must not call back into it.
    for (TsuiScrollBar* bar : {vBar_, hBar_})
        if (bar) {
            bar->OnChange = nullptr;
            bar->RemoveFreeNotification(this);
        }
}

void TsuiMemo::SetUIStyle(TsuiUIStyle value)
{
    link_.SetUIStyle(value);
    TsuiUIStyle style;
    if (link_.UsesFile(style))
        borderColor_ = ThemeColor(*FileTheme(), SKIN2_CONTROLBORDERCOLOR, win::clBlack);
    else
        borderColor_ = GetBuiltInThemeColor(style, SUI_THEME_CONTROL_BORDER_COLOR);
    for (TsuiScrollBar* bar : {vBar_, hBar_})
        if (bar)
            bar->SetUIStyle(value);
    Invalidate();
    DrawBorder();
}

void TsuiMemo::SetFileTheme(TsuiFileTheme* value)
{
    link_.SetFileTheme(value);
    for (TsuiScrollBar* bar : {vBar_, hBar_})
        if (bar)
            bar->SetFileTheme(value);
    SetUIStyle(UIStyle());
}

void TsuiMemo::SetBorderColor(win::TColor value)
{
    borderColor_ = value;
    DrawBorder();
}

void TsuiMemo::Link(TsuiScrollBar*& field, TsuiScrollBar* bar, TsuiProgressBarOrientation orientation)
{
    if (bar == field)
        return;
    if (field)
        Unlink(field);
    field = bar;
    if (bar) {
        bar->SetOrientation(orientation);
        bar->OnChange = [this](rtl::TObject* sender) { BarChanged(sender); };
        bar->FreeNotification(this);
    }
    UpdateScrollStyle();
    PlaceScrollBars();
}

void TsuiMemo::Unlink(TsuiScrollBar* bar)
{
    bar->OnChange = nullptr;
    bar->SetLineButton(0);
    bar->SetMax(100);
    bar->SetEnabled(true);
    bar->RemoveFreeNotification(this);
}

void TsuiMemo::UpdateScrollStyle()
{
    static const win::TScrollStyle kStyles[2][2] = {{win::ssNone, win::ssHorizontal},
                                                    {win::ssVertical, win::ssBoth}};
    SetScrollBars(kStyles[vBar_ != nullptr][hBar_ != nullptr]);
}

void TsuiMemo::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    win::TCustomMemo::Notification(component, operation);
    if (operation == rtl::opRemove && (component == vBar_ || component == hBar_)) {
        (component == vBar_ ? vBar_ : hBar_) = nullptr;
        if (!ComponentState().Contains(rtl::csDestroying))
            UpdateScrollStyle();
    }
    if (link_.Removed(component, operation) && !ComponentState().Contains(rtl::csDestroying))
        SetUIStyle(DeepBlue);
}

void TsuiMemo::CreateWnd()
{
    win::TCustomMemo::CreateWnd();
    // Sibling windows made after this one lie below it: the bars go on top once they exist.
    if (vBar_ || hBar_)
        PostPlaceBars();
    SyncScrollBars();
}

void TsuiMemo::Loaded()
{
    win::TCustomMemo::Loaded();
    PlaceScrollBars();
}

void TsuiMemo::LinesFlushed() { Changed(); }

void TsuiMemo::SyncScrollBars()
{
    if (scrollingFromBar_ || !HandleAllocated() || (!vBar_ && !hBar_))
        return;
    synchronising_ = true;
    for (TsuiScrollBar* bar : {hBar_, vBar_}) {
        if (!bar)
            continue;
        const bool vertical = bar == vBar_;
        SCROLLBARINFO info{};
        info.cbSize = sizeof info;
        if (!CallGetScrollBarInfo(Handle(), vertical ? OBJID_VSCROLL : OBJID_HSCROLL, &info)) {
            bar->Hide();
            continue;
        }
        const bool usable =
            (info.rgstate[0] & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_UNAVAILABLE)) == 0 && Enabled();
        if (usable) {
            bar->SetLineButton(std::abs(info.xyThumbBottom - info.xyThumbTop));
            bar->SetEnabled(true);
            bar->SetThumbEnabled(true);
            if (!vertical)
                bar->SetSmallChange(3 * bar->PageSize());
        } else {
            bar->SetLineButton(0);
            bar->SetEnabled(false);
            bar->SetThumbEnabled(false);
        }
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
        if (::GetScrollInfo(Handle(), vertical ? SB_VERT : SB_HORZ, &si)) {
            bar->SetMax(To32(static_cast<std::int64_t>(si.nMax) - si.nPage + 1));
            bar->SetMin(si.nMin);
            bar->SetPosition(si.nPos);
        }
    }
    synchronising_ = false;
}

void TsuiMemo::BarChanged(rtl::TObject* sender)
{
    if (synchronising_ || !HandleAllocated())
        return;
    auto* bar = static_cast<TsuiScrollBar*>(sender);
    ScrollTo(bar == vBar_, bar->Position());
}

void TsuiMemo::ScrollTo(bool vertical, std::int32_t position)
{
    scrollingFromBar_ = true;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_POS;
    ::GetScrollInfo(Handle(), vertical ? SB_VERT : SB_HORZ, &si);
    if (vertical) {
        // A scroll message carries 16 bits of position; lines are counted in 32.
        ::SendMessageA(Handle(), EM_LINESCROLL, 0, To32(static_cast<std::int64_t>(position) - si.nPos));
    } else if (position >= 0 && position <= kLargestThumbPosition) {
        ::SendMessageA(Handle(), WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, position), 0);
    } else {
        // Beyond what a scroll message carries the edit moves in steps of its average character.
        win::WindowDC dc(Handle());
        win::SelectGuard font(dc.Get(), Font()->Handle());
        TEXTMETRICA tm{};
        ::GetTextMetricsA(dc.Get(), &tm);
        const std::int64_t step = std::max<LONG>(tm.tmAveCharWidth, 1);
        ::SendMessageA(Handle(), EM_LINESCROLL, To32((static_cast<std::int64_t>(position) - si.nPos) / step),
                       0);
    }
    Repaint();
    scrollingFromBar_ = false;
}

void TsuiMemo::PlaceScrollBars()
{
    if (!Parent() || ComponentState().Contains(rtl::csLoading) ||
        ComponentState().Contains(rtl::csDestroying))
        return;
    const win::TRect r = BoundsRect();
    auto place = [this](TsuiScrollBar* bar, win::TRect bounds, bool fits) {
        if (!bar->Parent())
            bar->SetParent(Parent());
        if (bar->Parent() != Parent()) {
            const win::TPoint ours = Parent()->ClientToScreen({0, 0});
            const win::TPoint theirs = bar->Parent()->ClientToScreen({0, 0});
            bounds = win::Bounds(bounds.Left + ours.X - theirs.X, bounds.Top + ours.Y - theirs.Y,
                                 bounds.Width(), bounds.Height());
        }
        bar->SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
        bar->SetVisible(fits && Visible());
        if (bar->HandleAllocated())
            ::SetWindowPos(bar->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        else
            PostPlaceBars();
    };
    // Where the memo's own vertical bar is on the left, the layout is mirrored: the vertical bar
    // inside the left edge, the horizontal one after it.
    const bool mirrored = UseRightToLeftScrollBar();
    const int vWidth = vBar_ ? vBar_->Width() : 0;
    if (hBar_) {
        const int h = hBar_->Height();
        const int w = Width() - 1 - vWidth;
        const int left = mirrored ? r.Left + (vBar_ ? vWidth : 1) : r.Left + 1;
        place(hBar_, win::Bounds(left, r.Top + Height() - h - 2, w, h), h <= Height());
    }
    if (vBar_) {
        const int h = Height() - 2 - (hBar_ ? hBar_->Height() : 0);
        const int left = mirrored ? r.Left + 2 : r.Left + Width() - vWidth - 2;
        place(vBar_, win::Bounds(left, r.Top + 1, vWidth, h), vWidth <= Width());
    }
    Changed();
}

void TsuiMemo::PostPlaceBars()
{
    if (placePosted_ || !HandleAllocated() || !Parent() || !Parent()->HandleAllocated())
        return;
    placePosted_ = true;
    ::PostMessageA(Handle(), PlaceBarsMessage(), 0, 0);
}

void TsuiMemo::Changed()
{
    SyncScrollBars();
    DrawBorder();
}

void TsuiMemo::DrawBorder()
{
    if (!HandleAllocated() || !::IsWindowVisible(Handle()))
        return;
    FrameWindowRect(this, borderColor_, Color(), true);
    if (!vBar_ || !hBar_ || !vBar_->Visible() || !hBar_->Visible())
        return;
    // Where the two bars would cross the memo shows its own corner: it takes the bars' colour.
    // Drawn on the memo's window, which the bars above it clip.
    win::WindowDC dc(Handle(), true);
    RECT window;
    ::GetWindowRect(Handle(), &window);
    const int w = window.right - window.left;
    const int h = window.bottom - window.top;
    const int vw = vBar_->Width();
    // On the left where the bars lie mirrored (see PlaceScrollBars).
    const int left = UseRightToLeftScrollBar() ? 2 : w - vw - 2;
    RECT corner{left, h - hBar_->Height() - 2, left + vw, h - 2};
    win::FillSolidRect(dc.Get(), corner, win::ColorToRGB(vBar_->Color()));
}

void TsuiMemo::WndProc(win::TMessage& m)
{
    if (m.Msg == PlaceBarsMessage()) {
        placePosted_ = false;
        PlaceScrollBars();
        return;
    }
    switch (m.Msg) {
    case WM_CUT:
    case WM_PASTE:
    case WM_CLEAR:
    case WM_UNDO:
    case WM_SETTEXT:
    case WM_KEYDOWN:
    case WM_MOUSEWHEEL:
    case win::CM_ENABLEDCHANGED:
        win::TCustomMemo::WndProc(m);
        Changed();
        return;
    case WM_LBUTTONDOWN:
        win::TCustomMemo::WndProc(m);
        leftDown_ = true;
        Changed();
        return;
    case WM_MOUSEMOVE:
        win::TCustomMemo::WndProc(m);
        if (leftDown_)
            Changed();
        return;
    case WM_LBUTTONUP:
        win::TCustomMemo::WndProc(m);
        leftDown_ = false;
        return;
    case WM_HSCROLL:
    case WM_VSCROLL:
        win::TCustomMemo::WndProc(m);
        if (!scrollingFromBar_)
            Changed();
        return;
    case win::CN_COMMAND: {
        // Scrolling and changes the memo makes itself (typing, keys, added lines).
        win::TCustomMemo::WndProc(m);
        const WORD code = HIWORD(m.WParam);
        if (code == EN_CHANGE || code == EN_VSCROLL || code == EN_HSCROLL)
            Changed();
        return;
    }
    case WM_MOVE:
    case WM_SIZE:
        win::TCustomMemo::WndProc(m);
        PlaceScrollBars();
        return;
    case win::CM_VISIBLECHANGED:
        win::TCustomMemo::WndProc(m);
        if (Visible()) {
            PlaceScrollBars();
        } else {
            for (TsuiScrollBar* bar : {vBar_, hBar_})
                if (bar)
                    bar->Hide();
        }
        return;
    case WM_PAINT:
    case WM_ERASEBKGND:
    case WM_NCPAINT:
        win::TCustomMemo::WndProc(m);
        DrawBorder();
        return;
    default: break;
    }
    win::TCustomMemo::WndProc(m);
}

}  // namespace skin
