// Tests of the processing component's attachments under Windows: a view it follows, and a platform
// image whose removal must not leave it working on a freed bitmap.
#include "imaging/core/vodiradproc_component.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/ieview_win32.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Forms.h"

#include <gtest/gtest.h>

#include <memory>

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

}  // namespace
