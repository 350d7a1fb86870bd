// Standard controls: label, button, check box, edit, memo, combo box, scroll bar and group box.
#include "platform/win/StdCtrls.h"

#include "platform/win/Forms.h"

#include <algorithm>

namespace win {

TOwnerDrawState OwnerDrawStateFromItemState(UINT s)
{
    TOwnerDrawState r;
    if (s & ODS_SELECTED)
        r.Include(odSelected);
    if (s & ODS_GRAYED)
        r.Include(odGrayed);
    if (s & ODS_DISABLED)
        r.Include(odDisabled);
    if (s & ODS_CHECKED)
        r.Include(odChecked);
    if (s & ODS_FOCUS)
        r.Include(odFocused);
    if (s & ODS_DEFAULT)
        r.Include(odDefault);
    if (s & ODS_COMBOBOXEDIT)
        r.Include(odComboBoxEdit);
    return r;
}

// --- TCustomLabel ---

void TCustomLabel::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Alignment)).Default(taLeftJustify);
    t.Property(RTL_GET_SET(AutoSize)).Default(true);
    t.Property(RTL_GET_SET(Layout)).Default(tlTop);
    t.Property(RTL_GET_SET(ShowAccelChar)).Default(true);
    t.Property(RTL_GET_SET(Transparent));
    t.Property(RTL_GET_SET(WordWrap)).Default(false);
}

void TLabel::Publish(Table& t) { t.Creatable(); }

TCustomLabel::TCustomLabel(rtl::TComponent* owner) : TGraphicControl(owner)
{
    controlStyle_ = controlStyle_ + TControlStyle{csOpaque, csReplicatable};
    SetBounds(0, 0, 65, 17);
}

void TCustomLabel::SetTransparent(bool v)
{
    if (v == Transparent())
        return;
    if (v)
        controlStyle_.Exclude(csOpaque);
    else
        controlStyle_.Include(csOpaque);
    Invalidate();
}

void TCustomLabel::Loaded()
{
    TGraphicControl::Loaded();
    AdjustSize();
}

UINT TCustomLabel::DrawTextFlags() const
{
    static const UINT kAlign[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
    static const UINT kLayout[] = {DT_TOP, DT_VCENTER, DT_BOTTOM};
    UINT flags = DT_EXPANDTABS | kAlign[alignment_];
    if (wordWrap_)
        flags |= DT_WORDBREAK;
    else
        flags |= DT_SINGLELINE | kLayout[layout_];
    if (!showAccelChar_)
        flags |= DT_NOPREFIX;
    return flags;
}

void TCustomLabel::DoDrawText(TRect& rect, UINT flags)
{
    std::string text = Caption();
    // An empty line still has a height, so an empty auto-sized label does not vanish.
    if ((flags & DT_CALCRECT) && (text.empty() || (showAccelChar_ && text == "&")))
        text += ' ';
    TCanvas* canvas = Canvas();
    canvas->Font()->Assign(Font());
    if (!Enabled() && !(flags & DT_CALCRECT)) {
        TRect shifted = rect;
        shifted.Left += 1;
        shifted.Top += 1;
        shifted.Right += 1;
        shifted.Bottom += 1;
        canvas->Font()->SetColor(clBtnHighlight);
        canvas->DrawText(text, shifted, flags);
        canvas->Font()->SetColor(clBtnShadow);
    }
    canvas->DrawText(text, rect, flags);
}

void TCustomLabel::Paint()
{
    TCanvas* canvas = Canvas();
    TRect r = ClientRect();
    if (!Transparent()) {
        canvas->Brush()->SetColor(Color());
        canvas->Brush()->SetStyle(bsSolid);
        canvas->FillRect(r);
    }
    canvas->Brush()->SetStyle(bsClear);
    UINT flags = DrawTextFlags();
    // Wrapped text is placed by layout here, since DrawText centres single lines only.
    if (wordWrap_ && layout_ != tlTop) {
        TRect calc = r;
        DoDrawText(calc, flags | DT_CALCRECT);
        int offset = r.Height() - calc.Height();
        if (layout_ == tlCenter)
            offset /= 2;
        r.Top += offset;
    }
    DoDrawText(r, flags);
}

void TCustomLabel::AdjustSize()
{
    if (!autoSize_ || ComponentState().Contains(rtl::csLoading) || ComponentState().Contains(rtl::csReading))
        return;
    WindowDC screen(nullptr);
    TCanvas* canvas = Canvas();
    canvas->Lock();
    bool attached = !canvas->HandleAllocated();
    if (attached)
        canvas->SetHandle(screen.Get());
    TRect r = Rect(0, 0, wordWrap_ ? Width() : 0, 0);
    try {
        DoDrawText(r, (DrawTextFlags() & ~(DT_VCENTER | DT_BOTTOM)) | DT_CALCRECT);
    } catch (...) {
        if (attached)
            canvas->SetHandle(nullptr);
        canvas->Unlock();
        throw;
    }
    if (attached)
        canvas->SetHandle(nullptr);
    canvas->Unlock();
    int left = Left();
    // A right-aligned label grows to the left, a centred one both ways.
    if (!wordWrap_) {
        if (alignment_ == taRightJustify)
            left += Width() - r.Width();
        else if (alignment_ == taCenter)
            left += (Width() - r.Width()) / 2;
    }
    SetBounds(left, Top(), r.Width(), r.Height());
}

// --- TButtonControl / TButton ---

void TButtonControl::Publish(Table&) {}

TButtonControl::TButtonControl(rtl::TComponent* owner) : TWinControl(owner)
{
    // Clicks come from the system control's notification, not from mouse-up.
    controlStyle_.Exclude(csClickEvents);
    controlStyle_.Exclude(csCaptureMouse);
    SetTabStop(true);
}

void TButton::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Cancel)).Default(false);
    t.Property(RTL_GET_SET(Default)).Default(false);
    t.Property(RTL_GET_SET(ModalResult)).Type(ModalResultTypeInfo()).Default(0);
    t.Creatable();
}

TButton::TButton(rtl::TComponent* owner) : TButtonControl(owner)
{
    controlStyle_.Exclude(csDoubleClicks);
    SetBounds(0, 0, 75, 25);
}

void TButton::CreateParams(TCreateParams& p)
{
    TButtonControl::CreateParams(p);
    CreateSubClass(p, "BUTTON");
    p.Style |= (default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
}

void TButton::SetDefault(bool v)
{
    rtl::SetAndNotify(default_, v, [this] {
        if (HandleAllocated() && ::GetFocus() != Handle())
            SetButtonStyle(default_);
    });
}

void TButton::SetButtonStyle(bool isDefault)
{
    active_ = isDefault;
    if (!HandleAllocated())
        return;
    LONG style = ::GetWindowLongA(Handle(), GWL_STYLE);
    if ((style & BS_TYPEMASK) == BS_OWNERDRAW)
        return;
    ::SendMessageA(Handle(), BM_SETSTYLE, isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Click()
{
    if (modalResult_ != mrNone)
        if (TCustomForm* form = GetParentForm())
            form->SetModalResult(modalResult_);
    TButtonControl::Click();
}

void TButton::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case CN_COMMAND:
        if (HIWORD(m.WParam) == BN_CLICKED)
            Click();
        return;
    case CM_DIALOGKEY:
        if (((m.WParam == VK_RETURN && (default_ || Focused())) || (m.WParam == VK_ESCAPE && cancel_)) &&
            KeyboardStateToShiftState().Empty() && CanFocus() && Showing()) {
            Click();
            m.Result = 1;
            return;
        }
        m.Result = 0;
        return;
    case WM_SETFOCUS: SetButtonStyle(true); break;
    case WM_KILLFOCUS: SetButtonStyle(default_); break;
    default: break;
    }
    TButtonControl::WndProc(m);
}

// --- TCustomCheckBox ---

void TCustomCheckBox::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Alignment)).Default(taRightJustify);
    t.Property(RTL_MEMBER(AllowGrayed)).Default(false);
    t.Property(RTL_GET_SET(Checked)).Stored(false);
    t.Property(RTL_GET_SET(State)).Default(cbUnchecked);
}

void TCheckBox::Publish(Table& t) { t.Creatable(); }

TCustomCheckBox::TCustomCheckBox(rtl::TComponent* owner) : TButtonControl(owner)
{
    controlStyle_.Exclude(csDoubleClicks);
    SetBounds(0, 0, 97, 17);
}

void TCustomCheckBox::CreateParams(TCreateParams& p)
{
    TButtonControl::CreateParams(p);
    CreateSubClass(p, "BUTTON");
    // A three-state button the system never toggles: the state is ours, set after each click.
    p.Style |= BS_3STATE;
    if (alignment_ == taLeftJustify)
        p.Style |= BS_LEFTTEXT;
}

void TCustomCheckBox::CreateWnd()
{
    TButtonControl::CreateWnd();
    ::SendMessageA(Handle(), BM_SETCHECK, static_cast<WPARAM>(state_), 0);
}

void TCustomCheckBox::SetState(TCheckBoxState v)
{
    if (v == state_)
        return;
    state_ = v;
    if (HandleAllocated())
        ::SendMessageA(Handle(), BM_SETCHECK, static_cast<WPARAM>(state_), 0);
    if (!ComponentState().Contains(rtl::csLoading) && !ComponentState().Contains(rtl::csReading))
        Click();
}

void TCustomCheckBox::Toggle()
{
    switch (state_) {
    case cbUnchecked: SetState(AllowGrayed ? cbGrayed : cbChecked); break;
    case cbChecked: SetState(cbUnchecked); break;
    case cbGrayed: SetState(cbChecked); break;
    }
}

void TCustomCheckBox::WndProc(TMessage& m)
{
    if (m.Msg == CN_COMMAND) {
        if (HIWORD(m.WParam) == BN_CLICKED)
            Toggle();
        return;
    }
    TButtonControl::WndProc(m);
}

// --- TCustomEdit ---

void TCustomEdit::Publish(Table& t)
{
    t.Property(RTL_GET_SET(BorderStyle)).Default(bsSingle);
    t.Property(RTL_GET_SET(MaxLength)).Default(0);
    t.Property(RTL_GET_SET(PasswordChar)).Default(0);
    t.Property(RTL_GET_SET(ReadOnly)).Default(false);
    t.Property(RTL_GET_SET(ParentColor)).Default(false);
    t.Property("Text", &TCustomEdit::Text, &TCustomEdit::SetTextProp);
    t.Event(RTL_MEMBER(OnChange));
}

void TEdit::Publish(Table& t) { t.Creatable(); }

TCustomEdit::TCustomEdit(rtl::TComponent* owner) : TWinControl(owner)
{
    // The system control captures the mouse itself while selecting.
    controlStyle_.Exclude(csCaptureMouse);
    controlStyle_.Exclude(csSetCaption);
    controlStyle_.Exclude(csClickEvents);
    SetBorderStyleValue(bsSingle);
    SetColor(clWindow);
    SetTabStop(true);
    SetBounds(0, 0, 121, 21);
}

void TCustomEdit::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    CreateSubClass(p, "EDIT");
    p.Style |= ES_AUTOHSCROLL | ES_AUTOVSCROLL;
    if (readOnly_)
        p.Style |= ES_READONLY;
    if (BorderStyle() == bsSingle)
        p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomEdit::CreateWnd()
{
    TWinControl::CreateWnd();
    ::SendMessageA(Handle(), EM_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
    if (passwordChar_)
        ::SendMessageA(Handle(), EM_SETPASSWORDCHAR, static_cast<unsigned char>(passwordChar_), 0);
}

void TCustomEdit::SetMaxLength(std::int32_t v)
{
    maxLength_ = std::max<std::int32_t>(v, 0);
    if (HandleAllocated())
        ::SendMessageA(Handle(), EM_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
}

void TCustomEdit::SetReadOnly(bool v)
{
    readOnly_ = v;
    if (HandleAllocated())
        ::SendMessageA(Handle(), EM_SETREADONLY, v, 0);
}

void TCustomEdit::SetPasswordChar(char v)
{
    passwordChar_ = v;
    if (HandleAllocated()) {
        ::SendMessageA(Handle(), EM_SETPASSWORDCHAR, static_cast<unsigned char>(v), 0);
        Invalidate();
    }
}

bool TCustomEdit::Modified()
{
    return HandleAllocated() && ::SendMessageA(Handle(), EM_GETMODIFY, 0, 0) != 0;
}

void TCustomEdit::SetModified(bool v)
{
    if (HandleAllocated())
        ::SendMessageA(Handle(), EM_SETMODIFY, v, 0);
}

std::int32_t TCustomEdit::SelStart()
{
    DWORD start = 0, end = 0;
    ::SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<std::int32_t>(start);
}

void TCustomEdit::SetSelStart(std::int32_t v) { ::SendMessageA(Handle(), EM_SETSEL, v, v); }

std::int32_t TCustomEdit::SelLength()
{
    DWORD start = 0, end = 0;
    ::SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<std::int32_t>(end - start);
}

void TCustomEdit::SetSelLength(std::int32_t v)
{
    std::int32_t start = SelStart();
    ::SendMessageA(Handle(), EM_SETSEL, start, start + v);
}

std::string TCustomEdit::SelText()
{
    std::string text = Text();
    size_t start =
        static_cast<size_t>(std::clamp<std::int32_t>(SelStart(), 0, static_cast<std::int32_t>(text.size())));
    size_t len = static_cast<size_t>(std::max<std::int32_t>(SelLength(), 0));
    return text.substr(start, len);
}

void TCustomEdit::SetSelText(const std::string& v)
{
    ::SendMessageA(Handle(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(v.c_str()));
}

void TCustomEdit::SelectAll() { ::SendMessageA(Handle(), EM_SETSEL, 0, -1); }

void TCustomEdit::WndProc(TMessage& m)
{
    if (m.Msg == CN_COMMAND) {
        if (HIWORD(m.WParam) == EN_CHANGE && !ComponentState().Contains(rtl::csLoading))
            Change();
        return;
    }
    if (m.Msg == CM_TEXTCHANGED && !HandleAllocated()) {
        // Without a window the system sends no EN_CHANGE; report the change ourselves.
        TWinControl::WndProc(m);
        if (!ComponentState().Contains(rtl::csLoading) && !ComponentState().Contains(rtl::csReading))
            Change();
        return;
    }
    TWinControl::WndProc(m);
}

// --- TMemoStrings ---

std::vector<std::string> TMemoStrings::Split() const
{
    std::string text = memo_.Text();
    std::vector<std::string> lines;
    if (text.empty())
        return lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

void TMemoStrings::Join(const std::vector<std::string>& lines)
{
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            text += "\r\n";
        text += lines[i];
    }
    memo_.SetText(text);
}

std::int32_t TMemoStrings::Count() const { return static_cast<std::int32_t>(Split().size()); }

std::int32_t TMemoStrings::Add(const std::string& s)
{
    if (memo_.HandleAllocated())
        return memo_.AppendLine(s);
    return rtl::TStrings::Add(s);
}

std::string TMemoStrings::Get(std::int32_t index) const
{
    auto lines = Split();
    if (index < 0 || index >= static_cast<std::int32_t>(lines.size()))
        Error("List index out of bounds (%d)", index);
    return lines[static_cast<size_t>(index)];
}

void TMemoStrings::Put(std::int32_t index, const std::string& s)
{
    auto lines = Split();
    if (index < 0 || index >= static_cast<std::int32_t>(lines.size()))
        Error("List index out of bounds (%d)", index);
    lines[static_cast<size_t>(index)] = s;
    Join(lines);
}

void TMemoStrings::Insert(std::int32_t index, const std::string& s)
{
    auto lines = Split();
    if (index < 0 || index > static_cast<std::int32_t>(lines.size()))
        Error("List index out of bounds (%d)", index);
    if (index == static_cast<std::int32_t>(lines.size()) && memo_.HandleAllocated()) {
        // Appending through the selection keeps the caret and scroll position at the end
        // and avoids resetting the whole text.
        HWND wnd = memo_.Handle();
        std::string text = memo_.Text();
        int len = static_cast<int>(text.size());
        std::string add = (text.empty() || text.back() == '\n' || text.back() == '\r') ? s : "\r\n" + s;
        ::SendMessageA(wnd, EM_SETSEL, len, len);
        ::SendMessageA(wnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(add.c_str()));
        return;
    }
    lines.insert(lines.begin() + index, s);
    Join(lines);
}

void TMemoStrings::Delete(std::int32_t index)
{
    auto lines = Split();
    if (index < 0 || index >= static_cast<std::int32_t>(lines.size()))
        Error("List index out of bounds (%d)", index);
    lines.erase(lines.begin() + index);
    Join(lines);
}

void TMemoStrings::Clear() { memo_.SetText(""); }

void TMemoStrings::SetText(const std::string& text)
{
    // Normalise lone line feeds to CR LF, as the edit control shows only CR LF breaks.
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    if (out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0)
        out.resize(out.size() - 2);
    memo_.SetText(out);
}

// --- TCustomMemo ---

void TCustomMemo::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Alignment)).Default(taLeftJustify);
    t.Property(RTL_GET_SET(Lines));
    t.Property(RTL_GET_SET(ScrollBars)).Default(ssNone);
    t.Property(RTL_MEMBER(WantReturns)).Default(true);
    t.Property(RTL_MEMBER(WantTabs)).Default(false);
    t.Property(RTL_GET_SET(WordWrap)).Default(true);
}

void TMemo::Publish(Table& t) { t.Creatable(); }

TCustomMemo::TCustomMemo(rtl::TComponent* owner)
    : TCustomEdit(owner), lines_(std::make_unique<TMemoStrings>(*this))
{
    SetBounds(0, 0, 185, 89);
}

void TCustomMemo::SetLines(rtl::TStrings* v)
{
    if (v)
        lines_->Assign(*v);
    else
        lines_->Clear();
}

namespace {

constexpr UINT_PTR kFlushTimer = 0x5641;
constexpr DWORD kFlushDelayMs = 40;

// Lines the memo's line list counts in `text` appended after a text whose last line is open
// (not ended by a break) or not; `tailOpen` becomes the state after it.
std::int32_t CountAppended(const std::string& text, bool& tailOpen)
{
    std::int32_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (!tailOpen)
                ++count;  // an empty line before this break
            tailOpen = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (!tailOpen) {
            ++count;
            tailOpen = true;
        }
    }
    return count;
}

}  // namespace

LRESULT TCustomMemo::EditCall(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return ::CallWindowProcA(defWndProc_, Handle(), msg, wParam, lParam);
}

std::int32_t TCustomMemo::AppendLine(const std::string& line)
{
    if (!HandleAllocated())
        return lines_->Add(line);
    if (pending_.empty()) {
        // The state of the text in the window: its line count and whether its last line is
        // open. The last line is empty only in an empty text or after a break.
        const auto lineCount = static_cast<std::int32_t>(EditCall(EM_GETLINECOUNT, 0, 0));
        const LRESULT lastStart = EditCall(EM_LINEINDEX, static_cast<WPARAM>(std::max(lineCount - 1, 0)), 0);
        pendingTailOpen_ = lastStart >= 0 && EditCall(EM_LINELENGTH, static_cast<WPARAM>(lastStart), 0) > 0;
        // Without wrapping the window's lines are the text's; with it they are screen lines.
        pendingCount_ = wordWrap_ ? lines_->Count() : (pendingTailOpen_ ? lineCount : lineCount - 1);
        if (lastFlush_ == 0)
            lastFlush_ = ::GetTickCount();
        ::SetTimer(Handle(), kFlushTimer, kFlushDelayMs, nullptr);
    }
    const std::int32_t index = pendingCount_;
    // As Insert at the end: a break only when the text does not already end with one.
    if (pendingTailOpen_)
        pending_ += "\r\n";
    pending_ += line;
    bool tailOpen = false;
    pendingCount_ += CountAppended(line, tailOpen);
    pendingTailOpen_ = tailOpen;
    // A burst that goes on for long still shows as it grows.
    if (::GetTickCount() - lastFlush_ >= kFlushDelayMs)
        FlushLines();
    return index;
}

void TCustomMemo::FlushLines()
{
    if (pending_.empty() || !HandleAllocated())
        return;
    std::string text;
    text.swap(pending_);
    ::KillTimer(Handle(), kFlushTimer);
    const LRESULT length = EditCall(WM_GETTEXTLENGTH, 0, 0);
    EditCall(EM_SETSEL, static_cast<WPARAM>(length), length);
    EditCall(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    lastFlush_ = ::GetTickCount();
    LinesFlushed();
}

void TCustomMemo::DestroyWnd()
{
    FlushLines();
    TCustomEdit::DestroyWnd();
}

void TCustomMemo::CreateParams(TCreateParams& p)
{
    TCustomEdit::CreateParams(p);
    static const DWORD kAlign[] = {ES_LEFT, ES_RIGHT, ES_CENTER};
    p.Style &= ~static_cast<DWORD>(ES_AUTOHSCROLL);
    p.Style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | kAlign[alignment_];
    if (scrollBars_ == ssVertical || scrollBars_ == ssBoth)
        p.Style |= WS_VSCROLL;
    // Wrapping needs no horizontal scrolling; without it long lines scroll sideways.
    if (!wordWrap_) {
        p.Style |= ES_AUTOHSCROLL;
        if (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth)
            p.Style |= WS_HSCROLL;
    }
}

void TCustomMemo::WndProc(TMessage& m)
{
    if (m.Msg == WM_TIMER && m.WParam == kFlushTimer) {
        ::KillTimer(Handle(), kFlushTimer);
        FlushLines();
        return;
    }
    FlushLines();
    if (m.Msg == WM_GETDLGCODE) {
        TCustomEdit::WndProc(m);
        m.Result &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTTAB);
        if (WantReturns)
            m.Result |= DLGC_WANTALLKEYS;
        if (WantTabs)
            m.Result |= DLGC_WANTTAB;
        return;
    }
    TCustomEdit::WndProc(m);
}

// --- TComboBoxStrings ---

void TComboBoxStrings::Put(std::int32_t index, const std::string& s)
{
    rtl::TObject* object = GetObject(index);
    Delete(index);
    InsertObject(index, s, object);
}

void TComboBoxStrings::Insert(std::int32_t index, const std::string& s) { InsertObject(index, s, nullptr); }

void TComboBoxStrings::InsertObject(std::int32_t index, const std::string& s, rtl::TObject* object)
{
    rtl::TStringList::InsertObject(index, s, object);
    if (combo_.HandleAllocated())
        ::SendMessageA(combo_.Handle(), CB_INSERTSTRING, static_cast<WPARAM>(index),
                       reinterpret_cast<LPARAM>(s.c_str()));
}

std::int32_t TComboBoxStrings::Add(const std::string& s) { return AddObject(s, nullptr); }

std::int32_t TComboBoxStrings::AddObject(const std::string& s, rtl::TObject* object)
{
    std::int32_t index = rtl::TStringList::AddObject(s, object);
    if (combo_.HandleAllocated())
        ::SendMessageA(combo_.Handle(), CB_INSERTSTRING, static_cast<WPARAM>(index),
                       reinterpret_cast<LPARAM>(s.c_str()));
    return index;
}

void TComboBoxStrings::Delete(std::int32_t index)
{
    rtl::TStringList::Delete(index);
    if (combo_.HandleAllocated())
        ::SendMessageA(combo_.Handle(), CB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void TComboBoxStrings::Clear()
{
    rtl::TStringList::Clear();
    if (combo_.HandleAllocated()) {
        // The edit text is not part of the list and stays.
        std::string text = combo_.Text();
        ::SendMessageA(combo_.Handle(), CB_RESETCONTENT, 0, 0);
        if (combo_.Style() != csDropDownList)
            ::SetWindowTextA(combo_.Handle(), text.c_str());
    }
}

void TComboBoxStrings::Exchange(std::int32_t index1, std::int32_t index2)
{
    std::string a = Get(index1), b = Get(index2);
    rtl::TObject* oa = GetObject(index1);
    rtl::TObject* ob = GetObject(index2);
    std::int32_t lo = std::min(index1, index2), hi = std::max(index1, index2);
    if (lo == hi)
        return;
    bool loIs1 = lo == index1;
    Delete(hi);
    InsertObject(hi, loIs1 ? a : b, loIs1 ? oa : ob);
    Delete(lo);
    InsertObject(lo, loIs1 ? b : a, loIs1 ? ob : oa);
}

void TComboBoxStrings::Move(std::int32_t curIndex, std::int32_t newIndex)
{
    if (curIndex == newIndex)
        return;
    std::string s = Get(curIndex);
    rtl::TObject* o = GetObject(curIndex);
    Delete(curIndex);
    InsertObject(newIndex, s, o);
}

// --- TCustomComboBox ---

void TCustomComboBox::Publish(Table& t)
{
    t.Property(RTL_MEMBER(AutoComplete)).Default(true);
    t.Property(RTL_MEMBER(DropDownCount)).Default(8);
    t.Property(RTL_GET_SET(ItemHeight));
    t.Property(RTL_GET_SET(Items));
    t.Property(RTL_GET_SET(ItemIndex)).Default(-1);
    t.Property(RTL_GET_SET(MaxLength)).Default(0);
    t.Property(RTL_GET_SET(Sorted)).Default(false);
    t.Property(RTL_GET_SET(Style)).Default(csDropDown);
    t.Property(RTL_GET_SET(ParentColor)).Default(false);
    t.Property("Text", &TCustomComboBox::Text, &TCustomComboBox::SetTextProp);
    t.Event(RTL_MEMBER(OnChange));
    t.Event(RTL_MEMBER(OnCloseUp));
    t.Event(RTL_MEMBER(OnDrawItem));
    t.Event(RTL_MEMBER(OnDropDown));
    t.Event(RTL_MEMBER(OnMeasureItem));
    t.Event(RTL_MEMBER(OnSelect));
}

void TComboBox::Publish(Table& t) { t.Creatable(); }

TCustomComboBox::TCustomComboBox(rtl::TComponent* owner)
    : TWinControl(owner), items_(std::make_unique<TComboBoxStrings>(*this))
{
    controlStyle_.Exclude(csCaptureMouse);
    controlStyle_.Exclude(csSetCaption);
    controlStyle_.Exclude(csClickEvents);
    SetColor(clWindow);
    SetTabStop(true);
    SetBounds(0, 0, 145, 21);
}

TCustomComboBox::~TCustomComboBox()
{
    Destroying();
    DestroyHandle();
}

void TCustomComboBox::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    CreateSubClass(p, "COMBOBOX");
    static const DWORD kStyle[] = {CBS_DROPDOWN, CBS_SIMPLE, CBS_DROPDOWNLIST,
                                   CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
                                   CBS_DROPDOWNLIST | CBS_OWNERDRAWVARIABLE | CBS_HASSTRINGS};
    p.Style |= kStyle[style_] | WS_VSCROLL | CBS_AUTOHSCROLL;
    if (sorted_)
        p.Style |= CBS_SORT;
    // The height of a drop-down combo box includes its list.
    if (style_ != csSimple)
        p.Height = std::max(p.Height, 0) + itemHeight_ * std::max(DropDownCount, 1) + 4;
}

namespace {

constexpr const char* kEditProcProp = "VaComboEditProc";

// The edit inside a combo box: keys go through the combo box's key events first, and typed
// characters may be completed from the items afterwards.
LRESULT CALLBACK ComboEditProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto old = reinterpret_cast<WNDPROC>(::GetPropA(wnd, kEditProcProp));
    if (!old)
        return ::DefWindowProcA(wnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        ::RemovePropA(wnd, kEditProcProp);
        return ::CallWindowProcA(old, wnd, msg, wParam, lParam);
    }
    auto* combo = dynamic_cast<TCustomComboBox*>(TWinControl::FindControl(::GetParent(wnd)));
    if (combo && (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN || msg == WM_KEYUP || msg == WM_SYSKEYUP ||
                  msg == WM_CHAR)) {
        TMessage m{msg, wParam, lParam, 0};
        try {
            if (combo->EditKey(m))
                return 0;
        } catch (...) {
            HandleControlException(combo);
            return 0;
        }
        wParam = m.WParam;
    }
    LRESULT result = ::CallWindowProcA(old, wnd, msg, wParam, lParam);
    if (msg == WM_CHAR && combo) {
        try {
            combo->CompleteTyped(static_cast<char>(wParam));
        } catch (...) {
            HandleControlException(combo);
        }
    }
    return result;
}

}  // namespace

bool TCustomComboBox::EditKey(TMessage& m)
{
    switch (m.Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: return DoKeyDown(m);
    case WM_KEYUP:
    case WM_SYSKEYUP: return DoKeyUp(m);
    case WM_CHAR: return DoKeyPress(m);
    default: return false;
    }
}

void TCustomComboBox::CompleteTyped(char typed)
{
    // Only printable characters typed at the end of the text complete it; deleting does not.
    if (!AutoComplete || static_cast<unsigned char>(typed) < 32 || style_ != csDropDown || !HandleAllocated())
        return;
    std::string text = Text();
    DWORD start = 0, end = 0;
    ::SendMessageA(Handle(), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    if (text.empty() || start != text.size() || end != text.size())
        return;
    LRESULT found = ::SendMessageA(Handle(), CB_FINDSTRING, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(text.c_str()));
    if (found == CB_ERR || found < 0 || found >= items_->Count())
        return;
    std::string item = items_->Get(static_cast<std::int32_t>(found));
    if (item.size() <= text.size())
        return;
    ::SetWindowTextA(Handle(), item.c_str());
    // The completed part stays selected, so typing on replaces it.
    ::SendMessageA(Handle(), CB_SETEDITSEL, 0, MAKELPARAM(text.size(), 0xFFFF));
    Change();
}

void TCustomComboBox::CreateWnd()
{
    std::string text = TextField();
    TWinControl::CreateWnd();
    HWND wnd = Handle();
    if (HWND edit = EditHandle(); edit && !::GetPropA(edit, kEditProcProp)) {
        LONG_PTR old = ::SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ComboEditProc));
        ::SetPropA(edit, kEditProcProp, reinterpret_cast<HANDLE>(old));
    }
    for (std::int32_t i = 0; i < items_->Count(); ++i)
        ::SendMessageA(wnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(items_->Get(i).c_str()));
    if (maxLength_)
        ::SendMessageA(wnd, CB_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
    if (itemIndex_ >= 0 && itemIndex_ < items_->Count())
        ::SendMessageA(wnd, CB_SETCURSEL, static_cast<WPARAM>(itemIndex_), 0);
    else if (style_ == csDropDown || style_ == csSimple)
        ::SetWindowTextA(wnd, text.c_str());
}

void TCustomComboBox::DestroyWnd()
{
    if (HandleAllocated())
        itemIndex_ = static_cast<std::int32_t>(::SendMessageA(Handle(), CB_GETCURSEL, 0, 0));
    TWinControl::DestroyWnd();
}

void TCustomComboBox::SetItems(rtl::TStrings* v)
{
    if (v)
        items_->Assign(*v);
    else
        items_->Clear();
}

std::int32_t TCustomComboBox::ItemIndex()
{
    if (HandleAllocated())
        return static_cast<std::int32_t>(::SendMessageA(Handle(), CB_GETCURSEL, 0, 0));
    return itemIndex_ < items_->Count() ? itemIndex_ : -1;
}

void TCustomComboBox::SetItemIndex(std::int32_t v)
{
    // While reading a description the items may come later; keep the value for then.
    if (ComponentState().Contains(rtl::csLoading)) {
        itemIndex_ = v;
        return;
    }
    if (v < -1 || v >= items_->Count())
        v = -1;
    if (!HandleAllocated()) {
        itemIndex_ = v;
        if (v >= 0)
            TextField() = items_->Get(v);
        return;
    }
    ::SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(v), 0);
}

void TCustomComboBox::Loaded()
{
    TWinControl::Loaded();
    std::int32_t v = itemIndex_;
    itemIndex_ = -1;
    SetItemIndex(v);
}

std::int32_t TCustomComboBox::ItemHeight()
{
    if (HandleAllocated() && style_ != csOwnerDrawFixed && style_ != csOwnerDrawVariable)
        return static_cast<std::int32_t>(::SendMessageA(Handle(), CB_GETITEMHEIGHT, 0, 0));
    return itemHeight_;
}

void TCustomComboBox::SetItemHeight(std::int32_t v)
{
    if (v <= 0)
        return;
    itemHeight_ = v;
    if (HandleAllocated())
        ::SendMessageA(Handle(), CB_SETITEMHEIGHT, 0, v);
}

void TCustomComboBox::SetMaxLength(std::int32_t v)
{
    maxLength_ = std::max<std::int32_t>(v, 0);
    if (HandleAllocated())
        ::SendMessageA(Handle(), CB_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
}

void TCustomComboBox::SetSorted(bool v)
{
    rtl::SetAndNotify(sorted_, v, [this] {
        items_->SetSorted(sorted_);
        RecreateWnd();
    });
}

bool TCustomComboBox::DroppedDown()
{
    return HandleAllocated() && ::SendMessageA(Handle(), CB_GETDROPPEDSTATE, 0, 0) != 0;
}

void TCustomComboBox::SetDroppedDown(bool v) { ::SendMessageA(Handle(), CB_SHOWDROPDOWN, v, 0); }

HWND TCustomComboBox::EditHandle()
{
    if (!HandleAllocated() || style_ == csDropDownList || style_ == csOwnerDrawFixed ||
        style_ == csOwnerDrawVariable)
        return nullptr;
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (::GetComboBoxInfo(Handle(), &info))
        return info.hwndItem;
    return ::FindWindowExA(Handle(), nullptr, "EDIT", nullptr);
}

void TCustomComboBox::Clear()
{
    items_->Clear();
    SetText("");
}

void TCustomComboBox::Select()
{
    if (OnSelect.Assigned())
        OnSelect(this);
    else
        Change();
}

void TCustomComboBox::DrawItem(std::int32_t index, TRect rect, TOwnerDrawState state)
{
    canvas_.Brush()->SetColor(state.Contains(odSelected) ? clHighlight : Color());
    canvas_.FillRect(rect);
    if (OnDrawItem.Assigned()) {
        OnDrawItem(this, index, rect, state);
        return;
    }
    if (index >= 0 && index < items_->Count()) {
        canvas_.Font()->SetColor(state.Contains(odSelected) ? clHighlightText : Font()->Color());
        canvas_.Brush()->SetStyle(bsClear);
        canvas_.TextOut(rect.Left + 2, rect.Top, items_->Get(index));
    }
}

void TCustomComboBox::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case CN_COMMAND:
        switch (HIWORD(m.WParam)) {
        case CBN_DBLCLK: DblClick(); break;
        case CBN_EDITCHANGE: Change(); break;
        case CBN_DROPDOWN: OnDropDown(this); break;
        case CBN_CLOSEUP: OnCloseUp(this); break;
        case CBN_SELCHANGE: {
            // The edit shows the new item only after this notification; set it now so the
            // handlers see the chosen text.
            std::int32_t i = ItemIndex();
            if (i >= 0 && i < items_->Count() && (style_ == csDropDown || style_ == csSimple))
                ::SetWindowTextA(Handle(), items_->Get(i).c_str());
            Click();
            Select();
            break;
        }
        default: break;
        }
        return;
    case CN_DRAWITEM: {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
        TOwnerDrawState state = OwnerDrawStateFromItemState(dis->itemState);
        canvas_.Lock();
        SaveDCGuard save(dis->hDC);
        canvas_.SetHandle(dis->hDC);
        canvas_.Font()->Assign(Font());
        canvas_.Brush()->SetStyle(bsSolid);
        try {
            DrawItem(static_cast<std::int32_t>(dis->itemID), FromRECT(dis->rcItem), state);
            if (state.Contains(odFocused))
                canvas_.DrawFocusRect(FromRECT(dis->rcItem));
        } catch (...) {
            canvas_.SetHandle(nullptr);
            canvas_.Unlock();
            throw;
        }
        canvas_.SetHandle(nullptr);
        canvas_.Unlock();
        m.Result = TRUE;
        return;
    }
    case CN_MEASUREITEM: {
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
        std::int32_t h = itemHeight_;
        // Item -1 is the selection field, which keeps ItemHeight.
        if (mis->itemID != static_cast<UINT>(-1))
            MeasureItem(static_cast<std::int32_t>(mis->itemID), h);
        mis->itemHeight = static_cast<UINT>(std::max<std::int32_t>(h, 1));
        m.Result = TRUE;
        return;
    }
    case CM_TEXTCHANGED:
        if (!HandleAllocated() && !ComponentState().Contains(rtl::csLoading))
            Change();
        break;
    default: break;
    }
    TWinControl::WndProc(m);
}

// --- TScrollBar ---

void TScrollBar::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Kind)).Default(sbHorizontal);
    t.Property(RTL_MEMBER(LargeChange)).Default(1);
    t.Property(RTL_GET_SET(Max)).Default(100);
    t.Property(RTL_GET_SET(Min)).Default(0);
    t.Property(RTL_GET_SET(PageSize)).Default(0);
    t.Property(RTL_GET_SET(Position)).Default(0);
    t.Property(RTL_MEMBER(SmallChange)).Default(1);
    t.Event(RTL_MEMBER(OnChange));
    t.Event(RTL_MEMBER(OnScroll));
    t.Creatable();
}

TScrollBar::TScrollBar(rtl::TComponent* owner) : TWinControl(owner)
{
    controlStyle_.Exclude(csCaptureMouse);
    controlStyle_.Exclude(csClickEvents);
    controlStyle_.Exclude(csSetCaption);
    SetTabStop(true);
    SetBounds(0, 0, 121, ::GetSystemMetrics(SM_CYHSCROLL));
}

void TScrollBar::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    CreateSubClass(p, "SCROLLBAR");
    p.Style |= kind_ == sbHorizontal ? SBS_HORZ : SBS_VERT;
}

void TScrollBar::CreateWnd()
{
    TWinControl::CreateWnd();
    UpdateWindow();
}

void TScrollBar::UpdateWindow()
{
    if (!HandleAllocated())
        return;
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_RANGE | SIF_POS | SIF_PAGE;
    si.nMin = min_;
    si.nMax = max_;
    si.nPage = static_cast<UINT>(pageSize_);
    si.nPos = position_;
    ::SetScrollInfo(Handle(), SB_CTL, &si, TRUE);
}

void TScrollBar::SetPageSize(std::int32_t v)
{
    if (v < 0 || (max_ - min_ + 1 > 0 && v > max_ - min_ + 1))
        throw rtl::EInvalidOperation("Scroll bar property out of range");
    pageSize_ = v;
    UpdateWindow();
}

void TScrollBar::SetParams(std::int32_t position, std::int32_t min, std::int32_t max)
{
    if (max < min)
        throw rtl::EInvalidOperation("Scroll bar property out of range");
    position = std::clamp(position, min, max);
    bool changed = position != position_;
    min_ = min;
    max_ = max;
    position_ = position;
    UpdateWindow();
    if (changed)
        Change();
}

void TScrollBar::WndProc(TMessage& m)
{
    if (m.Msg == CN_HSCROLL || m.Msg == CN_VSCROLL) {
        int code = LOWORD(m.WParam);
        std::int32_t pos = position_;
        TScrollCode sc = scEndScroll;
        switch (code) {
        case SB_LINEUP:
            sc = scLineUp;
            pos -= SmallChange;
            break;
        case SB_LINEDOWN:
            sc = scLineDown;
            pos += SmallChange;
            break;
        case SB_PAGEUP:
            sc = scPageUp;
            pos -= LargeChange;
            break;
        case SB_PAGEDOWN:
            sc = scPageDown;
            pos += LargeChange;
            break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: {
            sc = code == SB_THUMBPOSITION ? scPosition : scTrack;
            SCROLLINFO si{};
            si.cbSize = sizeof(si);
            si.fMask = SIF_TRACKPOS;
            // The 32-bit track position; the message carries only 16 bits.
            pos = ::GetScrollInfo(Handle(), SB_CTL, &si) ? si.nTrackPos
                                                         : static_cast<std::int16_t>(HIWORD(m.WParam));
            break;
        }
        case SB_TOP:
            sc = scTop;
            pos = min_;
            break;
        case SB_BOTTOM:
            sc = scBottom;
            pos = max_;
            break;
        default: break;
        }
        std::int32_t top = pageSize_ > 0 ? max_ - pageSize_ + 1 : max_;
        pos = std::clamp(pos, min_, std::max(top, min_));
        Scroll(sc, pos);
        SetPosition(pos);
        return;
    }
    TWinControl::WndProc(m);
}

// --- TCustomGroupBox ---

void TCustomGroupBox::Publish(Table& t) { t.Property(RTL_GET_SET(ParentColor)).Default(true); }

void TGroupBox::Publish(Table& t) { t.Creatable(); }

TCustomGroupBox::TCustomGroupBox(rtl::TComponent* owner) : TCustomControl(owner)
{
    controlStyle_ = {csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption,
                     csOpaque,          csDoubleClicks, csReplicatable};
    SetBounds(0, 0, 185, 105);
}

int TCustomGroupBox::CaptionHeight()
{
    // Measured on the screen: aligning may come before the window exists.
    WindowDC screen(nullptr);
    SelectGuard font(screen.Get(), Font()->Handle());
    TEXTMETRICA tm{};
    ::GetTextMetricsA(screen.Get(), &tm);
    return tm.tmHeight;
}

void TCustomGroupBox::AlignControls(TControl* control, TRect& rect)
{
    rect.Top += CaptionHeight();
    rect.Left += 2;
    rect.Right -= 2;
    rect.Bottom -= 2;
    TCustomControl::AlignControls(control, rect);
}

void TCustomGroupBox::Paint()
{
    TCanvas& canvas = *Canvas();
    TRect r = ClientRect();
    canvas.Brush()->SetColor(Color());
    canvas.Brush()->SetStyle(bsSolid);
    canvas.FillRect(r);
    const int textHeight = CaptionHeight();
    // The frame runs through the middle of the caption's line.
    RECT frame{r.Left, r.Top + textHeight / 2, r.Right, r.Bottom};
    ::DrawEdge(canvas.Handle(), &frame, EDGE_ETCHED, BF_RECT);
    const std::string caption = Caption();
    if (caption.empty())
        return;
    TRect text = Rect(8, 0, 0, textHeight);
    canvas.DrawText(caption, text, DT_SINGLELINE | DT_CALCRECT);
    text.Right = std::min<int>(text.Right, r.Right - 8);
    canvas.Brush()->SetColor(Color());
    canvas.FillRect(text);
    canvas.Brush()->SetStyle(bsClear);
    if (!Enabled()) {
        TRect shifted = Rect(text.Left + 1, text.Top + 1, text.Right + 1, text.Bottom + 1);
        canvas.Font()->SetColor(clBtnHighlight);
        canvas.DrawText(caption, shifted, DT_SINGLELINE | DT_END_ELLIPSIS);
        canvas.Font()->SetColor(clBtnShadow);
    }
    canvas.DrawText(caption, text, DT_SINGLELINE | DT_END_ELLIPSIS);
}

}  // namespace win
