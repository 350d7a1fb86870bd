// The I/O component attached to a view: loads land in the view's bitmap and tell the view, the
// component follows the view's bitmap changes and lets go when the view is destroyed.
#include "imaging/core/ieview_win32.h"
#include "imaging/core/vodiradview_win32.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/FormStream.h"
#include "platform/rtl/FormText.h"
#include "platform/rtl/Thread.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Forms.h"
#include "tests/imaging/io/bmp_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

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

// ---- what a window description stores ----

// A window with a view, an image control and two components attached to them, and handlers for
// every event of the component.
class TIOForm : public win::TForm {
    RTL_DECLARE_CLASS(TIOForm, win::TForm)

public:
    explicit TIOForm(rtl::TComponent* owner) : TForm(owner) {}

    TVodirAdView* View1 = nullptr;
    win::TImage* Image1 = nullptr;
    TVodirAdIO* IO1 = nullptr;
    TVodirAdIO* IO2 = nullptr;
    std::vector<std::string> log;

    void IO1Progress(rtl::TObject*, int per) { log.push_back("progress " + std::to_string(per)); }
    void IO1Preview(rtl::TObject*, win::TForm*) { log.push_back("preview"); }
    void IO1FinishWork(rtl::TObject*) { log.push_back("finish"); }
    void IO1AcquireBitmap(rtl::TObject*, TIEBitmap*, bool& Handled)
    {
        log.push_back("acquire");
        Handled = true;
    }
    void IO1DoPreviews(rtl::TObject*, bool& Handled)
    {
        log.push_back("dopreviews");
        Handled = true;
    }
};

void TIOForm::Publish(Table& t)
{
    t.Field(RTL_MEMBER(View1));
    t.Field(RTL_MEMBER(Image1));
    t.Field(RTL_MEMBER(IO1));
    t.Field(RTL_MEMBER(IO2));
    t.Method(RTL_MEMBER(IO1Progress));
    t.Method(RTL_MEMBER(IO1Preview));
    t.Method(RTL_MEMBER(IO1FinishWork));
    t.Method(RTL_MEMBER(IO1AcquireBitmap));
    t.Method(RTL_MEMBER(IO1DoPreviews));
}

// The seventeen properties in the order the description keeps them (AttachedTImage on the second
// component: attaching one clears the other).
const char* const kIOFormText =
    "object IOForm: TIOForm\n"
    "  object View1: TVodirAdView\n"
    "  end\n"
    "  object Image1: TImage\n"
    "  end\n"
    "  object IO1: TVodirAdIO\n"
    "    AttachedVodirAd = View1\n"
    "    Background = 65280\n"
    "    OnProgress = IO1Progress\n"
    "    MsgLanguage = msItalian\n"
    "    PreviewsParams = [ioppDefaultLockPreview, ioppApplyButton]\n"
    "    StreamHeaders = True\n"
    "    PreviewFont.Height = -17\n"
    "    PreviewFont.Name = 'Arial'\n"
    "    OnIOPreview = IO1Preview\n"
    "    DialogsMeasureUnit = ieduCm\n"
    "    AutoAdjustDPI = True\n"
    "    FilteredAdjustDPI = True\n"
    "    OnFinishWork = IO1FinishWork\n"
    "    OnAcquireBitmap = IO1AcquireBitmap\n"
    "    SimplifiedParamsDialogs = False\n"
    "    OnDoPreviews = IO1DoPreviews\n"
    "    NativePixelFormat = True\n"
    "  end\n"
    "  object IO2: TVodirAdIO\n"
    "    AttachedTImage = Image1\n"
    "  end\n"
    "end\n";

using FormPtr = std::unique_ptr<TIOForm, void (*)(TIOForm*)>;

FormPtr ReadIOForm(const std::string& text)
{
    rtl::TStringStream source(text);
    rtl::TMemoryStream binary;
    rtl::ObjectTextToBinary(source, binary);
    binary.SetPosition(0);
    rtl::RegisterClass(TIOForm::StaticClassInfo());
    FormPtr form(new TIOForm(win::Application), [](TIOForm* f) {
        f->DoDestroy();
        delete f;
    });
    form->ReadFromStream(binary);
    return form;
}

std::string FormText(TIOForm& form)
{
    rtl::TMemoryStream written;
    rtl::WriteComponentRes(written, &form);
    written.SetPosition(0);
    rtl::TStringStream text;
    rtl::ObjectBinaryToText(written, text);
    std::string s = text.DataString();
    s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
    return s;
}

TEST(Description, StoresEveryPublishedPropertyOfTheComponent)
{
    FormPtr form = ReadIOForm(kIOFormText);
    TVodirAdIO& io = *form->IO1;
    EXPECT_EQ(io.AttachedVodirAd(), form->View1);
    EXPECT_EQ(io.IEBitmap(), form->View1->GetIEBitmap());
    EXPECT_EQ(form->IO2->AttachedTImage(), form->Image1);
    EXPECT_EQ(io.MsgLanguage, msItalian);
    EXPECT_EQ(io.PreviewsParams, (TIOPreviewsParams{ioppDefaultLockPreview, ioppApplyButton}));
    EXPECT_TRUE(io.StreamHeaders);
    EXPECT_EQ(io.PreviewFont()->Name(), "Arial");
    EXPECT_EQ(io.PreviewFont()->Height(), -17);
    EXPECT_EQ(io.DialogsMeasureUnit, ieduCm);
    EXPECT_TRUE(io.AutoAdjustDPI);
    EXPECT_TRUE(io.FilteredAdjustDPI);
    EXPECT_FALSE(io.SimplifiedParamsDialogs);
    EXPECT_TRUE(io.NativePixelFormat());

    // The handlers are the form's.
    rtl::TMemoryStream m = Stream(Bmp(3, 2));
    io.LoadFromStreamType(m, ioBMP);
    EXPECT_TRUE(io.DoPreviews(1));
    TIOParamsVals* params = nullptr;
    io.DeliverAcquiredBitmap(form->View1->GetIEBitmap(), params);
    // Two rows read, then the end.
    EXPECT_EQ(form->log, (std::vector<std::string>{"progress 0", "progress 50", "progress 100", "finish",
                                                   "dopreviews", "acquire"}));
    // The view's background is the view's own.
    form->View1->SetBackground(0x00FF00);
    EXPECT_EQ(io.Background(), 0x00FF00u);

    // Written back, the description says the same.
    std::string written = FormText(*form);
    for (const char* line :
         {"AttachedVodirAd = View1", "OnProgress = IO1Progress", "MsgLanguage = msItalian",
          "PreviewsParams = [ioppDefaultLockPreview, ioppApplyButton]", "StreamHeaders = True",
          "PreviewFont.Name = 'Arial'", "PreviewFont.Height = -17", "OnIOPreview = IO1Preview",
          "DialogsMeasureUnit = ieduCm", "AutoAdjustDPI = True", "FilteredAdjustDPI = True",
          "OnFinishWork = IO1FinishWork", "OnAcquireBitmap = IO1AcquireBitmap",
          "SimplifiedParamsDialogs = False", "OnDoPreviews = IO1DoPreviews", "NativePixelFormat = True",
          "AttachedTImage = Image1"})
        EXPECT_NE(written.find(line), std::string::npos) << line << " in\n" << written;
}

TEST(Description, AReferenceToSomethingOtherThanAViewOrAnImageControlIsRefused)
{
    const std::string text =
        "object IOForm: TIOForm\n"
        "  object Image1: TImage\n"
        "  end\n"
        "  object IO1: TVodirAdIO\n"
        "    AttachedVodirAd = Image1\n"
        "  end\n"
        "end\n";
    EXPECT_THROW(ReadIOForm(text), rtl::Exception);
}

// ---- the platform bitmap being worked on ----

TEST(ViewAttachment, GetBitmapIsThePlatformBitmapThePixelsAreIn)
{
    TVodirAdIO io(nullptr);
    EXPECT_EQ(io.GetBitmap(), nullptr) << "an own bitmap in memory";
    io.IEBitmap()->Allocate(6, 4, ie24RGB);
    io.IEBitmap()->SetLocation(ieTBitmap);
    win::TBitmap* own = io.GetBitmap();
    ASSERT_NE(own, nullptr) << "an own bitmap kept in a platform bitmap";
    EXPECT_EQ(own->Width(), 6);
    io.IEBitmap()->SetPixel24(1, 1, TRGB{0, 0, 255});
    EXPECT_EQ(own->Canvas()->Pixels(1, 1) & 0xFFFFFF, 0x0000FFu) << "the very pixels";
    win::TBitmap attached;
    attached.SetPixelFormat(win::pf24bit);
    attached.SetSize(3, 3);
    io.SetAttachedTBitmap(&attached);
    EXPECT_EQ(io.GetBitmap(), &attached);
    win::TImage image(nullptr);
    io.SetAttachedTImage(&image);
    EXPECT_EQ(io.GetBitmap(), image.Picture()->Bitmap());
    TIEBitmap memory;
    io.SetAttachedTIEBitmap(&memory);
    EXPECT_EQ(io.GetBitmap(), nullptr);
}

}  // namespace
