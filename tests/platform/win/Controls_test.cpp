// Control behaviour under Wine: replaceable window procedures across window recreation,
// subclassing by others, mouse enter and leave, owner drawing, auto-sizing and the string
// lists bound to memo and combo box windows.
#include "LocaleScope.h"
#include "MenuWatch.h"
#include "TestForms.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace win;
using namespace wintest;

namespace {

constexpr UINT kProbe = WM_APP + 17;

// A custom control that counts what its own WndProc saw.
class TProbeControl : public TCustomControl {
public:
    explicit TProbeControl(rtl::TComponent* owner) : TCustomControl(owner) { SetBounds(10, 10, 50, 40); }
    int ownProbes = 0;
    int paints = 0;
    void WndProc(TMessage& m) override
    {
        if (m.Msg == kProbe) {
            ++ownProbes;
            m.Result = 7;
            return;
        }
        TCustomControl::WndProc(m);
    }

protected:
    void Paint() override
    {
        ++paints;
        Canvas()->Brush()->SetColor(clRed);
        Canvas()->FillRect(ClientRect());
    }
};

// A probe whose memory outlives its deletion, filled with a pattern, so that any later call
// reaching the deleted control crashes rather than finding its old contents intact.
class TPoisonedProbe : public TProbeControl {
public:
    using TProbeControl::TProbeControl;
    static void operator delete(void* p, std::size_t size)
    {
        std::memset(p, 0xA5, size);
        grave = p;
    }
    static void* grave;  // freed by the test once it is done
};
void* TPoisonedProbe::grave = nullptr;

// An owner-drawn push button, as a colour button derives it.
class TOwnerButton : public TButton {
public:
    explicit TOwnerButton(rtl::TComponent* owner) : TButton(owner) {}
    int draws = 0;
    UINT lastState = 0;
    void WndProc(TMessage& m) override
    {
        if (m.Msg == CN_DRAWITEM) {
            auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
            ++draws;
            lastState = dis->itemState;
            ::FillRect(dis->hDC, &dis->rcItem, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
            m.Result = TRUE;
            return;
        }
        TButton::WndProc(m);
    }

protected:
    void CreateParams(TCreateParams& p) override
    {
        TButton::CreateParams(p);
        p.Style = (p.Style & ~static_cast<DWORD>(BS_TYPEMASK)) | BS_OWNERDRAW;
    }
};

struct Fixture {
    Fixture() : form(new TForm(Application))
    {
        form->SetBounds(50, 50, 300, 200);
        form->Show();
    }
    ~Fixture() { delete form; }
    TForm* form;
};

// A foreign subclass installed with SetWindowLongPtr, as window hooks of other components do.
WNDPROC foreignPrevious = nullptr;
int foreignSeen = 0;
LRESULT CALLBACK ForeignProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == kProbe)
        ++foreignSeen;
    return ::CallWindowProcA(foreignPrevious, wnd, msg, wParam, lParam);
}

}  // namespace

// --- window procedure hooks ---

TEST(WindowProcHooks, HooksBeforeAndAfterSurviveRecreateWnd)
{
    Fixture f;
    auto* probe = new TProbeControl(f.form);
    probe->SetParent(f.form);
    std::vector<std::string> order;
    TWndMethod own = probe->WindowProc;
    probe->WindowProc = [&, own](TMessage& m) {
        if (m.Msg == kProbe)
            order.push_back("first before");
        own(m);
        if (m.Msg == kProbe)
            order.push_back("first after");
    };
    TWndMethod firstHook = probe->WindowProc;
    probe->WindowProc = [&, firstHook](TMessage& m) {
        if (m.Msg == kProbe)
            order.push_back("second before");
        firstHook(m);
    };
    HWND before = probe->Handle();
    EXPECT_EQ(::SendMessageA(before, kProbe, 0, 0), 7);
    probe->RecreateWnd();
    HWND after = probe->Handle();
    ASSERT_TRUE(::IsWindow(after));
    EXPECT_FALSE(::IsWindow(before));
    EXPECT_EQ(::SendMessageA(after, kProbe, 0, 0), 7);
    EXPECT_EQ(probe->ownProbes, 2);
    EXPECT_EQ(order, (std::vector<std::string>{"second before", "first before", "first after",
                                               "second before", "first before", "first after"}));
}

TEST(WindowProcHooks, HookCanSwallowAMessageBeforeTheControl)
{
    Fixture f;
    auto* probe = new TProbeControl(f.form);
    probe->SetParent(f.form);
    TWndMethod own = probe->WindowProc;
    probe->WindowProc = [own](TMessage& m) {
        if (m.Msg == kProbe) {
            m.Result = 99;
            return;
        }
        own(m);
    };
    EXPECT_EQ(::SendMessageA(probe->Handle(), kProbe, 0, 0), 99);
    EXPECT_EQ(probe->ownProbes, 0);
}

TEST(WindowProcHooks, ForeignSubclassSeesMessagesAndReachesTheControl)
{
    Fixture f;
    auto* probe = new TProbeControl(f.form);
    probe->SetParent(f.form);
    HWND wnd = probe->Handle();
    foreignSeen = 0;
    foreignPrevious = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ForeignProc)));
    EXPECT_EQ(::SendMessageA(wnd, kProbe, 0, 0), 7);
    EXPECT_EQ(foreignSeen, 1);
    EXPECT_EQ(probe->ownProbes, 1);
    EXPECT_EQ(TWinControl::FindControl(wnd), probe);
}

TEST(WindowProcHooks, RecreatedFormKeepsChildrenAndTheirState)
{
    Fixture f;
    auto* edit = new TEdit(f.form);
    edit->SetParent(f.form);
    edit->SetBounds(5, 6, 100, 21);
    ::SetWindowTextA(edit->Handle(), "typed by the user");
    HWND oldEdit = edit->Handle();
    f.form->SetBorderStyle(bsDialog);  // a style change recreates the window
    ASSERT_TRUE(edit->HandleAllocated());
    EXPECT_NE(edit->Handle(), oldEdit);
    EXPECT_EQ(::GetParent(edit->Handle()), f.form->Handle());
    EXPECT_EQ(edit->Text(), "typed by the user");
    EXPECT_EQ(edit->Left(), 5);
    EXPECT_NE(::GetWindowLongA(f.form->Handle(), GWL_EXSTYLE) & WS_EX_DLGMODALFRAME, 0);
}

// --- mouse enter and leave ---

TEST(MouseTracking, EnterAndLeaveFollowTheMouseAcrossControls)
{
    Fixture f;
    auto* probe = new TProbeControl(f.form);
    probe->SetParent(f.form);
    auto* label = new TLabel(f.form);
    label->SetParent(f.form);
    label->SetBounds(100, 100, 40, 20);
    std::vector<std::string> events;
    probe->OnMouseEnter = [&](rtl::TObject*) { events.push_back("probe enter"); };
    probe->OnMouseLeave = [&](rtl::TObject*) { events.push_back("probe leave"); };
    label->OnMouseEnter = [&](rtl::TObject*) { events.push_back("label enter"); };
    label->OnMouseLeave = [&](rtl::TObject*) { events.push_back("label leave"); };
    ::SendMessageA(probe->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    ::SendMessageA(probe->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(6, 5));
    EXPECT_TRUE(probe->MouseInControl());
    ::SendMessageA(f.form->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(110, 105));
    EXPECT_FALSE(probe->MouseInControl());
    EXPECT_TRUE(label->MouseInControl());
    ::SendMessageA(f.form->Handle(), WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(events, (std::vector<std::string>{"probe enter", "probe leave", "label enter", "label leave"}));
}

TEST(MouseTracking, DestroyedControlUnderTheMouseIsForgotten)
{
    Fixture f;
    // The real pointer stays away, so only the messages sent here move the mouse.
    ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) - 1, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    Pump();
    auto* probe = new TPoisonedProbe(f.form);
    probe->SetParent(f.form);
    auto* label = new TLabel(f.form);
    label->SetParent(f.form);
    label->SetBounds(100, 100, 40, 20);
    std::vector<std::string> events;  // outlives both controls
    probe->OnMouseEnter = [&](rtl::TObject*) { events.push_back("probe enter"); };
    probe->OnMouseLeave = [&](rtl::TObject*) { events.push_back("probe leave"); };
    label->OnMouseEnter = [&](rtl::TObject*) { events.push_back("label enter"); };
    label->OnMouseLeave = [&](rtl::TObject*) { events.push_back("label leave"); };
    ::SendMessageA(probe->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    delete probe;
    // Moving onto the label enters it and must not tell the freed control that the mouse left it.
    ::SendMessageA(f.form->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(110, 105));
    EXPECT_TRUE(label->MouseInControl());
    EXPECT_EQ(events, (std::vector<std::string>{"probe enter", "label enter"}));
    ::operator delete(TPoisonedProbe::grave);
}

// --- painting ---

TEST(Painting, CustomControlPaintsThroughItsCanvas)
{
    Fixture f;
    auto* probe = new TProbeControl(f.form);
    probe->SetParent(f.form);
    probe->Repaint();
    EXPECT_GE(probe->paints, 1);
    HDC dc = ::GetDC(probe->Handle());
    COLORREF c = ::GetPixel(dc, 20, 20);
    ::ReleaseDC(probe->Handle(), dc);
    EXPECT_EQ(c, RGB(255, 0, 0));
}

TEST(Painting, CanvasOutsidePaintDrawsAndGivesItsDCBackWhenIdle)
{
    Fixture f;
    auto* probe = new TProbeControl(f.form);
    probe->SetParent(f.form);
    probe->Update();
    probe->Canvas()->Brush()->SetColor(clLime);
    probe->Canvas()->FillRect(Rect(0, 0, 5, 5));
    EXPECT_TRUE(probe->Canvas()->HandleAllocated());
    HDC dc = ::GetDC(probe->Handle());
    EXPECT_EQ(::GetPixel(dc, 2, 2), RGB(0, 255, 0));
    ::ReleaseDC(probe->Handle(), dc);
    FreeDeviceContexts();
    EXPECT_FALSE(probe->Canvas()->HandleAllocated());
    probe->RecreateWnd();  // a DC taken again must not outlive the old window
    probe->Canvas()->FillRect(Rect(0, 0, 5, 5));
    probe->RecreateWnd();
    EXPECT_FALSE(probe->Canvas()->HandleAllocated());
}

// A probe with a sunken client edge.
class TEdgedProbe : public TProbeControl {
public:
    using TProbeControl::TProbeControl;

protected:
    void CreateParams(TCreateParams& params) override
    {
        TProbeControl::CreateParams(params);
        params.ExStyle |= WS_EX_CLIENTEDGE;
    }
};

TEST(Painting, ABorderPaintedControlRepaintsItsFrameWhenInvalidated)
{
    for (bool borderPaint : {false, true}) {
        Fixture f;
        auto* probe = new TEdgedProbe(f.form);
        if (borderPaint)
            probe->SetControlStyle(probe->ControlStyle() + TControlStyle{csNeedsBorderPaint});
        probe->SetParent(f.form);
        probe->Repaint();
        HWND wnd = probe->Handle();
        HDC dc = ::GetWindowDC(wnd);
        const COLORREF edge = ::GetPixel(dc, 10, 0);
        ASSERT_NE(edge, RGB(0, 0, 255));
        // Something draws over the border, as over any part of the screen.
        const RECT top{0, 0, probe->Width(), 2};
        HBRUSH blue = ::CreateSolidBrush(RGB(0, 0, 255));
        ::FillRect(dc, &top, blue);
        ::DeleteObject(blue);
        ASSERT_EQ(::GetPixel(dc, 10, 0), RGB(0, 0, 255));
        ::ReleaseDC(wnd, dc);
        const int paints = probe->paints;
        probe->Invalidate();
        ::UpdateWindow(wnd);
        EXPECT_GT(probe->paints, paints);
        dc = ::GetWindowDC(wnd);
        EXPECT_EQ(::GetPixel(dc, 10, 0), borderPaint ? edge : RGB(0, 0, 255)) << borderPaint;
        ::ReleaseDC(wnd, dc);
    }
}

TEST(Painting, OwnerDrawnButtonGetsTheReflectedDrawItem)
{
    Fixture f;
    auto* button = new TOwnerButton(f.form);
    button->SetParent(f.form);
    button->SetBounds(10, 10, 80, 30);
    button->Repaint();
    EXPECT_GE(button->draws, 1);
    ::SendMessageA(button->Handle(), BM_CLICK, 0, 0);
    int clicks = 0;
    button->OnClick = [&](rtl::TObject*) { ++clicks; };
    ::SendMessageA(button->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 1);
}

TEST(Painting, GraphicChildIsPaintedByItsParentAtItsPosition)
{
    Fixture f;
    auto* image = new TImage(f.form);
    image->SetParent(f.form);
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf24bit);
    bitmap.SetSize(8, 6);
    bitmap.Canvas()->Brush()->SetColor(clBlue);
    bitmap.Canvas()->FillRect(Rect(0, 0, 8, 6));
    image->SetAutoSize(true);
    image->SetBounds(30, 40, 100, 100);
    image->Picture()->SetGraphic(&bitmap);
    EXPECT_EQ(image->Width(), 8) << "AutoSize takes the picture's size";
    EXPECT_EQ(image->Height(), 6);
    f.form->Repaint();
    HDC dc = ::GetDC(f.form->Handle());
    COLORREF inside = ::GetPixel(dc, 33, 42);
    COLORREF outside = ::GetPixel(dc, 39, 42);
    ::ReleaseDC(f.form->Handle(), dc);
    EXPECT_EQ(inside, RGB(0, 0, 255));
    EXPECT_NE(outside, RGB(0, 0, 255));
}

TEST(Painting, StretchedAndCentredImageRectangles)
{
    Fixture f;
    auto* image = new TImage(f.form);
    image->SetParent(f.form);
    image->SetBounds(0, 0, 100, 50);
    TBitmap bitmap;
    bitmap.SetSize(20, 20);
    image->Picture()->SetGraphic(&bitmap);
    image->SetCenter(true);
    EXPECT_EQ(image->DestRect(), Rect(40, 15, 60, 35));
    image->SetStretch(true);
    EXPECT_EQ(image->DestRect(), Rect(0, 0, 100, 50));
    image->SetProportional(true);
    EXPECT_EQ(image->DestRect(), Rect(25, 0, 75, 50));
}

// --- labels ---

TEST(Labels, AutoSizeFollowsTheTextAndRightAlignedGrowsLeft)
{
    Fixture f;
    auto* label = new TLabel(f.form);
    label->SetParent(f.form);
    label->SetCaption("x");
    int narrow = label->Width();
    label->SetCaption("a much longer caption");
    EXPECT_GT(label->Width(), narrow);
    EXPECT_GT(label->Height(), 0);
    label->SetAutoSize(false);
    label->SetBounds(100, 10, 50, 20);
    label->SetAlignment(taRightJustify);
    label->SetCaption("wide text here");
    EXPECT_EQ(label->Width(), 50) << "without AutoSize the size stays";
    label->SetAutoSize(true);
    EXPECT_EQ(label->Left() + label->Width(), 150) << "right-aligned labels keep their right edge";
}

TEST(Labels, OpaqueLabelFillsItsColourAndTransparentLeavesTheParents)
{
    Fixture f;
    f.form->SetColor(clWhite);
    auto* opaque = new TLabel(f.form);
    opaque->SetParent(f.form);
    opaque->SetAutoSize(false);
    opaque->SetBounds(10, 10, 60, 20);
    opaque->SetCaption("");
    opaque->SetColor(clYellow);
    auto* clear = new TLabel(f.form);
    clear->SetParent(f.form);
    clear->SetAutoSize(false);
    clear->SetBounds(10, 40, 60, 20);
    clear->SetCaption("");
    clear->SetColor(clYellow);
    clear->SetTransparent(true);
    f.form->Repaint();
    HDC dc = ::GetDC(f.form->Handle());
    COLORREF a = ::GetPixel(dc, 40, 20);
    COLORREF b = ::GetPixel(dc, 40, 50);
    ::ReleaseDC(f.form->Handle(), dc);
    EXPECT_EQ(a, RGB(255, 255, 0));
    EXPECT_EQ(b, RGB(255, 255, 255));
}

TEST(Labels, LabelTakesItsParentsColourUntilGivenItsOwn)
{
    Fixture f;
    f.form->SetColor(clTeal);
    auto* label = new TLabel(f.form);
    label->SetParent(f.form);
    EXPECT_TRUE(label->ParentColor());
    EXPECT_EQ(label->Color(), clTeal);
    f.form->SetColor(clOlive);
    EXPECT_EQ(label->Color(), clOlive) << "a parent's colour change reaches the child";
    label->SetColor(clRed);
    EXPECT_FALSE(label->ParentColor());
    f.form->SetColor(clGreen);
    EXPECT_EQ(label->Color(), clRed);
    auto* edit = new TEdit(f.form);
    edit->SetParent(f.form);
    EXPECT_EQ(edit->Color(), clWindow) << "edits keep the window colour";
}

TEST(Labels, EmptyAutoSizedLabelKeepsALineHeight)
{
    Fixture f;
    auto* label = new TLabel(f.form);
    label->SetParent(f.form);
    label->SetCaption("");
    EXPECT_GT(label->Height(), 0);
}

// --- memo and combo box lists ---

TEST(MemoLines, LinesReadAndWriteTheWindowText)
{
    Fixture f;
    auto* memo = new TMemo(f.form);
    memo->SetParent(f.form);
    memo->Lines()->Add("one");
    memo->Lines()->Add("two");
    char text[64] = {};
    ::GetWindowTextA(memo->Handle(), text, sizeof text);
    EXPECT_STREQ(text, "one\r\ntwo");
    memo->Lines()->Insert(1, "middle");
    EXPECT_EQ(memo->Lines()->Count(), 3);
    EXPECT_EQ(memo->Lines()->Get(1), "middle");
    memo->Lines()->Delete(0);
    EXPECT_EQ(memo->Text(), "middle\r\ntwo");
    EXPECT_THROW(memo->Lines()->Get(5), rtl::Exception);
    memo->Lines()->SetText("a\nb\n");
    EXPECT_EQ(memo->Text(), "a\r\nb");
    memo->Lines()->Clear();
    EXPECT_EQ(memo->Lines()->Count(), 0);
}

TEST(MemoLines, LinesSurviveAScrollBarChange)
{
    Fixture f;
    auto* memo = new TMemo(f.form);
    memo->SetParent(f.form);
    memo->Lines()->Add("kept");
    memo->Lines()->Add("lines");
    HWND old = memo->Handle();
    memo->SetScrollBars(ssVertical);
    EXPECT_NE(memo->Handle(), old);
    EXPECT_NE(::GetWindowLongA(memo->Handle(), GWL_STYLE) & WS_VSCROLL, 0);
    EXPECT_EQ(memo->Lines()->Count(), 2);
    EXPECT_EQ(memo->Lines()->Get(1), "lines");
}

TEST(MemoLines, ABurstOfAddedLinesReachesTheWindowInOneWriteAndReadsSeeItAtOnce)
{
    Fixture f;
    auto* memo = new TMemo(f.form);
    memo->SetParent(f.form);
    memo->SetWordWrap(false);
    memo->SetScrollBars(ssBoth);
    memo->Lines()->Add("first");
    int writes = 0;
    memo->OnChange = [&](rtl::TObject*) { ++writes; };
    // Indexes as a list gives them, an empty line included.
    EXPECT_EQ(memo->Lines()->Add("second"), 1);
    EXPECT_EQ(memo->Lines()->Add(""), 2);
    EXPECT_EQ(memo->Lines()->Add("third"), 2);
    EXPECT_EQ(writes, 0) << "held back for the burst";
    ASSERT_TRUE(PumpUntil([&] { return writes > 0; })) << "the burst never reached the window";
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(memo->Text(), "first\r\nsecond\r\nthird");
    // Anything that reads the window sees the lines added just before.
    memo->Lines()->Add("fourth");
    char text[64] = {};
    ::GetWindowTextA(memo->Handle(), text, sizeof text);
    EXPECT_STREQ(text, "first\r\nsecond\r\nthird\r\nfourth");
    memo->Lines()->Add("fifth");
    EXPECT_EQ(memo->Lines()->Count(), 5);
    EXPECT_EQ(memo->Lines()->Get(4), "fifth");
    // So does a window made again, and a memo about to go.
    memo->Lines()->Add("sixth");
    memo->SetScrollBars(ssVertical);
    EXPECT_EQ(memo->Lines()->Get(5), "sixth");
    memo->Lines()->Add("seventh");
    delete memo;
}

TEST(MemoLines, TypedTextAndAddedLinesKeepTheirOrder)
{
    Fixture f;
    auto* memo = new TMemo(f.form);
    memo->SetParent(f.form);
    memo->Lines()->Add("one");
    memo->Lines()->Add("two");
    // A key typed into the window comes after what was added before it.
    ::SendMessageA(memo->Handle(), WM_CHAR, '!', 1);
    memo->Lines()->Add("three");
    EXPECT_EQ(memo->Lines()->Get(1), "two!");
    EXPECT_EQ(memo->Lines()->Get(2), "three");
}

TEST(ComboItems, ItemsAndSelectionSurviveAStyleChange)
{
    Fixture f;
    auto* combo = new TComboBox(f.form);
    combo->SetParent(f.form);
    combo->Items()->Add("alpha");
    combo->Items()->Add("beta");
    combo->Items()->Add("gamma");
    combo->SetItemIndex(2);
    EXPECT_EQ(combo->Text(), "gamma");
    combo->SetStyle(csDropDownList);
    EXPECT_EQ(::SendMessageA(combo->Handle(), CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(combo->ItemIndex(), 2);
    combo->Items()->Delete(0);
    EXPECT_EQ(::SendMessageA(combo->Handle(), CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(combo->Items()->IndexOf("beta"), 0);
    combo->SetItemIndex(7);
    EXPECT_EQ(combo->ItemIndex(), -1) << "an index out of range selects nothing";
}

TEST(ComboItems, OwnerDrawnComboMeasuresEachItemAndDrawsTheSelection)
{
    Fixture f;
    auto* combo = new TComboBox(f.form);
    combo->SetStyle(csOwnerDrawVariable);
    combo->Items()->Add("short");
    combo->Items()->Add("tall");
    std::vector<int> measured;
    std::vector<int> drawn;
    combo->OnMeasureItem = [&](TWinControl* control, std::int32_t index, std::int32_t& height) {
        EXPECT_EQ(control, combo);
        measured.push_back(index);
        height = index == 1 ? 30 : 14;
    };
    combo->OnDrawItem = [&](TWinControl*, std::int32_t index, TRect, TOwnerDrawState state) {
        drawn.push_back(index);
    };
    combo->SetParent(f.form);  // the window and its items are made now
    combo->SetItemIndex(1);
    combo->Repaint();
    EXPECT_EQ(measured, (std::vector<int>{0, 1}));
    EXPECT_EQ(::SendMessageA(combo->Handle(), CB_GETITEMHEIGHT, 1, 0), 30);
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(drawn.back(), 1);
}

TEST(ComboItems, TypingCompletesFromTheItemsAndKeysReachTheEvents)
{
    Fixture f;
    auto* combo = new TComboBox(f.form);
    combo->SetParent(f.form);
    combo->Items()->Add("C:\\Program Files\\Zantic\\");
    combo->Items()->Add("D:\\Data\\");
    std::string keys;
    combo->OnKeyPress = [&](rtl::TObject*, char& key) { keys += key; };
    std::vector<std::string> changes;
    combo->OnChange = [&](rtl::TObject*) { changes.push_back(combo->Text()); };
    HWND edit = combo->EditHandle();
    ASSERT_NE(edit, nullptr);
    for (char c : std::string("c:\\pro"))
        ::SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 0);
    EXPECT_EQ(keys, "c:\\pro");
    EXPECT_EQ(combo->Text(), "C:\\Program Files\\Zantic\\");
    DWORD start = 0, end = 0;
    ::SendMessageA(combo->Handle(), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 6u) << "the completed part is selected";
    EXPECT_EQ(end, 24u);
    EXPECT_EQ(changes.back(), "C:\\Program Files\\Zantic\\");
    // Backspace removes the selection and does not complete again.
    ::SendMessageA(edit, WM_CHAR, VK_BACK, 0);
    EXPECT_EQ(combo->Text(), "C:\\Pro");
    combo->AutoComplete = false;
    ::SendMessageA(edit, WM_CHAR, 'g', 0);
    EXPECT_EQ(combo->Text(), "C:\\Prog");
}

TEST(ComboItems, ClearingTheItemsKeepsTheTypedText)
{
    Fixture f;
    auto* combo = new TComboBox(f.form);
    combo->SetParent(f.form);
    combo->Items()->Add("C:\\one\\");
    combo->SetText("D:\\typed\\");
    combo->Items()->Clear();
    EXPECT_EQ(combo->Items()->Count(), 0);
    EXPECT_EQ(combo->Text(), "D:\\typed\\");
}

// --- parenting and visibility ---

TEST(Parenting, ControlsMoveBetweenParentsAndDieWithThem)
{
    Fixture f;
    auto* panel = new TPanel(f.form);
    panel->SetParent(f.form);
    auto* edit = new TEdit(f.form);
    edit->SetParent(f.form);
    HWND wnd = edit->Handle();
    edit->SetParent(panel);
    EXPECT_EQ(panel->ControlCount(), 1);
    EXPECT_EQ(f.form->ControlCount(), 1);
    EXPECT_EQ(::GetParent(edit->Handle()), panel->Handle());
    (void)wnd;
    int before = f.form->ComponentCount();
    delete panel;
    EXPECT_EQ(f.form->ComponentCount(), before - 2) << "children are freed with their parent";
}

TEST(Parenting, AlignClientFillsWhatTopAndBottomLeave)
{
    Fixture f;
    auto* top = new TPanel(f.form);
    top->SetParent(f.form);
    top->SetHeight(30);
    top->SetAlign(alTop);
    auto* client = new TPanel(f.form);
    client->SetParent(f.form);
    client->SetAlign(alClient);
    TRect r = f.form->ClientRect();
    EXPECT_EQ(top->Width(), r.Width());
    EXPECT_EQ(client->Top(), 30);
    EXPECT_EQ(client->Height(), r.Height() - 30);
    auto* inner = new TPanel(f.form);
    inner->SetParent(client);
    inner->SetHeight(12);
    inner->SetAlign(alBottom);
    f.form->SetWidth(f.form->Width() + 40);
    EXPECT_EQ(client->Width(), f.form->ClientWidth());
    // Nested alignment follows too: the panel's own child spans its new width.
    EXPECT_EQ(inner->Width(), client->ClientWidth() - 2) << "inside the one-pixel bevel";
    EXPECT_EQ(inner->Top() + inner->Height(), client->ClientHeight() - 1);
}

TEST(Parenting, HidingAndDisablingReachTheWindow)
{
    Fixture f;
    auto* edit = new TEdit(f.form);
    edit->SetParent(f.form);
    edit->SetVisible(false);
    EXPECT_FALSE(::IsWindowVisible(edit->Handle()));
    edit->SetVisible(true);
    EXPECT_TRUE(::IsWindowVisible(edit->Handle()));
    edit->SetEnabled(false);
    EXPECT_FALSE(::IsWindowEnabled(edit->Handle()));
    EXPECT_FALSE(edit->CanFocus());
}

// --- menus ---

TEST(Menus, OwnerDrawnItemDrawsThroughTheMenuCanvas)
{
    Fixture f;
    auto* menu = new TPopupMenu(f.form);
    menu->SetOwnerDraw(true);
    auto* item = new TMenuItem(f.form);
    item->SetCaption("Open");
    menu->Items()->Add(item);
    bool selectedSeen = false;
    TRect rectSeen;
    item->OnDrawItem = [&](rtl::TObject*, TCanvas* canvas, TRect rect, bool selected) {
        selectedSeen = selected;
        rectSeen = rect;
        canvas->Brush()->SetColor(clRed);
        canvas->FillRect(rect);
    };
    TBitmap target;
    target.SetPixelFormat(pf24bit);
    target.SetSize(50, 20);
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_MENU;
    dis.itemID = item->Command();
    dis.itemState = ODS_SELECTED;
    dis.hDC = target.Canvas()->Handle();
    dis.rcItem = RECT{0, 0, 50, 20};
    EXPECT_EQ(::SendMessageA(f.form->Handle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis)), TRUE);
    EXPECT_TRUE(selectedSeen);
    EXPECT_EQ(rectSeen, Rect(0, 0, 50, 20));
    EXPECT_EQ(target.Canvas()->Pixels(10, 10), clRed);
}

TEST(Menus, RejectsAnItemInTwoPlacesOrInsideItself)
{
    TMainMenu menu(nullptr);
    auto* file = new TMenuItem(nullptr);
    auto* open = new TMenuItem(nullptr);
    menu.Items()->Add(file);
    file->Add(open);
    EXPECT_THROW(menu.Items()->Add(open), rtl::EInvalidOperation);
    file->Remove(open);
    EXPECT_THROW(open->Add(open), rtl::EInvalidOperation);
    EXPECT_THROW(file->Insert(5, open), rtl::EListError);
    file->Add(open);
    EXPECT_EQ(open->GetParentMenu(), &menu);
    delete file;  // frees its sub-item too
    EXPECT_EQ(menu.Items()->Count(), 0);
}

TEST(Menus, RadioItemsUncheckTheirGroup)
{
    TPopupMenu menu(nullptr);
    auto* a = new TMenuItem(nullptr);
    auto* b = new TMenuItem(nullptr);
    for (TMenuItem* i : {a, b}) {
        i->SetRadioItem(true);
        i->GroupIndex = 1;
        menu.Items()->Add(i);
    }
    a->SetChecked(true);
    b->SetChecked(true);
    EXPECT_FALSE(a->Checked());
    EXPECT_TRUE(b->Checked());
}

// --- bad arguments ---

TEST(BadArguments, RejectedWithoutDamage)
{
    Fixture f;
    auto* panel = new TPanel(f.form);
    EXPECT_THROW(panel->SetParent(panel), rtl::EInvalidOperation);
    auto* bar = new TScrollBar(f.form);
    bar->SetParent(f.form);
    EXPECT_THROW(bar->SetParams(5, 10, 0), rtl::EInvalidOperation);
    EXPECT_EQ(bar->Max(), 100);
    EXPECT_THROW(f.form->Controls(99), rtl::EListError);
    EXPECT_THROW(Screen->Forms(-1), rtl::EListError);
    TSizeConstraints c(nullptr);
    c.SetMaxWidth(100);
    c.SetMinWidth(150);
    EXPECT_EQ(c.MaxWidth(), 150) << "a minimum above the maximum raises the maximum";
    auto* child = new TEdit(f.form);
    child->SetParent(nullptr);
    EXPECT_THROW(child->Handle(), rtl::EInvalidOperation) << "a child window needs a parent";
}

// --- image lists ---

TEST(ImageLists, MaskedImagesDrawWithoutTheirMaskColour)
{
    TImageList list(nullptr);
    list.SetSize(4, 4);
    // Two images side by side: magenta frame around a red (first) or blue (second) centre.
    TBitmap strip;
    strip.SetPixelFormat(pf24bit);
    strip.SetSize(9, 4);  // the ninth column is a partial strip and is dropped
    strip.Canvas()->Brush()->SetColor(clFuchsia);
    strip.Canvas()->FillRect(Rect(0, 0, 9, 4));
    strip.Canvas()->Brush()->SetColor(clRed);
    strip.Canvas()->FillRect(Rect(1, 1, 3, 3));
    strip.Canvas()->Brush()->SetColor(clBlue);
    strip.Canvas()->FillRect(Rect(5, 1, 7, 3));
    EXPECT_EQ(list.AddMasked(&strip, clFuchsia), 0);
    EXPECT_EQ(list.Count(), 2);
    TBitmap target;
    target.SetPixelFormat(pf24bit);
    target.SetSize(10, 10);
    target.Canvas()->Brush()->SetColor(clWhite);
    target.Canvas()->FillRect(Rect(0, 0, 10, 10));
    list.Draw(target.Canvas(), 2, 2, 1);
    EXPECT_EQ(target.Canvas()->Pixels(3, 3), clBlue);
    EXPECT_EQ(target.Canvas()->Pixels(2, 2), clWhite) << "the mask colour stays transparent";
    EXPECT_THROW(list.Draw(target.Canvas(), 0, 0, 2), rtl::EListError);
    EXPECT_THROW(list.SetSize(0, 4), rtl::EInvalidOperation);
    TBitmap tiny;
    tiny.SetSize(2, 2);
    EXPECT_THROW(list.AddMasked(&tiny, clFuchsia), rtl::EInvalidOperation) << "narrower than one image";
    list.SetSize(8, 8);
    EXPECT_EQ(list.Count(), 0) << "a new size empties the list";
}

// --- tool bars ---

namespace {

struct MenuBarFixture : Fixture {
    MenuBarFixture()
    {
        menu = new TMainMenu(form);
        file = new TMenuItem(form);
        file->SetCaption("&File");
        open = new TMenuItem(form);
        open->SetCaption("&Open");
        file->Add(open);
        help = new TMenuItem(form);
        help->SetCaption("Help");
        menu->Items()->Add(file);
        menu->Items()->Add(help);
        bar = new TToolBar(form);
        bar->SetFlat(true);
        bar->SetShowCaptions(true);
        bar->SetEdgeBorders({});
        bar->SetParent(form);
    }
    TMainMenu* menu;
    TMenuItem* file;
    TMenuItem* open;
    TMenuItem* help;
    TToolBar* bar;
};

}  // namespace

TEST(ToolBars, MenuMakesOneCaptionedButtonPerTopLevelItem)
{
    MenuBarFixture f;
    f.bar->SetMenu(f.menu);
    ASSERT_EQ(f.bar->ButtonCount(), 2);
    TToolButton* first = f.bar->Buttons(0);
    TToolButton* second = f.bar->Buttons(1);
    EXPECT_EQ(first->Caption(), "&File");
    EXPECT_EQ(first->MenuItem(), f.file);
    EXPECT_EQ(first->Left(), 0);
    EXPECT_EQ(second->Left(), first->Width()) << "buttons sit side by side";
    EXPECT_GE(first->Width(), f.bar->ButtonWidth());
    EXPECT_EQ(first->Height(), f.bar->ButtonHeight());
    f.bar->SetMenu(f.menu);  // rebuilding replaces the menu buttons
    EXPECT_EQ(f.bar->ButtonCount(), 2);
    f.bar->SetMenu(nullptr);
    EXPECT_EQ(f.bar->ButtonCount(), 0);
}

TEST(ToolBars, NarrowBarWrapsAndAutoSizeGrows)
{
    MenuBarFixture f;
    f.bar->SetAlign(alNone);
    f.bar->SetAutoSize(true);
    f.bar->SetMenu(f.menu);
    f.bar->SetWidth(f.bar->Buttons(0)->Width() + 5);
    EXPECT_EQ(f.bar->Buttons(1)->Left(), 0);
    EXPECT_EQ(f.bar->Buttons(1)->Top(), f.bar->ButtonHeight());
    EXPECT_EQ(f.bar->Height(), 2 * f.bar->ButtonHeight());
    f.bar->SetWrapable(false);
    EXPECT_EQ(f.bar->Buttons(1)->Top(), 0);
    EXPECT_EQ(f.bar->Height(), f.bar->ButtonHeight());
}

TEST(ToolBars, CustomDrawSeesHotButtonsInBarCoordinates)
{
    MenuBarFixture f;
    f.bar->SetMenu(f.menu);
    std::vector<std::pair<TToolButton*, TCustomDrawState>> calls;
    f.bar->OnCustomDrawButton = [&](TToolBar* sender, TToolButton* button, TCustomDrawState state,
                                    bool& defaultDraw) {
        calls.emplace_back(button, state);
        sender->Canvas()->Brush()->SetColor(state.Contains(cdsHot) ? clRed : clNavy);
        sender->Canvas()->FillRect(button->BoundsRect());
        defaultDraw = false;
    };
    TToolButton* second = f.bar->Buttons(1);
    ::SendMessageA(f.bar->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(second->Left() + 3, 3));
    f.bar->Repaint();
    ASSERT_GE(calls.size(), 2u);
    bool hotSeen = false;
    for (auto& c : calls)
        if (c.first == second && c.second.Contains(cdsHot))
            hotSeen = true;
    EXPECT_TRUE(hotSeen);
    HDC dc = ::GetDC(f.bar->Handle());
    COLORREF hot = ::GetPixel(dc, second->Left() + 2, 2);
    COLORREF cold = ::GetPixel(dc, 2, 2);
    ::ReleaseDC(f.bar->Handle(), dc);
    EXPECT_EQ(hot, RGB(255, 0, 0));
    EXPECT_EQ(cold, RGB(0, 0, 128));
}

TEST(ToolBars, ButtonsRunTheirItemOrOpenItsMenu)
{
    MenuBarFixture f;
    f.bar->SetMenu(f.menu);
    int helpClicks = 0, opened = 0;
    f.help->OnClick = [&](rtl::TObject*) { ++helpClicks; };
    f.open->OnClick = [&](rtl::TObject*) { ++opened; };
    TToolButton* helpButton = f.bar->Buttons(1);
    LPARAM at = MAKELPARAM(helpButton->Left() + 3, 3);
    ::SendMessageA(f.bar->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageA(f.bar->Handle(), WM_LBUTTONUP, 0, at);
    EXPECT_EQ(helpClicks, 1);
    // The File menu runs its own loop; a timer closes it again.
    TTimer closer(nullptr);
    closer.SetInterval(80);
    closer.OnTimer = [](rtl::TObject*) { ::EndMenu(); };
    DWORD start = ::GetTickCount();
    ::SendMessageA(f.bar->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    ::SendMessageA(f.bar->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_GE(::GetTickCount() - start, 50u) << "the menu was open until the timer closed it";
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(helpClicks, 1);
}

// --- reading order ---

namespace {

DWORD ExStyleOf(TWinControl* c) { return static_cast<DWORD>(::GetWindowLongA(c->Handle(), GWL_EXSTYLE)); }

}  // namespace

TEST(ReadingOrder, EachModeReachesTheWindowOnlyOnARightToLeftLocale)
{
    struct Case {
        TBiDiMode mode;
        bool locale;
        bool reading, right, leftBar;
    };
    const Case cases[] = {
        {bdLeftToRight, true, false, false, false},
        {bdRightToLeft, true, true, true, true},
        {bdRightToLeftNoAlign, true, true, false, true},
        {bdRightToLeftReadingOnly, true, true, false, false},
        {bdRightToLeft, false, false, false, false},
        {bdRightToLeftReadingOnly, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + (c.locale ? " on a right-to-left locale" : " elsewhere"));
        LocaleScope locale(c.locale);
        Fixture f;
        auto* memo = new TMemo(f.form);
        memo->SetBounds(10, 10, 150, 100);
        memo->SetScrollBars(ssVertical);
        memo->SetParent(f.form);
        memo->SetBiDiMode(c.mode);
        EXPECT_EQ(memo->UseRightToLeftReading(), c.reading);
        EXPECT_EQ(memo->UseRightToLeftAlignment(), c.right);
        EXPECT_EQ(memo->UseRightToLeftScrollBar(), c.leftBar);
        const DWORD ex = ExStyleOf(memo);
        EXPECT_EQ((ex & WS_EX_RTLREADING) != 0, c.reading);
        EXPECT_EQ((ex & WS_EX_RIGHT) != 0, c.right);
        EXPECT_EQ((ex & WS_EX_LEFTSCROLLBAR) != 0, c.leftBar);
        // The system puts the edit's own bar where the style says.
        SCROLLBARINFO info{};
        info.cbSize = sizeof info;
        ASSERT_TRUE(::GetScrollBarInfo(memo->Handle(), OBJID_VSCROLL, &info));
        RECT w;
        ::GetWindowRect(memo->Handle(), &w);
        const int middle = (w.left + w.right) / 2;
        EXPECT_EQ(info.rcScrollBar.right <= middle, c.leftBar) << "the vertical bar on the left";
    }
}

// Read from a description or set later, a mode reaches the children that follow their parent,
// their windows made anew with its styles; a child with a mode of its own keeps it.
TEST(ReadingOrder, ChildrenFollowTheirParentUntilGivenTheirOwn)
{
    LocaleScope locale(true);
    std::unique_ptr<TForm> form(new TForm(Application));
    ReadText(*form,
             "object BiDiForm: TForm\n"
             "  BiDiMode = bdRightToLeft\n"
             "  object Edit1: TEdit\n  end\n"
             "  object Edit2: TEdit\n    Top = 40\n    BiDiMode = bdLeftToRight\n  end\n"
             "end\n");
    auto* edit1 = static_cast<TEdit*>(form->FindComponent("Edit1"));
    auto* edit2 = static_cast<TEdit*>(form->FindComponent("Edit2"));
    form->Show();
    EXPECT_EQ(edit1->BiDiMode(), bdRightToLeft);
    EXPECT_NE(ExStyleOf(edit1) & WS_EX_RIGHT, 0u);
    EXPECT_FALSE(edit2->ParentBiDiMode());
    EXPECT_EQ(ExStyleOf(edit2) & (WS_EX_RTLREADING | WS_EX_RIGHT), 0u);
    HWND before = edit1->Handle();
    form->SetBiDiMode(bdRightToLeftReadingOnly);
    EXPECT_NE(edit1->Handle(), before) << "made anew";
    EXPECT_EQ(ExStyleOf(edit1) & (WS_EX_RTLREADING | WS_EX_RIGHT), static_cast<DWORD>(WS_EX_RTLREADING));
    EXPECT_EQ(edit2->BiDiMode(), bdLeftToRight) << "a mode of its own stays";
    edit2->SetParentBiDiMode(true);
    EXPECT_EQ(edit2->BiDiMode(), bdRightToLeftReadingOnly) << "following again takes the parent's at once";
    auto* late = new TEdit(form.get());
    late->SetParent(form.get());
    EXPECT_EQ(late->BiDiMode(), bdRightToLeftReadingOnly) << "a control put on later takes it too";
}

TEST(ReadingOrder, TextFlagsSwapTheSidesAndReadRightToLeft)
{
    struct Case {
        TBiDiMode mode;
        UINT in, out;
    };
    const Case cases[] = {
        {bdLeftToRight, DT_LEFT, DT_LEFT},
        {bdLeftToRight, DT_RIGHT | DT_SINGLELINE, DT_RIGHT | DT_SINGLELINE},
        {bdRightToLeft, DT_LEFT, DT_RIGHT | DT_RTLREADING},
        {bdRightToLeft, DT_RIGHT | DT_VCENTER, DT_LEFT | DT_VCENTER | DT_RTLREADING},
        {bdRightToLeft, DT_CENTER | DT_WORDBREAK, DT_CENTER | DT_WORDBREAK | DT_RTLREADING},
        {bdRightToLeftNoAlign, DT_LEFT | DT_PATH_ELLIPSIS, DT_LEFT | DT_PATH_ELLIPSIS | DT_RTLREADING},
        {bdRightToLeftReadingOnly, DT_RIGHT, DT_RIGHT | DT_RTLREADING},
    };
    TLabel label(nullptr);
    for (const Case& c : cases) {
        label.SetBiDiMode(c.mode);
        {
            LocaleScope locale(true);
            EXPECT_EQ(label.BiDiTextFlags(c.in), c.out) << c.mode << " " << c.in;
        }
        LocaleScope locale(false);
        EXPECT_EQ(label.BiDiTextFlags(c.in), c.in) << "no change on other locales";
    }
}

// --- hot keys ---

namespace {

std::string SystemText(HMENU menu, int position)
{
    char text[64] = {};
    ::GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof text, MF_BYPOSITION);
    return text;
}

}  // namespace

TEST(Menus, AutomaticHotKeysReachOnlyTheSystemsMenu)
{
    struct Case {
        const char* caption;
        const char* automatic;
    };
    // One level: the keys marked already are taken first, then each caption takes its first free
    // letter or digit; "&&" is a plain ampersand, and a caption with no free character stays.
    const Case cases[] = {{"&File", "&File"}, {"Edit", "&Edit"},     {"Exit", "E&xit"},
                          {"-", ""},          {"&&Save", "&&&Save"}, {"fix", "f&ix"},
                          {"EX", "EX"},       {"2 up", "&2 up"},     {"Close", "&Close"}};
    TPopupMenu menu(nullptr);
    std::vector<TMenuItem*> items;
    for (const Case& c : cases) {
        auto* item = new TMenuItem(&menu);
        item->SetCaption(c.caption);
        menu.Items()->Add(item);
        items.push_back(item);
    }
    // A sub-menu is a level of its own: its keys do not clash with its parent's.
    auto* sub = new TMenuItem(&menu);
    sub->SetCaption("File");
    items[0]->Add(sub);
    for (TMenuAutoFlag flag : {maAutomatic, maManual}) {
        menu.AutoHotkeys = flag;
        menu.MenuChanged();
        HMENU handle = menu.Handle();
        for (size_t i = 0; i < std::size(cases); ++i) {
            const std::string expected = flag == maAutomatic ? cases[i].automatic : cases[i].caption;
            if (items[i]->IsLine())
                continue;
            EXPECT_EQ(SystemText(handle, static_cast<int>(i)), expected) << cases[i].caption;
            EXPECT_EQ(items[i]->Caption(), cases[i].caption) << "the caption itself stays";
        }
        EXPECT_EQ(SystemText(::GetSubMenu(handle, 0), 0), flag == maAutomatic ? "&File" : "File");
    }
}

TEST(ToolBars, ADroppedDownMenuComesFromAPopupTheBarTakesInForTheWhile)
{
    MenuBarFixture f;
    f.menu->AutoHotkeys = maManual;
    auto* save = new TMenuItem(f.form);
    save->SetCaption("Save");
    f.file->Add(save);
    f.bar->SetMenu(f.menu);
    TPopupMenu* seen = nullptr;
    std::string firstText, secondText;
    MenuWatch watch([&](HWND menuWnd) {
        seen = HeldPopup(*f.bar);
        HMENU shown = reinterpret_cast<HMENU>(::SendMessageA(menuWnd, MN_GETHMENU, 0, 0));
        firstText = SystemText(shown, 0);
        secondText = SystemText(shown, 1);
        if (seen) {
            EXPECT_EQ(seen->Items()->Count(), 2);
            EXPECT_EQ(f.file->Count(), 0) << "the items drop down from the bar's popup";
            EXPECT_EQ(seen->AutoHotkeys, maAutomatic) << "the plain bar leaves the popup as it is made";
        }
    });
    f.bar->TrackMenu(f.bar->Buttons(0));
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(firstText, "&Open");
    EXPECT_EQ(secondText, "&Save") << "the popup's own hot keys";
    // Afterwards the items are the menu's again and the popup is gone.
    ASSERT_EQ(f.file->Count(), 2);
    EXPECT_EQ(f.file->Items(0), f.open);
    EXPECT_EQ(f.file->Items(1), save);
    EXPECT_EQ(HeldPopup(*f.bar), nullptr);
}
