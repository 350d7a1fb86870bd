// Page control with tab sheets, check box, group box, up-down, progress bar and the track bar's
// thumb, read from a description and driven with the messages a user's input produces.
#include "TestForms.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using namespace win;
using namespace wintest;

namespace {

#define PAGES_FORM_COMPONENTS(X) \
    X(TPageControl, Pages)       \
    X(TTabSheet, SheetA)         \
    X(TCheckBox, CheckA)         \
    X(TGroupBox, GroupA)         \
    X(TEdit, EditA)              \
    X(TUpDown, UpDownA)          \
    X(TTabSheet, SheetB)         \
    X(TTrackBar, TrackB)         \
    X(TTabSheet, SheetHidden)    \
    X(TTabSheet, SheetC)         \
    X(TProgressBar, Progress)

class TPagesForm : public TForm {
    RTL_DECLARE_CLASS(TPagesForm, TForm)

public:
    explicit TPagesForm(rtl::TComponent* owner) : TForm(owner) {}
    PAGES_FORM_COMPONENTS(RTL_DECLARE_FIELD)
};

void TPagesForm::Publish(Table& t)
{
    PAGES_FORM_COMPONENTS(RTL_PUBLISH_FIELD)
    t.Creatable();
}

const char* const kPagesFormText = R"(object PagesForm: TPagesForm
  Left = 0
  Top = 0
  Caption = 'Pages'
  ClientHeight = 300
  ClientWidth = 400
  Position = poScreenCenter
  object Pages: TPageControl
    Left = 8
    Top = 8
    Width = 384
    Height = 240
    ActivePage = SheetB
    object SheetA: TTabSheet
      Caption = 'First'
      object CheckA: TCheckBox
        Left = 8
        Top = 8
        Width = 120
        Height = 17
        Caption = 'Check me'
        State = cbChecked
      end
      object GroupA: TGroupBox
        Left = 8
        Top = 40
        Width = 200
        Height = 100
        Caption = ' Advanced '
        object EditA: TEdit
          Left = 8
          Top = 24
          Width = 60
          Height = 21
          Text = '7'
        end
        object UpDownA: TUpDown
          Left = 68
          Top = 24
          Width = 16
          Height = 21
          Associate = EditA
          Min = 0
          Max = 10
          Position = 7
        end
      end
    end
    object SheetB: TTabSheet
      Caption = 'Second'
      object TrackB: TTrackBar
        Left = 8
        Top = 8
        Width = 150
        Height = 30
        Max = 100
        ThumbLength = 10
      end
    end
    object SheetHidden: TTabSheet
      Caption = 'Hidden'
      TabVisible = False
    end
    object SheetC: TTabSheet
      Caption = 'Third'
    end
  end
  object Progress: TProgressBar
    Left = 8
    Top = 260
    Width = 384
    Height = 16
    Max = 50
    Position = 20
  end
end
)";

struct FormDeleter {
    void operator()(TCustomForm* f) const { delete f; }
};
using FormPtr = std::unique_ptr<TPagesForm, FormDeleter>;

FormPtr LoadPagesForm()
{
    static const bool registered = [] {
        rtl::RegisterClass(TPagesForm::StaticClassInfo());
        return true;
    }();
    (void)registered;
    FormPtr form(new TPagesForm(Application));
    ReadText(*form, kPagesFormText);
    return form;
}

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

// Clicks the tab at `index` the way the mouse does, so the control itself notifies.
void ClickTab(TPageControl& pages, int index)
{
    RECT r{};
    ASSERT_TRUE(::SendMessageA(pages.Handle(), TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r)));
    const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    ::SendMessageA(pages.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
    ::SendMessageA(pages.Handle(), WM_LBUTTONUP, 0, At(x, y));
}

std::string TabText(TPageControl& pages, int index)
{
    char text[64] = {};
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    ::SendMessageA(pages.Handle(), TCM_GETITEMA, index, reinterpret_cast<LPARAM>(&item));
    return text;
}

}  // namespace

TEST(PageControl, ReadsPagesWithTheirControlsAndShowsOnlyTheActiveOne)
{
    auto form = LoadPagesForm();
    ASSERT_EQ(form->Pages->PageCount(), 4);
    EXPECT_EQ(form->Pages->Pages(0), form->SheetA);
    EXPECT_EQ(form->SheetA->PageControl(), form->Pages);
    EXPECT_EQ(form->SheetC->PageIndex(), 3);
    EXPECT_EQ(form->Pages->ActivePage(), form->SheetB) << "ActivePage names a page read after it";
    EXPECT_EQ(form->SheetHidden->TabIndex(), -1);
    EXPECT_EQ(form->SheetC->TabIndex(), 2);
    form->Show();
    EXPECT_EQ(::SendMessageA(form->Pages->Handle(), TCM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(TabText(*form->Pages, 0), "First");
    EXPECT_EQ(TabText(*form->Pages, 2), "Third");
    EXPECT_EQ(::SendMessageA(form->Pages->Handle(), TCM_GETCURSEL, 0, 0), 1);
    EXPECT_TRUE(::IsWindowVisible(form->SheetB->Handle()));
    EXPECT_FALSE(form->SheetA->Visible());
    EXPECT_FALSE(form->SheetC->Visible());
    // The page covers the display area, below the tabs.
    const TRect display = form->Pages->DisplayRect();
    EXPECT_EQ(form->SheetB->BoundsRect(), display);
    EXPECT_GT(display.Top, 10);
    RECT r;
    ::GetWindowRect(form->TrackB->Handle(), &r);
    ::MapWindowPoints(nullptr, form->SheetB->Handle(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 8);
    EXPECT_EQ(r.top, 8);
}

TEST(PageControl, ClickingATabAsksFirstThenChangesAndTellsOnce)
{
    auto form = LoadPagesForm();
    form->Show();
    std::vector<std::string> log;
    bool allow = true;
    form->Pages->OnChanging = [&](rtl::TObject*, bool& allowChange) {
        log.push_back("changing from " + form->Pages->ActivePage()->Caption());
        allowChange = allow;
    };
    form->Pages->OnChange = [&](rtl::TObject*) {
        log.push_back("change to " + form->Pages->ActivePage()->Caption());
    };
    ClickTab(*form->Pages, 2);
    EXPECT_EQ(log, (std::vector<std::string>{"changing from Second", "change to Third"}));
    EXPECT_EQ(form->Pages->ActivePage(), form->SheetC)
        << "the third tab is the fourth page: the hidden one has none";
    EXPECT_TRUE(form->SheetC->Visible());
    EXPECT_FALSE(form->SheetB->Visible());
    log.clear();
    allow = false;
    ClickTab(*form->Pages, 0);
    EXPECT_EQ(log, std::vector<std::string>{"changing from Third"});
    EXPECT_EQ(form->Pages->ActivePage(), form->SheetC);
    EXPECT_EQ(::SendMessageA(form->Pages->Handle(), TCM_GETCURSEL, 0, 0), 2)
        << "a refused change keeps its tab";
}

TEST(PageControl, CodeChangesFireNothingAndSkipPagesWithoutTabs)
{
    auto form = LoadPagesForm();
    form->Show();
    int events = 0;
    form->Pages->OnChange = [&](rtl::TObject*) { ++events; };
    form->Pages->SetActivePage(form->SheetA);
    EXPECT_EQ(events, 0);
    EXPECT_EQ(::SendMessageA(form->Pages->Handle(), TCM_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(form->SheetA->Visible());
    // Going backwards from the first page wraps past the hidden one.
    form->Pages->SelectNextPage(false);
    EXPECT_EQ(form->Pages->ActivePage(), form->SheetC);
    EXPECT_EQ(events, 1);
    form->Pages->SelectNextPage(true);
    EXPECT_EQ(form->Pages->ActivePage(), form->SheetA);
    // A page whose tab goes away while active hands over to the next page with a tab.
    form->SheetA->SetTabVisible(false);
    EXPECT_EQ(form->Pages->ActivePage(), form->SheetB);
    EXPECT_EQ(::SendMessageA(form->Pages->Handle(), TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(::SendMessageA(form->Pages->Handle(), TCM_GETCURSEL, 0, 0), 0);
    form->SheetHidden->SetTabVisible(true);
    form->SheetHidden->SetCaption("Shown");
    EXPECT_EQ(TabText(*form->Pages, 1), "Shown");
    form->Pages->SetActivePageIndex(99);
    EXPECT_EQ(form->Pages->ActivePage(), nullptr);
    EXPECT_THROW(form->Pages->Pages(4), rtl::EListError);
}

TEST(PageControl, PagesFreedBeforeOrWithTheirControlLeaveNothingBehind)
{
    auto form = LoadPagesForm();
    form->Show();
    delete form->SheetB;
    form->SheetB = nullptr;
    EXPECT_EQ(form->Pages->PageCount(), 3);
    EXPECT_EQ(form->Pages->ActivePage(), form->SheetC) << "the next page with a tab takes over";
    EXPECT_EQ(::SendMessageA(form->Pages->Handle(), TCM_GETITEMCOUNT, 0, 0), 2);
    auto* extra = new TTabSheet(form.get());
    extra->SetCaption("Added");
    extra->SetPageControl(form->Pages);
    EXPECT_EQ(TabText(*form->Pages, 2), "Added");
    extra->SetPageIndex(0);
    EXPECT_EQ(TabText(*form->Pages, 0), "Added");
    delete form->Pages;
    form->Pages = nullptr;
}

TEST(CheckBox, EachClickTogglesAndFiresOnceAndCodeChangesFireToo)
{
    auto form = LoadPagesForm();
    form->Pages->SetActivePage(form->SheetA);
    form->Show();
    TCheckBox& check = *form->CheckA;
    EXPECT_TRUE(check.Checked()) << "reading the state fires nothing and keeps it";
    EXPECT_EQ(::SendMessageA(check.Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
    int clicks = 0;
    check.OnClick = [&](rtl::TObject*) { ++clicks; };
    ::SendMessageA(check.Handle(), BM_CLICK, 0, 0);
    EXPECT_FALSE(check.Checked());
    EXPECT_EQ(::SendMessageA(check.Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(clicks, 1);
    check.SetChecked(true);
    EXPECT_EQ(clicks, 2);
    check.SetChecked(true);
    EXPECT_EQ(clicks, 2) << "no change, no event";
    check.AllowGrayed = true;
    ::SendMessageA(check.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(check.State(), cbUnchecked);
    ::SendMessageA(check.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(check.State(), cbGrayed);
    EXPECT_EQ(::SendMessageA(check.Handle(), BM_GETCHECK, 0, 0), BST_INDETERMINATE);
    check.SetAlignment(taLeftJustify);
    EXPECT_TRUE(::GetWindowLongA(check.Handle(), GWL_STYLE) & BS_LEFTTEXT);
    EXPECT_EQ(::SendMessageA(check.Handle(), BM_GETCHECK, 0, 0), BST_INDETERMINATE)
        << "kept across the new window";
}

TEST(GroupBox, HoldsItsControlsAndKeepsAlignedOnesBelowItsCaption)
{
    auto form = LoadPagesForm();
    form->Pages->SetActivePage(form->SheetA);
    form->Show();
    EXPECT_EQ(form->EditA->Parent(), form->GroupA);
    EXPECT_EQ(::GetParent(form->EditA->Handle()), form->GroupA->Handle());
    auto* filler = new TPanel(form.get());
    filler->SetParent(form->GroupA);
    filler->SetAlign(alClient);
    EXPECT_GT(filler->Top(), 8) << "below the caption's line";
    EXPECT_LT(filler->Top(), 30);
    EXPECT_EQ(filler->Left(), 2);
    EXPECT_EQ(filler->Left() + filler->Width(), form->GroupA->ClientWidth() - 2);
}

TEST(UpDown, ArrowsStepThroughTheRangeAndWriteTheEdit)
{
    auto form = LoadPagesForm();
    form->Pages->SetActivePage(form->SheetA);
    form->Show();
    TUpDown& ud = *form->UpDownA;
    EXPECT_EQ(ud.Associate(), form->EditA);
    EXPECT_EQ(ud.Position(), 7);
    std::vector<std::string> log;
    bool allow = true;
    ud.OnChanging = [&](rtl::TObject*, bool& a) {
        log.push_back("changing");
        a = allow;
    };
    ud.OnClick = [&](rtl::TObject*, TUDBtnType b) { log.push_back(b == btNext ? "up" : "down"); };
    RECT r;
    ::GetClientRect(ud.Handle(), &r);
    auto press = [&](bool upper) {
        const int y = upper ? r.bottom / 4 : r.bottom * 3 / 4;
        ::SendMessageA(ud.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(r.right / 2, y));
        ::SendMessageA(ud.Handle(), WM_LBUTTONUP, 0, At(r.right / 2, y));
    };
    press(true);
    EXPECT_EQ(ud.Position(), 8);
    EXPECT_EQ(form->EditA->Text(), "8");
    EXPECT_EQ(log, (std::vector<std::string>{"changing", "up"}));
    // A number typed into the edit is where the next click starts.
    form->EditA->SetText("3");
    log.clear();
    press(false);
    EXPECT_EQ(ud.Position(), 2);
    EXPECT_EQ(log, (std::vector<std::string>{"changing", "down"}));
    allow = false;
    press(true);
    EXPECT_EQ(ud.Position(), 2) << "a refused change keeps the position";
    allow = true;
    ud.SetPosition(10);
    press(true);
    EXPECT_EQ(ud.Position(), 10) << "no wrapping past Max";
    EXPECT_EQ(form->EditA->Text(), "10");
    ud.SetPosition(-4);
    EXPECT_EQ(ud.Position(), 0);
    // The arrows sit beside their edit.
    RECT edit, arrows;
    ::GetWindowRect(form->EditA->Handle(), &edit);
    ::GetWindowRect(ud.Handle(), &arrows);
    EXPECT_EQ(arrows.left, edit.right);
}

TEST(UpDown, IncrementAndAssociateSurviveANewWindowAndALostAssociateLetsGo)
{
    auto form = LoadPagesForm();
    form->Pages->SetActivePage(form->SheetA);
    form->Show();
    TUpDown& ud = *form->UpDownA;
    RECT r;
    auto pressUp = [&] {
        ::GetClientRect(ud.Handle(), &r);
        ::SendMessageA(ud.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(r.right / 2, r.bottom / 4));
        ::SendMessageA(ud.Handle(), WM_LBUTTONUP, 0, At(r.right / 2, r.bottom / 4));
    };
    ud.SetIncrement(2);
    pressUp();
    EXPECT_EQ(ud.Position(), 9);
    EXPECT_EQ(form->EditA->Text(), "9");
    // A style change makes the window again: it keeps the step and the edit it writes.
    ud.SetWrap(true);
    ud.SetPosition(1);
    pressUp();
    EXPECT_EQ(ud.Position(), 3);
    EXPECT_EQ(form->EditA->Text(), "3");
    EXPECT_EQ(::SendMessageA(ud.Handle(), UDM_GETBUDDY, 0, 0),
              reinterpret_cast<LRESULT>(form->EditA->Handle()));
    delete form->EditA;
    EXPECT_EQ(ud.Associate(), nullptr);
    EXPECT_EQ(::SendMessageA(ud.Handle(), UDM_GETBUDDY, 0, 0), 0);
}

TEST(ProgressBar, PositionStaysInItsRangeAndReachesTheWindow)
{
    auto form = LoadPagesForm();
    form->Show();
    TProgressBar& bar = *form->Progress;
    EXPECT_EQ(::SendMessageA(bar.Handle(), PBM_GETPOS, 0, 0), 20);
    EXPECT_EQ(::SendMessageA(bar.Handle(), PBM_GETRANGE, FALSE, 0), 50);
    bar.SetPosition(80);
    EXPECT_EQ(bar.Position(), 50);
    bar.SetPosition(-1);
    EXPECT_EQ(bar.Position(), 0);
    bar.StepIt();
    bar.StepBy(5);
    EXPECT_EQ(::SendMessageA(bar.Handle(), PBM_GETPOS, 0, 0), 15);
    bar.SetMax(10);
    EXPECT_EQ(bar.Position(), 10);
}

TEST(ProgressBar, StepsStopAtTheEndsOfTheWidestRange)
{
    TProgressBar bar(nullptr);
    bar.SetMin(INT32_MIN);
    bar.SetMax(INT32_MAX);
    bar.SetPosition(INT32_MAX - 5);
    bar.StepIt();
    EXPECT_EQ(bar.Position(), INT32_MAX) << "a step past Max stops there, not back at Min";
    bar.SetPosition(INT32_MIN + 5);
    bar.StepBy(-10);
    EXPECT_EQ(bar.Position(), INT32_MIN);
    bar.SetStep(INT32_MAX);
    bar.StepIt();
    bar.StepIt();
    bar.StepIt();
    EXPECT_EQ(bar.Position(), INT32_MAX);
}

TEST(TrackBar, ThumbLengthFromTheDescriptionAndLaterChanges)
{
    auto form = LoadPagesForm();
    form->Show();
    EXPECT_EQ(::SendMessageA(form->TrackB->Handle(), TBM_GETTHUMBLENGTH, 0, 0), 10);
    form->TrackB->SetThumbLength(14);
    EXPECT_EQ(::SendMessageA(form->TrackB->Handle(), TBM_GETTHUMBLENGTH, 0, 0), 14);
    auto* plain = new TTrackBar(form.get());
    plain->SetParent(form->SheetB);
    plain->SetPosition(4);
    plain->Handle();
    plain->SetThumbLength(12);
    EXPECT_TRUE(::GetWindowLongA(plain->Handle(), GWL_STYLE) & TBS_FIXEDLENGTH)
        << "made again to take a length";
    EXPECT_EQ(::SendMessageA(plain->Handle(), TBM_GETTHUMBLENGTH, 0, 0), 12);
    EXPECT_EQ(plain->Position(), 4);
}
