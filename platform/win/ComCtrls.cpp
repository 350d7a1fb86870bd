// Common controls: the track bar.
#include "platform/win/ComCtrls.h"

#include "platform/win/Menus.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

namespace win {

void TTrackBar::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Frequency)).Default(1);
    t.Property(RTL_GET_SET(LineSize)).Default(1);
    t.Property(RTL_GET_SET(Max)).Default(10);
    t.Property(RTL_GET_SET(Min)).Default(0);
    t.Property(RTL_GET_SET(Orientation)).Default(trHorizontal);
    t.Property(RTL_GET_SET(PageSize)).Default(2);
    t.Property(RTL_GET_SET(Position)).Default(0);
    t.Event(RTL_MEMBER(OnChange));
    t.Creatable();
}

TTrackBar::TTrackBar(rtl::TComponent* owner) : TWinControl(owner)
{
    controlStyle_.Exclude(csCaptureMouse);
    controlStyle_.Exclude(csClickEvents);
    controlStyle_.Exclude(csSetCaption);
    SetTabStop(true);
    SetBounds(0, 0, 150, 45);
}

void TTrackBar::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    CreateSubClass(p, TRACKBAR_CLASSA);
    p.Style |= TBS_AUTOTICKS | (orientation_ == trHorizontal ? TBS_HORZ : TBS_VERT);
}

void TTrackBar::CreateWnd()
{
    TWinControl::CreateWnd();
    HWND wnd = Handle();
    ::SendMessageA(wnd, TBM_SETRANGEMIN, FALSE, min_);
    ::SendMessageA(wnd, TBM_SETRANGEMAX, FALSE, max_);
    ::SendMessageA(wnd, TBM_SETTICFREQ, static_cast<WPARAM>(frequency_), 0);
    ::SendMessageA(wnd, TBM_SETPAGESIZE, 0, pageSize_);
    ::SendMessageA(wnd, TBM_SETLINESIZE, 0, lineSize_);
    ::SendMessageA(wnd, TBM_SETPOS, TRUE, position_);
}

void TTrackBar::DestroyWnd()
{
    if (HandleAllocated())
        position_ = static_cast<std::int32_t>(::SendMessageA(Handle(), TBM_GETPOS, 0, 0));
    TWinControl::DestroyWnd();
}

void TTrackBar::SetMin(std::int32_t v)
{
    min_ = v;
    if (max_ < min_)
        max_ = min_;
    if (HandleAllocated()) {
        ::SendMessageA(Handle(), TBM_SETRANGEMAX, FALSE, max_);
        ::SendMessageA(Handle(), TBM_SETRANGEMIN, TRUE, min_);
    }
    SetPosition(position_);
}

void TTrackBar::SetMax(std::int32_t v)
{
    max_ = v;
    if (min_ > max_)
        min_ = max_;
    if (HandleAllocated()) {
        ::SendMessageA(Handle(), TBM_SETRANGEMIN, FALSE, min_);
        ::SendMessageA(Handle(), TBM_SETRANGEMAX, TRUE, max_);
    }
    SetPosition(position_);
}

std::int32_t TTrackBar::Position()
{
    if (HandleAllocated())
        position_ = static_cast<std::int32_t>(::SendMessageA(Handle(), TBM_GETPOS, 0, 0));
    return position_;
}

void TTrackBar::SetPosition(std::int32_t v)
{
    v = std::clamp(v, min_, max_);
    std::int32_t old = position_;
    if (HandleAllocated())
        old = static_cast<std::int32_t>(::SendMessageA(Handle(), TBM_GETPOS, 0, 0));
    position_ = v;
    if (HandleAllocated())
        ::SendMessageA(Handle(), TBM_SETPOS, TRUE, v);
    if (old != v && !ComponentState().Contains(rtl::csLoading))
        Changed();
}

void TTrackBar::SetFrequency(std::int32_t v)
{
    frequency_ = std::max<std::int32_t>(v, 1);
    if (HandleAllocated())
        ::SendMessageA(Handle(), TBM_SETTICFREQ, static_cast<WPARAM>(frequency_), 0);
}

void TTrackBar::SetPageSize(std::int32_t v)
{
    pageSize_ = v;
    if (HandleAllocated())
        ::SendMessageA(Handle(), TBM_SETPAGESIZE, 0, v);
}

void TTrackBar::SetLineSize(std::int32_t v)
{
    lineSize_ = v;
    if (HandleAllocated())
        ::SendMessageA(Handle(), TBM_SETLINESIZE, 0, v);
}

void TTrackBar::SyncPosition()
{
    std::int32_t now = static_cast<std::int32_t>(::SendMessageA(Handle(), TBM_GETPOS, 0, 0));
    if (now != position_) {
        position_ = now;
        Changed();
    }
}

void TTrackBar::WndProc(TMessage& m)
{
    if (m.Msg == CN_HSCROLL || m.Msg == CN_VSCROLL) {
        SyncPosition();
        return;
    }
    TWinControl::WndProc(m);
}

// --- tool bars ---

void TToolButton::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Down)).Default(false);
    t.Property(RTL_MEMBER(Grouped)).Default(false);
    t.Property(RTL_MEMBER(ImageIndex)).Default(-1);
    t.Property(RTL_GET_SET(MenuItem));
    t.Property(RTL_GET_SET(Style)).Default(tbsButton);
    t.Creatable();
}

TToolButton::TToolButton(rtl::TComponent* owner) : TGraphicControl(owner)
{
    controlStyle_.Exclude(csDoubleClicks);
    SetBounds(0, 0, 23, 22);
}

TToolButton::~TToolButton()
{
    if (TToolBar* bar = ToolBar())
        bar->RemoveButton(this);
}

TToolBar* TToolButton::ToolBar() const { return dynamic_cast<TToolBar*>(Parent()); }

void TToolButton::SetParent(TWinControl* parent)
{
    if (parent == Parent())
        return;
    if (TToolBar* old = ToolBar())
        old->RemoveButton(this);
    TGraphicControl::SetParent(parent);
    if (TToolBar* bar = ToolBar())
        bar->AddButton(this);
}

void TToolButton::SetDown(bool v)
{
    if (v == down_)
        return;
    down_ = v;
    // A grouped check button that goes down releases the others of its group.
    if (v && Grouped && style_ == tbsCheck)
        if (TToolBar* bar = ToolBar())
            for (TToolButton* other : bar->buttons_)
                if (other != this && other->Grouped && other->style_ == tbsCheck && other->down_) {
                    other->down_ = false;
                    other->Invalidate();
                }
    Invalidate();
}

void TToolButton::SetStyle(TToolButtonStyle v)
{
    rtl::SetAndNotify(style_, v, [this] {
        if (TToolBar* bar = ToolBar())
            bar->ArrangeButtons();
        Invalidate();
    });
}

void TToolButton::SetMenuItem(TMenuItem* v)
{
    menuItem_ = v;
    if (v) {
        v->FreeNotification(this);
        SetCaption(v->Caption());
        SetEnabled(v->Enabled());
    }
}

void TToolButton::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    TGraphicControl::Notification(component, operation);
    if (operation == rtl::opRemove && component == static_cast<rtl::TComponent*>(menuItem_))
        menuItem_ = nullptr;
}

TCustomDrawState TToolButton::DrawState() const
{
    TCustomDrawState s;
    if (MouseInControl())
        s.Include(cdsHot);
    if (pressed_ || down_)
        s.Include(cdsSelected);
    if (down_)
        s.Include(cdsChecked);
    if (!Enabled())
        s.Include(cdsDisabled);
    return s;
}

void TToolButton::Click()
{
    if (style_ == tbsCheck)
        SetDown(!down_);
    if (menuItem_) {
        if (menuItem_->Count() > 0) {
            if (TToolBar* bar = ToolBar())
                bar->TrackMenu(this);
        } else {
            menuItem_->Click();
        }
    }
    TGraphicControl::Click();
}

void TToolButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    TGraphicControl::MouseDown(button, shift, x, y);
    if (button != mbLeft || !Enabled())
        return;
    // A menu opens on the press, as menu bars do; the release then clicks nothing.
    if (menuItem_ && menuItem_->Count() > 0) {
        controlState_.Exclude(csClicked);
        controlState_.Exclude(csLButtonDown);
        if (GetCaptureControl() == this)
            SetCaptureControl(nullptr);
        if (TToolBar* bar = ToolBar())
            bar->TrackMenu(this);
        return;
    }
    pressed_ = true;
    Repaint();
}

void TToolButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    if (pressed_) {
        pressed_ = false;
        Invalidate();
    }
    TGraphicControl::MouseUp(button, shift, x, y);
}

void TToolButton::MouseEnter()
{
    Invalidate();
    TGraphicControl::MouseEnter();
}

void TToolButton::MouseLeave()
{
    pressed_ = false;
    Invalidate();
    TGraphicControl::MouseLeave();
}

void TToolButton::Paint()
{
    if (TToolBar* bar = ToolBar())
        bar->PaintButton(this);
}

void TToolBar::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Align)).Default(alTop);
    t.Property(RTL_GET_SET(AutoSize)).Default(false);
    t.Property(RTL_GET_SET(ButtonHeight)).Default(22);
    t.Property(RTL_GET_SET(ButtonWidth)).Default(23);
    t.Property(RTL_GET_SET(EdgeBorders)).Default(TEdgeBorders{ebTop});
    t.Property(RTL_GET_SET(Flat)).Default(false);
    t.Property(RTL_GET_SET(Menu));
    t.Property(RTL_GET_SET(ParentColor)).Default(false);
    t.Property(RTL_GET_SET(ShowCaptions)).Default(false);
    t.Property(RTL_GET_SET(Wrapable)).Default(true);
    t.Event(RTL_MEMBER(OnCustomDrawButton));
    t.Creatable();
}

TToolBar::TToolBar(rtl::TComponent* owner) : TCustomControl(owner)
{
    controlStyle_ = {csAcceptsControls, csCaptureMouse, csClickEvents, csDoubleClicks, csOpaque};
    SetColor(clBtnFace);
    SetBounds(0, 0, 150, 29);
    SetAlign(alTop);
}

TToolBar::~TToolBar()
{
    Destroying();
    menuButtons_.clear();  // freed as owned components or with the children below
    buttons_.clear();
    DestroyHandle();
}

TToolButton* TToolBar::Buttons(std::int32_t index) const
{
    if (index < 0 || index >= ButtonCount())
        throw rtl::EListError("List index out of bounds (" + std::to_string(index) + ")");
    return buttons_[static_cast<size_t>(index)];
}

void TToolBar::AddButton(TToolButton* button)
{
    if (std::find(buttons_.begin(), buttons_.end(), button) == buttons_.end())
        buttons_.push_back(button);
    ArrangeButtons();
}

void TToolBar::RemoveButton(TToolButton* button)
{
    buttons_.erase(std::remove(buttons_.begin(), buttons_.end(), button), buttons_.end());
    menuButtons_.erase(std::remove(menuButtons_.begin(), menuButtons_.end(), button), menuButtons_.end());
    ArrangeButtons();
}

void TToolBar::SetMenu(TMainMenu* v)
{
    // Buttons made for an earlier menu go; buttons placed by hand stay.
    std::vector<TToolButton*> old;
    old.swap(menuButtons_);
    for (TToolButton* b : old)
        delete b;
    menu_ = v;
    if (!v)
        return;
    v->FreeNotification(this);
    for (std::int32_t i = 0; i < v->Items()->Count(); ++i) {
        TMenuItem* item = v->Items()->Items(i);
        if (!item->Visible())
            continue;
        auto* button = new TToolButton(this);
        button->Grouped = true;
        button->SetMenuItem(item);
        menuButtons_.push_back(button);
        button->SetParent(this);
    }
    ArrangeButtons();
    Invalidate();
}

void TToolBar::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    TCustomControl::Notification(component, operation);
    if (operation == rtl::opRemove && component == static_cast<rtl::TComponent*>(menu_) &&
        !ComponentState().Contains(rtl::csDestroying))
        SetMenu(nullptr);
}

void TToolBar::Loaded()
{
    TCustomControl::Loaded();
    ArrangeButtons();
}

void TToolBar::Resize()
{
    TCustomControl::Resize();
    ArrangeButtons();
}

TRect TToolBar::ButtonArea()
{
    TRect r = ClientRect();
    if (edgeBorders_.Contains(ebLeft))
        r.Left += 2;
    if (edgeBorders_.Contains(ebTop))
        r.Top += 2;
    if (edgeBorders_.Contains(ebRight))
        r.Right -= 2;
    if (edgeBorders_.Contains(ebBottom))
        r.Bottom -= 2;
    return r;
}

std::int32_t TToolBar::ButtonWidthFor(TToolButton* button)
{
    if (button->Style() == tbsSeparator || button->Style() == tbsDivider)
        return 8;
    if (!showCaptions_ && !button->MenuItem())
        return buttonWidth_;
    TMemoryCanvas canvas;
    canvas.Font()->Assign(button->Font());
    return std::max<std::int32_t>(buttonWidth_, canvas.TextWidth(button->Caption()) + 14);
}

void TToolBar::ArrangeButtons()
{
    if (arranging_ || ComponentState().Contains(rtl::csLoading) ||
        ComponentState().Contains(rtl::csDestroying))
        return;
    arranging_ = true;
    TRect area = ButtonArea();
    int x = area.Left, y = area.Top;
    try {
        for (TToolButton* b : buttons_) {
            if (!b->Visible())
                continue;
            int w = ButtonWidthFor(b);
            if (wrapable_ && x > area.Left && x + w > area.Right) {
                x = area.Left;
                y += buttonHeight_;
            }
            b->SetBounds(x, y, w, buttonHeight_);
            x += w;
        }
        if (autoSize_) {
            int rows = y - area.Top + buttonHeight_;
            SetHeight(rows + (Height() - area.Height()));
        }
    } catch (...) {
        arranging_ = false;
        throw;
    }
    arranging_ = false;
}

void TToolBar::TrackMenu(TToolButton* button)
{
    if (!button || !button->MenuItem())
        return;
    button->pressed_ = true;
    button->Repaint();
    TPoint p = button->ClientToScreen({0, button->Height()});
    button->MenuItem()->PopupSubItems(p.X, p.Y);
    button->pressed_ = false;
    button->Invalidate();
}

void TToolBar::Paint()
{
    TCanvas& canvas = *Canvas();
    TRect r = ClientRect();
    canvas.Brush()->SetColor(Color());
    canvas.Brush()->SetStyle(bsSolid);
    canvas.FillRect(r);
    UINT edges = 0;
    if (edgeBorders_.Contains(ebLeft))
        edges |= BF_LEFT;
    if (edgeBorders_.Contains(ebTop))
        edges |= BF_TOP;
    if (edgeBorders_.Contains(ebRight))
        edges |= BF_RIGHT;
    if (edgeBorders_.Contains(ebBottom))
        edges |= BF_BOTTOM;
    if (edges) {
        RECT rr = ToRECT(r);
        ::DrawEdge(canvas.Handle(), &rr, EDGE_ETCHED, edges);
    }
}

void TToolBar::PaintButton(TToolButton* button)
{
    // The bar's canvas draws the button in bar coordinates, as custom drawing expects.
    HDC dc = button->Canvas()->Handle();
    SaveDCGuard save(dc);
    POINT old;
    ::OffsetViewportOrgEx(dc, -button->Left(), -button->Top(), &old);
    TCanvas& canvas = *Canvas();
    canvas.Lock();
    ReleaseCanvasHandle();
    canvas.SetHandle(dc);
    try {
        canvas.Font()->Assign(button->Font());
        bool defaultDraw = true;
        TCustomDrawState state = button->DrawState();
        OnCustomDrawButton(this, button, state, defaultDraw);
        if (defaultDraw)
            DrawButton(canvas, button, state);
    } catch (...) {
        canvas.SetHandle(nullptr);
        canvas.Unlock();
        throw;
    }
    canvas.SetHandle(nullptr);
    canvas.Unlock();
}

void TToolBar::DrawButton(TCanvas& canvas, TToolButton* button, TCustomDrawState state)
{
    TRect r = button->BoundsRect();
    canvas.Brush()->SetColor(Color());
    canvas.Brush()->SetStyle(bsSolid);
    canvas.FillRect(r);
    RECT rr = ToRECT(r);
    if (button->Style() == tbsSeparator || button->Style() == tbsDivider) {
        RECT line{rr.left + 3, rr.top + 2, rr.left + 5, rr.bottom - 2};
        if (button->Style() == tbsDivider)
            ::DrawEdge(canvas.Handle(), &line, EDGE_ETCHED, BF_LEFT);
        return;
    }
    bool selected = state.Contains(cdsSelected);
    if (flat_) {
        if (selected)
            ::DrawEdge(canvas.Handle(), &rr, BDR_SUNKENOUTER, BF_RECT);
        else if (state.Contains(cdsHot))
            ::DrawEdge(canvas.Handle(), &rr, BDR_RAISEDINNER, BF_RECT);
    } else {
        ::DrawEdge(canvas.Handle(), &rr, selected ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    }
    if (showCaptions_ || button->MenuItem()) {
        TRect text = r;
        if (selected) {
            text.Left += 1;
            text.Top += 1;
        }
        canvas.Brush()->SetStyle(bsClear);
        canvas.Font()->SetColor(state.Contains(cdsDisabled) ? clGrayText : button->Font()->Color());
        canvas.DrawText(button->Caption(), text, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    }
}

}  // namespace win
