// Common controls: track bar, up-down, progress bar, page control with its tab sheets, tool bar.
#include "platform/win/ComCtrls.h"

#include "platform/win/Menus.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>
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
    t.Property(RTL_GET_SET(ThumbLength)).Default(20);
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
    if (thumbLength_ != 20)
        p.Style |= TBS_FIXEDLENGTH;
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
    if (thumbLength_ != 20)
        ::SendMessageA(wnd, TBM_SETTHUMBLENGTH, static_cast<WPARAM>(thumbLength_), 0);
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

void TTrackBar::SetThumbLength(std::int32_t v)
{
    v = std::max<std::int32_t>(v, 1);
    if (v == thumbLength_)
        return;
    thumbLength_ = v;
    if (!HandleAllocated())
        return;
    // The length is honoured only by a bar made with a fixed-length thumb.
    if (!(::GetWindowLongA(Handle(), GWL_STYLE) & TBS_FIXEDLENGTH))
        RecreateWnd();
    else
        ::SendMessageA(Handle(), TBM_SETTHUMBLENGTH, static_cast<WPARAM>(v), 0);
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

// --- up-down ---

void TUpDown::Publish(Table& t)
{
    t.Property(RTL_GET_SET(AlignButton)).Default(udRight);
    t.Property(RTL_GET_SET(ArrowKeys)).Default(true);
    t.Property(RTL_GET_SET(Associate));
    t.Property(RTL_GET_SET(Increment)).Default(1);
    t.Property(RTL_GET_SET(Max)).Default(100);
    t.Property(RTL_GET_SET(Min)).Default(0);
    t.Property(RTL_GET_SET(Orientation)).Default(udVertical);
    t.Property(RTL_GET_SET(Position)).Default(0);
    t.Property(RTL_GET_SET(Thousands)).Default(true);
    t.Property(RTL_GET_SET(Wrap)).Default(false);
    t.Event(RTL_MEMBER(OnChanging));
    t.Event(RTL_MEMBER(OnClick));
    t.Creatable();
}

TUpDown::TUpDown(rtl::TComponent* owner) : TWinControl(owner)
{
    controlStyle_.Exclude(csCaptureMouse);
    controlStyle_.Exclude(csClickEvents);
    controlStyle_.Exclude(csSetCaption);
    controlStyle_.Exclude(csDoubleClicks);
    SetBounds(0, 0, 17, 25);
}

void TUpDown::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    CreateSubClass(p, UPDOWN_CLASSA);
    p.Style |= UDS_SETBUDDYINT;
    p.Style |= alignButton_ == udRight ? UDS_ALIGNRIGHT : UDS_ALIGNLEFT;
    if (orientation_ == udHorizontal)
        p.Style |= UDS_HORZ;
    if (arrowKeys_)
        p.Style |= UDS_ARROWKEYS;
    if (wrap_)
        p.Style |= UDS_WRAP;
    if (!thousands_)
        p.Style |= UDS_NOTHOUSANDS;
}

void TUpDown::SendRange()
{
    ::SendMessageA(Handle(), UDM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
}

void TUpDown::SendIncrement()
{
    UDACCEL accel{0, static_cast<UINT>(std::max<std::int32_t>(increment_, 1))};
    ::SendMessageA(Handle(), UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
}

void TUpDown::SendAssociate()
{
    ::SendMessageA(Handle(), UDM_SETBUDDY, associate_ ? reinterpret_cast<WPARAM>(associate_->Handle()) : 0,
                   0);
}

void TUpDown::CreateWnd()
{
    TWinControl::CreateWnd();
    SendRange();
    SendIncrement();
    if (associate_ && !ComponentState().Contains(rtl::csLoading))
        SendAssociate();
    ::SendMessageA(Handle(), UDM_SETPOS32, 0, position_);
}

void TUpDown::DestroyWnd()
{
    if (HandleAllocated())
        position_ = Position();
    TWinControl::DestroyWnd();
}

void TUpDown::Loaded()
{
    TWinControl::Loaded();
    // The associate may come after this control in the description.
    if (associate_ && HandleAllocated())
        SendAssociate();
}

void TUpDown::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    TWinControl::Notification(component, operation);
    if (operation == rtl::opRemove && component == static_cast<rtl::TComponent*>(associate_)) {
        associate_ = nullptr;
        if (HandleAllocated())
            SendAssociate();
    }
}

void TUpDown::SetAssociate(TWinControl* v)
{
    if (v == associate_)
        return;
    if (v == this)
        throw rtl::EInvalidOperation("An up-down control cannot be associated with itself");
    if (associate_)
        RemoveFreeNotification(associate_);
    associate_ = v;
    if (v)
        FreeNotification(v);
    if (HandleAllocated() && !ComponentState().Contains(rtl::csLoading)) {
        SendAssociate();
        ::SendMessageA(Handle(), UDM_SETPOS32, 0, position_);
    }
}

void TUpDown::SetMin(std::int32_t v)
{
    min_ = v;
    if (HandleAllocated())
        SendRange();
}

void TUpDown::SetMax(std::int32_t v)
{
    max_ = v;
    if (HandleAllocated())
        SendRange();
}

std::int32_t TUpDown::Position()
{
    if (HandleAllocated()) {
        // The control reads the associate's text first, so typed numbers count.
        BOOL failed = FALSE;
        const LRESULT pos = ::SendMessageA(Handle(), UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed));
        if (!failed)
            position_ = static_cast<std::int32_t>(pos);
    }
    return position_;
}

void TUpDown::SetPosition(std::int32_t v)
{
    v = std::clamp(v, std::min(min_, max_), std::max(min_, max_));
    position_ = v;
    if (HandleAllocated())
        ::SendMessageA(Handle(), UDM_SETPOS32, 0, v);
}

void TUpDown::SetIncrement(std::int32_t v)
{
    increment_ = v;
    if (HandleAllocated())
        SendIncrement();
}

void TUpDown::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case CN_NOTIFY:
        if (reinterpret_cast<const NMHDR*>(m.LParam)->code == UDN_DELTAPOS) {
            bool allow = true;
            OnChanging(this, allow);
            m.Result = allow ? 0 : 1;
        }
        return;
    case CN_HSCROLL:
    case CN_VSCROLL:
        if (LOWORD(m.WParam) == SB_THUMBPOSITION) {
            const std::int32_t before = position_;
            const std::int32_t now = Position();
            if (now != before)
                OnClick(this, (now > before) == (max_ >= min_) ? btNext : btPrev);
        }
        return;
    default: break;
    }
    TWinControl::WndProc(m);
}

// --- progress bar ---

void TProgressBar::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Max)).Default(100);
    t.Property(RTL_GET_SET(Min)).Default(0);
    t.Property(RTL_GET_SET(Orientation)).Default(pbHorizontal);
    t.Property(RTL_GET_SET(Position)).Default(0);
    t.Property(RTL_GET_SET(Smooth)).Default(false);
    t.Property(RTL_GET_SET(Step)).Default(10);
    t.Creatable();
}

TProgressBar::TProgressBar(rtl::TComponent* owner) : TWinControl(owner)
{
    controlStyle_.Exclude(csCaptureMouse);
    controlStyle_.Exclude(csSetCaption);
    SetBounds(0, 0, 150, 16);
}

void TProgressBar::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    CreateSubClass(p, PROGRESS_CLASSA);
    if (orientation_ == pbVertical)
        p.Style |= PBS_VERTICAL;
    if (smooth_)
        p.Style |= PBS_SMOOTH;
}

void TProgressBar::SendRange()
{
    ::SendMessageA(Handle(), PBM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
}

void TProgressBar::CreateWnd()
{
    TWinControl::CreateWnd();
    SendRange();
    ::SendMessageA(Handle(), PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

void TProgressBar::SetMin(std::int32_t v)
{
    min_ = v;
    if (max_ < min_)
        max_ = min_;
    if (HandleAllocated())
        SendRange();
    SetPosition(position_);
}

void TProgressBar::SetMax(std::int32_t v)
{
    max_ = v;
    if (min_ > max_)
        min_ = max_;
    if (HandleAllocated())
        SendRange();
    SetPosition(position_);
}

void TProgressBar::SetPosition(std::int32_t v)
{
    position_ = std::clamp(v, min_, max_);
    if (HandleAllocated())
        ::SendMessageA(Handle(), PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

void TProgressBar::StepBy(std::int32_t delta)
{
    // Summed wide: near the ends of the type a step would otherwise wrap round to the other end.
    SetPosition(
        static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{position_} + delta, min_, max_)));
}

// --- page control ---

void TTabSheet::Publish(Table& t)
{
    // A page is hidden until its page control shows it.
    t.Property(RTL_GET_SET(Visible)).Default(false);
    t.Property(RTL_GET_SET(PageControl)).Stored(false);
    t.Property(RTL_GET_SET(PageIndex)).Stored(false);
    t.Property(RTL_GET_SET(TabVisible)).Default(true);
    t.Creatable();
}

TTabSheet::TTabSheet(rtl::TComponent* owner) : TCustomControl(owner)
{
    controlStyle_ = {csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption,
                     csOpaque,          csDoubleClicks, csReplicatable};
    // A page is shown by its page control when it becomes the active one.
    InitVisible(false);
}

TTabSheet::~TTabSheet()
{
    Destroying();
    if (pageControl_)
        pageControl_->RemovePage(this);
    DestroyHandle();
}

void TTabSheet::SetParentComponent(rtl::TComponent* parent)
{
    if (auto* control = dynamic_cast<TPageControl*>(parent))
        SetPageControl(control);
    else
        TCustomControl::SetParentComponent(parent);
}

void TTabSheet::SetPageControl(TPageControl* v)
{
    if (v == pageControl_)
        return;
    if (pageControl_)
        pageControl_->RemovePage(this);
    SetParent(v);
    if (v)
        v->InsertPage(this);
}

std::int32_t TTabSheet::PageIndex() const
{
    if (!pageControl_)
        return -1;
    const auto& pages = pageControl_->pages_;
    return static_cast<std::int32_t>(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

void TTabSheet::SetPageIndex(std::int32_t v)
{
    if (!pageControl_)
        return;
    auto& pages = pageControl_->pages_;
    const std::int32_t from = PageIndex();
    v = std::clamp<std::int32_t>(v, 0, static_cast<std::int32_t>(pages.size()) - 1);
    if (v == from)
        return;
    pages.erase(pages.begin() + from);
    pages.insert(pages.begin() + v, this);
    pageControl_->UpdateTabs();
}

std::int32_t TTabSheet::TabIndex() const
{
    if (!pageControl_ || !tabVisible_)
        return -1;
    std::int32_t index = 0;
    for (TTabSheet* page : pageControl_->pages_) {
        if (page == this)
            return index;
        if (page->tabVisible_)
            ++index;
    }
    return -1;
}

void TTabSheet::SetTabVisible(bool v)
{
    if (v == tabVisible_)
        return;
    tabVisible_ = v;
    if (!pageControl_)
        return;
    // The active page keeps its place only while it has a tab.
    if (!v && pageControl_->activePage_ == this) {
        pageControl_->PassOnActivePage();
        pageControl_->ShowActivePage();
    }
    pageControl_->UpdateTabs();
}

void TTabSheet::Paint()
{
    Canvas()->Brush()->SetColor(Color());
    Canvas()->Brush()->SetStyle(bsSolid);
    Canvas()->FillRect(ClientRect());
}

void TTabSheet::WndProc(TMessage& m)
{
    if (m.Msg == CM_TEXTCHANGED && pageControl_) {
        TCustomControl::WndProc(m);
        pageControl_->UpdateTabs();
        return;
    }
    TCustomControl::WndProc(m);
}

void TPageControl::Publish(Table& t)
{
    t.Property(RTL_GET_SET(ActivePage));
    t.Event(RTL_MEMBER(OnChange));
    t.Event(RTL_MEMBER(OnChanging));
    t.Creatable();
}

TPageControl::TPageControl(rtl::TComponent* owner) : TWinControl(owner)
{
    controlStyle_ = {csAcceptsControls, csCaptureMouse, csDoubleClicks};
    SetTabStop(true);
    SetBounds(0, 0, 289, 193);
}

TPageControl::~TPageControl()
{
    Destroying();
    // The pages die with their parent; none may call back into a control going away.
    for (TTabSheet* page : pages_)
        page->pageControl_ = nullptr;
    pages_.clear();
    activePage_ = nullptr;
    DestroyHandle();
}

void TPageControl::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    CreateSubClass(p, WC_TABCONTROLA);
    p.Style |= WS_CLIPCHILDREN;
}

void TPageControl::CreateWnd()
{
    TWinControl::CreateWnd();
    UpdateTabs();
    Realign();
}

void TPageControl::Loaded()
{
    TWinControl::Loaded();
    ShowActivePage();
    UpdateTabs();
}

TTabSheet* TPageControl::Pages(std::int32_t index) const
{
    if (index < 0 || index >= PageCount())
        throw rtl::EListError("List index out of bounds (" + std::to_string(index) + ")");
    return pages_[static_cast<std::size_t>(index)];
}

std::int32_t TPageControl::ActivePageIndex() const { return activePage_ ? activePage_->PageIndex() : -1; }

void TPageControl::SetActivePageIndex(std::int32_t v)
{
    SetActivePage(v >= 0 && v < PageCount() ? pages_[static_cast<std::size_t>(v)] : nullptr);
}

void TPageControl::InsertPage(TTabSheet* page)
{
    pages_.push_back(page);
    page->pageControl_ = this;
    UpdateTabs();
    Realign();
}

void TPageControl::RemovePage(TTabSheet* page)
{
    auto it = std::find(pages_.begin(), pages_.end(), page);
    if (it == pages_.end())
        return;
    if (activePage_ == page)
        PassOnActivePage();
    pages_.erase(it);
    page->pageControl_ = nullptr;
    if (!ComponentState().Contains(rtl::csDestroying)) {
        ShowActivePage();
        UpdateTabs();
    }
}

void TPageControl::PassOnActivePage()
{
    TTabSheet* next = FindNextPage(activePage_, true, true);
    activePage_ = next == activePage_ ? nullptr : next;
}

void TPageControl::SetActivePage(TTabSheet* v)
{
    if (v && v->pageControl_ != this)
        return;
    activePage_ = v;
    ShowActivePage();
    UpdateTabs();
}

void TPageControl::ShowActivePage()
{
    if (ComponentState().Contains(rtl::csLoading))
        return;
    if (activePage_) {
        const TRect display = DisplayRect();
        activePage_->SetBounds(display.Left, display.Top, display.Width(), display.Height());
        activePage_->SetVisible(true);
        activePage_->BringToFront();
    }
    for (TTabSheet* page : pages_)
        if (page != activePage_)
            page->SetVisible(false);
}

TTabSheet* TPageControl::FindNextPage(TTabSheet* current, bool goForward, bool checkTabVisible) const
{
    const std::size_t count = pages_.size();
    if (count == 0)
        return nullptr;
    auto it = std::find(pages_.begin(), pages_.end(), current);
    std::size_t start = it == pages_.end() ? (goForward ? count - 1 : 0) : std::size_t(it - pages_.begin());
    std::size_t i = start;
    for (std::size_t n = 0; n < count; ++n) {
        i = goForward ? (i + 1) % count : (i + count - 1) % count;
        if (!checkTabVisible || pages_[i]->tabVisible_)
            return pages_[i];
    }
    return nullptr;
}

void TPageControl::SelectNextPage(bool goForward)
{
    TTabSheet* next = FindNextPage(activePage_, goForward, true);
    if (next && next != activePage_ && CanChange() && ChangeActivePage(next))
        Change();
}

bool TPageControl::CanChange()
{
    bool allow = true;
    OnChanging(this, allow);
    return allow;
}

bool TPageControl::ChangeActivePage(TTabSheet* page)
{
    if (page == activePage_)
        return false;
    SetActivePage(page);
    return true;
}

TRect TPageControl::DisplayRect()
{
    TRect client = ClientRect();
    if (!HandleAllocated())
        return client;
    RECT r = ToRECT(client);
    ::SendMessageA(Handle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    return FromRECT(r);
}

void TPageControl::AlignControls(TControl* control, TRect& rect)
{
    const TRect display = DisplayRect();
    for (TTabSheet* page : pages_)
        page->SetBounds(display.Left, display.Top, display.Width(), display.Height());
    rect = display;
    TWinControl::AlignControls(control, rect);
}

void TPageControl::UpdateTabs()
{
    if (!HandleAllocated() || ComponentState().Contains(rtl::csLoading))
        return;
    HWND wnd = Handle();
    ::SendMessageA(wnd, TCM_DELETEALLITEMS, 0, 0);
    int index = 0;
    for (TTabSheet* page : pages_) {
        if (!page->tabVisible_)
            continue;
        std::string caption = page->Caption();
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = caption.data();
        ::SendMessageA(wnd, TCM_INSERTITEMA, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&item));
    }
    ::SendMessageA(wnd, TCM_SETCURSEL, static_cast<WPARAM>(activePage_ ? activePage_->TabIndex() : -1), 0);
    // The tabs may take another number of rows: the display area moves.
    Realign();
}

void TPageControl::WndProc(TMessage& m)
{
    if (m.Msg == CN_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(m.LParam);
        if (header->code == TCN_SELCHANGING) {
            m.Result = CanChange() ? FALSE : TRUE;
            return;
        }
        if (header->code == TCN_SELCHANGE) {
            const int tab = static_cast<int>(::SendMessageA(Handle(), TCM_GETCURSEL, 0, 0));
            TTabSheet* chosen = nullptr;
            for (TTabSheet* page : pages_)
                if (page->tabVisible_ && page->TabIndex() == tab)
                    chosen = page;
            if (chosen && ChangeActivePage(chosen))
                Change();
            return;
        }
        return;
    }
    if (m.Msg == WM_KEYDOWN && m.WParam == VK_TAB && (::GetKeyState(VK_CONTROL) & 0x8000)) {
        SelectNextPage(!(::GetKeyState(VK_SHIFT) & 0x8000));
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
    TMenuItem* parent = button ? button->MenuItem() : nullptr;
    if (!parent || parent->Count() == 0)
        return;
    // The sub-items drop down from a popup menu the bar takes in for the while, so components
    // told of what the bar takes in can set that menu up.
    auto popup = std::make_unique<TPopupMenu>(nullptr);
    if (TMenu* source = parent->GetParentMenu())
        popup->SetOwnerDraw(source->OwnerDraw());
    std::vector<TMenuItem*> items;
    while (parent->Count() > 0) {
        items.push_back(parent->Items(0));
        parent->Delete(0);
        popup->Items()->Add(items.back());
    }
    auto giveBack = [&] {
        for (TMenuItem* item : items) {
            popup->Items()->Remove(item);
            parent->Add(item);
        }
        if (popup->Owner() == this)
            RemoveComponent(popup.get());
        button->pressed_ = false;
        button->Invalidate();
    };
    try {
        InsertComponent(popup.get());
        button->pressed_ = true;
        button->Repaint();
        TPoint p = button->ClientToScreen({0, button->Height()});
        popup->Popup(p.X, p.Y);
    } catch (...) {
        giveBack();
        throw;
    }
    giveBack();
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
