// Tests of the processing component under Windows: its published properties read from a description,
// a view it follows, and a platform image whose removal must not leave it working on a freed bitmap.
#include "imaging/core/vodiradproc_component.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/ieview_win32.h"
#include "imaging/core/iemask.h"
#include "imaging/core/vodiradproc.h"
#include "imaging/core/vodiradview_win32.h"
#include "platform/rtl/FormText.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Forms.h"
#include "platform/win/Graphics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace imaging;

namespace {

class TShowingView : public TIEView {
public:
    using TIEView::TIEView;
    TIEBitmap* GetIEBitmap() override { return &shown; }
    TIEBitmap* GetAlphaChannel() override { return nullptr; }
    bool HasAlphaChannel() override { return false; }
    void RemoveAlphaChannel(bool) override {}
    void LockUpdate() override {}
    void UnlockUpdate() override {}
    void UnlockUpdateNoRefresh() override {}
    void ImageChange() override { ++changes; }
    TIEBitmap shown;
    int changes = 0;
};

// A program's form with a view and a processing component, and handlers for their events.
class TProcForm : public win::TForm {
    RTL_DECLARE_CLASS(TProcForm, win::TForm)

public:
    explicit TProcForm(rtl::TComponent* owner) : win::TForm(owner) {}

    TVodirAdView* View1 = nullptr;
    TVodirAdProc* Proc1 = nullptr;
    std::vector<std::string> log;

    void View1Progress(rtl::TObject* Sender, int Percent)
    {
        log.push_back((Sender == View1->GetProc() ? "view's proc " : "? ") + std::to_string(Percent));
    }
    void Proc1Progress(rtl::TObject* Sender, int Percent)
    {
        log.push_back((Sender == Proc1 ? "proc " : "? ") + std::to_string(Percent));
    }
    void Proc1Preview(rtl::TObject* Sender, win::TForm* PreviewForm)
    {
        log.push_back(Sender == Proc1 && PreviewForm == this ? "preview" : "?");
    }
};

void TProcForm::Publish(Table& t)
{
    t.Field(RTL_MEMBER(View1));
    t.Field(RTL_MEMBER(Proc1));
    t.Method(RTL_MEMBER(View1Progress));
    t.Method(RTL_MEMBER(Proc1Progress));
    t.Method(RTL_MEMBER(Proc1Preview));
}

TEST(ProcPublished, TheTenPropertiesInTheirOrder)
{
    std::vector<std::string> names;
    for (const rtl::TPropInfo& p : TVodirAdProc::StaticClassInfo().Props)
        names.push_back(p.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"AttachedVodirAd", "AutoUndo", "Background", "OnProgress",
                                               "MsgLanguage", "PreviewsParams", "PreviewFont",
                                               "AttachedTImage", "OnPreview", "UndoLimit"}));
}

TEST(ProcPublished, ADescriptionSetsThemAndBindsTheEventsToTheFormsHandlers)
{
    const char* text = R"(object ProcForm: TProcForm
  Left = 10
  Top = 10
  ClientWidth = 320
  ClientHeight = 240
  object View1: TVodirAdView
    Left = 4
    Top = 4
    Width = 40
    Height = 30
    OnProgress = View1Progress
  end
  object Proc1: TVodirAdProc
    AttachedVodirAd = View1
    AutoUndo = False
    OnProgress = Proc1Progress
    MsgLanguage = msItalian
    PreviewsParams = [prppDefaultLockPreview]
    PreviewFont.Height = -19
    PreviewFont.Name = 'Courier New'
    OnPreview = Proc1Preview
    UndoLimit = 4
  end
end
)";
    TProcForm form(nullptr);
    rtl::TStringStream in(text);
    rtl::TMemoryStream bin;
    rtl::ObjectTextToBinary(in, bin);
    bin.SetPosition(0);
    form.ReadFromStream(bin);
    ASSERT_NE(form.Proc1, nullptr);
    ASSERT_NE(form.View1, nullptr);
    TVodirAdProc& proc = *form.Proc1;
    EXPECT_EQ(proc.AttachedVodirAd(), form.View1);
    EXPECT_FALSE(proc.AutoUndo);
    EXPECT_EQ(proc.MsgLanguage, msItalian);
    EXPECT_TRUE(proc.PreviewsParams.Contains(prppDefaultLockPreview));
    EXPECT_EQ(proc.PreviewFont()->Height(), -19);
    EXPECT_EQ(proc.PreviewFont()->Name(), "Courier New");
    EXPECT_EQ(proc.UndoLimit(), 4);

    // The view read its own size into its picture; both components report on the form's handlers.
    proc.ConvertToGray();
    form.View1->GetProc()->ConvertToGray();
    proc.OnPreview(&proc, &form);
    const int rows = form.View1->GetIEBitmap()->GetHeight();
    ASSERT_GT(rows, 1);
    const auto count = [&](const std::string& prefix) {
        return std::count_if(form.log.begin(), form.log.end(),
                             [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    };
    EXPECT_EQ(count("proc "), rows);  // a report per row
    EXPECT_EQ(count("view's proc "), rows);
    EXPECT_EQ(count("?"), 0);
    ASSERT_FALSE(form.log.empty());
    EXPECT_EQ(form.log.back(), "preview");
}

TEST(ProcPublished, ThePreviewFontIsOwnedAndTakesTheValuesOfTheFontGiven)
{
    TVodirAdProc proc(nullptr);
    win::TFont* own = proc.PreviewFont();
    ASSERT_NE(own, nullptr);
    {
        win::TFont given;
        given.SetName("Courier New");
        given.SetHeight(-23);
        proc.SetPreviewFont(&given);
    }
    EXPECT_EQ(proc.PreviewFont(), own);
    EXPECT_EQ(own->Height(), -23);
    EXPECT_EQ(own->Name(), "Courier New");
    proc.SetPreviewFont(nullptr);
    EXPECT_EQ(own->Height(), -23);
}

TEST(ProcAttach, WorksOnTheViewsBitmapAndLetsGoWhenTheViewDies)
{
    auto form = std::make_unique<win::TForm>(nullptr);
    auto* view = new TShowingView(form.get());
    view->SetParent(form.get());
    view->shown.Allocate(4, 4, ie24RGB);
    view->shown.Fill(0x0000FF);
    TVodirAdProc proc(nullptr);
    proc.SetAttachedVodirAd(view);
    EXPECT_EQ(proc.Bitmap(), &view->shown);
    EXPECT_EQ(view->BitmapChangeCallbackCount(), 1);
    proc.ConvertToGray();
    EXPECT_EQ(view->changes, 1);
    EXPECT_EQ(view->shown.GetPixel24(0, 0).r, view->shown.GetPixel24(0, 0).b);
    proc.SetBackground(0x00123456);
    EXPECT_EQ(view->Background(), 0x00123456);
    delete view;
    EXPECT_EQ(proc.AttachedVodirAd(), nullptr);
    ASSERT_NE(proc.Bitmap(), nullptr);
    EXPECT_TRUE(proc.OwnsBitmap());
    proc.ConvertToGray();  // on its own, empty bitmap: nothing, and no crash
    proc.Undo();
}

TEST(ProcAttach, DetachingFromAViewRemovesItsCallback)
{
    auto form = std::make_unique<win::TForm>(nullptr);
    auto* view = new TShowingView(form.get());
    {
        TVodirAdProc proc(nullptr);
        proc.SetAttachedVodirAd(view);
        proc.SetAttachedVodirAd(nullptr);
        EXPECT_EQ(view->BitmapChangeCallbackCount(), 0);
        proc.SetAttachedVodirAd(view);
    }
    EXPECT_EQ(view->BitmapChangeCallbackCount(), 0);  // the component's destructor detached
}

TEST(ProcAttach, RemovingTheImageFallsBackToAnOwnBitmap)
{
    auto form = std::make_unique<win::TForm>(nullptr);
    auto* image = new win::TImage(form.get());
    image->Picture()->Bitmap()->SetPixelFormat(win::pf24bit);
    image->Picture()->Bitmap()->SetSize(6, 3);
    TVodirAdProc proc(nullptr);
    proc.SetAttachedTImage(image);
    EXPECT_EQ(proc.Bitmap()->GetWidth(), 6);
    EXPECT_NE(proc.AttachedBitmap(), nullptr);
    delete image;
    EXPECT_EQ(proc.AttachedTImage(), nullptr);
    EXPECT_EQ(proc.AttachedBitmap(), nullptr);
    EXPECT_EQ(proc.Bitmap()->GetWidth(), 0);
    proc.Resample(3, 3, rfTriangle);
}

// ---- selections ------------------------------------------------------------------------------------

std::vector<std::uint8_t> Bytes(TIEBitmap& bmp)
{
    std::vector<std::uint8_t> out;
    for (int y = 0; y < bmp.GetHeight(); ++y)
        out.insert(out.end(), bmp.ScanLine(y), bmp.ScanLine(y) + std::size_t(bmp.GetWidth()) * 3);
    return out;
}

// The view's selection as it writes it: points, flag and mask.
std::vector<std::uint8_t> Snapshot(TVodirAdView& view)
{
    rtl::TMemoryStream stream;
    view.SaveSelectionToStream(stream);
    return std::vector<std::uint8_t>(stream.Memory(), stream.Memory() + stream.Size());
}

class ProcSelection : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<win::TForm>(nullptr);
        form->SetBounds(0, 0, 200, 200);
        view = new TVodirAdView(form.get());
        view->SetParent(form.get());
        view->SetBounds(0, 0, 120, 100);
        view->SetSelectionBase(iesbBitmap);
        TIEBitmap& bmp = *view->GetIEBitmap();
        bmp.Allocate(40, 30, ie24RGB);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                bmp.SetPixel24(x, y,
                               TRGB{std::uint8_t(x * 6), std::uint8_t(y * 8), std::uint8_t(200 - x - y)});
        view->Update();
        proc.SetAttachedVodirAd(view);
        proc.SetUndoLimit(4);
    }
    void TearDown() override
    {
        proc.SetAttachedVodirAd(nullptr);
        form.reset();
    }

    std::unique_ptr<win::TForm> form;
    TVodirAdView* view = nullptr;  // owned by the form
    TVodirAdProc proc{nullptr};
};

TEST_F(ProcSelection, SelectionUndoAndRedoEntriesRoundTripByteExact)
{
    view->Select(5, 4, 14, 11);
    ASSERT_TRUE(view->Selected());
    const std::vector<std::uint8_t> first = Snapshot(*view);
    proc.SaveUndoCaptioned("Select", 2);
    ASSERT_EQ(proc.UndoCount(), 1);
    EXPECT_TRUE(proc.UndoIsSelection(0));
    EXPECT_EQ(proc.UndoCaption(0), "Select");

    view->Select(20, 10, 35, 25);
    const std::vector<std::uint8_t> second = Snapshot(*view);
    ASSERT_NE(first, second);
    proc.SaveRedo(2);
    ASSERT_EQ(proc.RedoCount(), 1);
    EXPECT_TRUE(proc.RedoIsSelection(0));

    proc.Undo();
    EXPECT_EQ(Snapshot(*view), first);
    EXPECT_TRUE(view->Selected());
    proc.Redo();
    EXPECT_EQ(Snapshot(*view), second);
    // Entries stay: the same undo again gives the same selection.
    proc.Undo();
    proc.Undo();
    EXPECT_EQ(Snapshot(*view), first);
    // A cleared selection is an entry too, and comes back cleared.
    view->Deselect();
    const std::vector<std::uint8_t> none = Snapshot(*view);
    proc.SaveUndo(2);
    view->Select(1, 1, 3, 3);
    proc.Undo();
    EXPECT_EQ(Snapshot(*view), none);
    EXPECT_FALSE(view->Selected());
}

TEST_F(ProcSelection, ASelectionEntryOfAnotherImageSizeChangesNothing)
{
    view->Select(5, 4, 14, 11);
    proc.SaveUndo(2);
    proc.Resample(20, 15, rfNone);
    view->Select(2, 2, 6, 6);
    const std::vector<std::uint8_t> now = Snapshot(*view);
    proc.UndoAt(1);  // the selection entry; the newest is the image before the resample
    EXPECT_EQ(Snapshot(*view), now);
    EXPECT_EQ(view->GetIEBitmap()->GetWidth(), 20);
}

TEST_F(ProcSelection, GreyConversionStaysInsideTheSelectionAndUndoesByteExact)
{
    const std::vector<std::uint8_t> original = Bytes(*view->GetIEBitmap());
    view->Select(5, 4, 14, 11);
    TIEMask& mask = view->SelectionMask();
    int x1, y1, x2, y2;
    const TIESelectionPoints* points = nullptr;
    TIEMask* got = nullptr;
    ASSERT_TRUE(proc.GetSelectionRect(x1, y1, x2, y2, points, got));
    EXPECT_EQ(got, &mask);
    EXPECT_EQ(points, &view->SelectionPoints());
    EXPECT_EQ(x1, mask.X1());
    EXPECT_EQ(y1, mask.Y1());
    EXPECT_EQ(x2, mask.X2() + 1);
    EXPECT_EQ(y2, mask.Y2() + 1);

    proc.ConvertToGray();
    TIEBitmap& bmp = *view->GetIEBitmap();
    int inside = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const TRGB before{original[std::size_t(y * 40 + x) * 3],
                              original[std::size_t(y * 40 + x) * 3 + 1],
                              original[std::size_t(y * 40 + x) * 3 + 2]};
            const std::uint8_t g = RGBToGray(before);
            const TRGB want = mask.GetPixel(x, y) ? TRGB{g, g, g} : before;
            inside += mask.GetPixel(x, y) != 0;
            ASSERT_EQ(bmp.GetPixel24(x, y), want) << x << ", " << y;
        }
    EXPECT_GT(inside, 0);
    const std::vector<std::uint8_t> grey = Bytes(bmp);
    EXPECT_EQ(proc.UndoCaption(proc.UndoCount() - 1), "ConvertToGray");
    proc.SaveRedo(1);
    proc.Undo();
    EXPECT_EQ(Bytes(*view->GetIEBitmap()), original);
    proc.Redo();
    EXPECT_EQ(Bytes(*view->GetIEBitmap()), grey);
}

TEST_F(ProcSelection, WithoutASelectionTheWholeImageIsProcessed)
{
    int x1, y1, x2, y2;
    const TIESelectionPoints* points = nullptr;
    TIEMask* mask = nullptr;
    EXPECT_FALSE(proc.GetSelectionRect(x1, y1, x2, y2, points, mask));
    EXPECT_EQ(mask, &view->SelectionMask()) << "the view's mask, held or not";
    EXPECT_EQ(points, nullptr);
    EXPECT_EQ(x1, 0);
    EXPECT_EQ(y1, 0);
    EXPECT_EQ(x2, 40);
    EXPECT_EQ(y2, 30);
    proc.ConvertToGray();
    TIEBitmap& bmp = *view->GetIEBitmap();
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const TRGB c = bmp.GetPixel24(x, y);
            ASSERT_TRUE(c.r == c.g && c.g == c.b) << x << ", " << y;
        }
}

TEST(ProcAttach, AViewWithoutSelectionsGetsNoSelectionEntries)
{
    auto form = std::make_unique<win::TForm>(nullptr);
    auto* view = new TShowingView(form.get());
    view->shown.Allocate(4, 4, ie24RGB);
    TVodirAdProc proc(nullptr);
    proc.SetAttachedVodirAd(view);
    proc.SaveUndo(2);
    proc.SaveUndoCaptioned("Select", 2);
    proc.SaveRedo(2);
    EXPECT_EQ(proc.UndoCount(), 0);
    EXPECT_EQ(proc.RedoCount(), 0);
    int x1, y1, x2, y2;
    const TIESelectionPoints* points = nullptr;
    TIEMask* mask = nullptr;
    EXPECT_FALSE(proc.GetSelectionRect(x1, y1, x2, y2, points, mask));
    EXPECT_EQ(mask, nullptr);
    EXPECT_EQ(x2, 4);
    proc.SetAttachedVodirAd(nullptr);
}

}  // namespace
