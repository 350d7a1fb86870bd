// The I/O component attached to a view: loads land in the view's bitmap and tell the view, the
// component follows the view's bitmap changes and lets go when the view is destroyed.
#include "imaging/core/ieview_win32.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Thread.h"
#include "platform/win/ExtCtrls.h"
#include "tests/imaging/io/bmp_test_util.h"

#include <gtest/gtest.h>

#include <memory>

using namespace imaging;

namespace {

// A view keeping its image in a TIEBitmap, counting what the component tells it.
class TestView : public TIEView {
public:
    TestView() : TIEView(nullptr) {}
    ~TestView() override { NotifyDestroying(); }
    TIEBitmap* GetIEBitmap() override { return bitmap_.get(); }
    TIEBitmap* GetAlphaChannel() override { return bitmap_->GetAlphaChannel(); }
    bool HasAlphaChannel() override { return bitmap_->HasAlphaChannel(); }
    void RemoveAlphaChannel(bool) override { bitmap_->RemoveAlphaChannel(); }
    void LockUpdate() override {}
    void UnlockUpdate() override {}
    void UnlockUpdateNoRefresh() override {}
    void ImageChange() override
    {
        ++changes;
        changedOnMain = changedOnMain && rtl::IsMainThread();
    }
    // Swaps in a new bitmap, as a view does when its image is replaced.
    void NewBitmap()
    {
        bitmap_ = std::make_unique<TIEBitmap>();
        CallBitmapChangeEvents();
    }

    int changes = 0;
    bool changedOnMain = true;

private:
    std::unique_ptr<TIEBitmap> bitmap_ = std::make_unique<TIEBitmap>();
};

std::vector<std::uint8_t> Bmp(int w, int h, int dpiPerMetre = 0)
{
    return test::PatternBmp(
        w, h,
        [](int x, int y) {
            return TRGB{1, std::uint8_t(y), std::uint8_t(x)};
        },
        dpiPerMetre, dpiPerMetre);
}

rtl::TMemoryStream Stream(const std::vector<std::uint8_t>& bytes)
{
    rtl::TMemoryStream m;
    m.WriteBuffer(bytes.data(), std::int32_t(bytes.size()));
    m.SetPosition(0);
    return m;
}

TEST(ViewAttachment, LoadsLandInTheViewsBitmapAndTellTheView)
{
    rtl::SetMainThread();
    TestView view;
    TVodirAdIO io(nullptr);
    io.SetAttachedVodirAd(&view);
    EXPECT_EQ(io.IEBitmap(), view.GetIEBitmap());
    EXPECT_EQ(view.BitmapChangeCallbackCount(), 1);
    rtl::TMemoryStream m = Stream(Bmp(6, 4, 3780));
    io.LoadFromStreamType(m, ioBMP);
    EXPECT_EQ(view.GetIEBitmap()->GetWidth(), 6);
    EXPECT_EQ(view.changes, 1);
    // A stream load of a BMP leaves the view's resolution; a file load sets it.
    EXPECT_EQ(view.DpiX(), 0);

    // Asynchronously the image still arrives on the main thread.
    io.Asynchronous = true;
    rtl::TMemoryStream n = Stream(Bmp(9, 2));
    io.LoadFromStreamType(n, ioBMP);
    io.WaitThreads(false);
    EXPECT_EQ(view.GetIEBitmap()->GetWidth(), 9);
    EXPECT_EQ(view.changes, 2);
    EXPECT_TRUE(view.changedOnMain);
}

TEST(ViewAttachment, TheComponentFollowsTheViewsBitmapAndLetsGoOfAViewGoingAway)
{
    auto view = std::make_unique<TestView>();
    TVodirAdIO io(nullptr);
    io.SetAttachedVodirAd(view.get());
    view->NewBitmap();
    EXPECT_EQ(io.IEBitmap(), view->GetIEBitmap());
    view.reset();
    EXPECT_EQ(io.AttachedVodirAd(), nullptr);
    rtl::TMemoryStream m = Stream(Bmp(3, 3));
    io.LoadFromStreamType(m, ioBMP);  // into the component's own bitmap now
    EXPECT_EQ(io.IEBitmap()->GetWidth(), 3);
}

TEST(ViewAttachment, SwitchingToAnImageControlLeavesTheViewsBitmapAlone)
{
    TestView view;
    rtl::TMemoryStream m = Stream(Bmp(5, 5));
    TVodirAdIO io(nullptr);
    io.SetAttachedVodirAd(&view);
    io.LoadFromStreamType(m, ioBMP);
    win::TImage image(nullptr);
    io.SetAttachedTImage(&image);
    EXPECT_EQ(view.BitmapChangeCallbackCount(), 0);
    rtl::TMemoryStream n = Stream(Bmp(7, 2));
    io.LoadFromStreamType(n, ioBMP);
    EXPECT_EQ(view.GetIEBitmap()->GetWidth(), 5);
    EXPECT_EQ(image.Picture()->Width(), 7);
}

}  // namespace
