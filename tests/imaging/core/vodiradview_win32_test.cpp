// The image view under Windows, driven through its properties and window messages: geometry, zoom and
// scrolling, the shown bitmap and its platform bitmap, components, layers, painting into the back
// buffer, selections and the gestures that need no real input.
#include "imaging/core/vodiradview_win32.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradproc_component.h"
#include "imaging/io/vodiradio.h"
#include "imaging/io/vodiradio_viewhooks_win32.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/TypeInfo.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Forms.h"
#include "tests/imaging/io/bmp_test_util.h"
#include "bitmap_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace imaging;

namespace {

void Pump()
{
    MSG msg;
    for (int round = 0; round < 3; ++round)
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
}

// Dispatches messages one at a time until `done` holds (false after 10 s). It looks after each one:
// on a loaded machine a timer is due again by the time its message is handled, and the queue never
// runs dry.
template <class F>
bool PumpUntil(F&& done)
{
    const DWORD start = ::GetTickCount();
    MSG msg;
    while (!done()) {
        if (::GetTickCount() - start > 10000)
            return false;
        if (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        } else {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
    }
    return true;
}

TRGB Px(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return TRGB{b, g, r}; }

// Every pixel its own colour: x in red, y in green, a mix in blue.
void FillPattern(TIEBitmap& bmp, int w, int h)
{
    bmp.Allocate(w, h, ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            bmp.SetPixel24(x, y, Px(std::uint8_t(x * 7), std::uint8_t(y * 5), std::uint8_t(x * 3 + y * 11)));
}

TRGB BackPixel(TVodirAdView& view, int x, int y)
{
    win::TBitmap* bb = view.BackBuffer();
    const auto* row = static_cast<const std::uint8_t*>(bb->ScanLine(y));
    return TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
}

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

// The left button pressed and released at each point in turn.
void Click(TVodirAdView& view, std::initializer_list<std::pair<int, int>> points)
{
    for (const auto& [x, y] : points) {
        ::SendMessageA(view.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
        ::SendMessageA(view.Handle(), WM_LBUTTONUP, 0, At(x, y));
    }
}

// The left button pressed at the first point, moved through the others and released at the last.
void Drag(TVodirAdView& view, std::initializer_list<std::pair<int, int>> path)
{
    auto it = path.begin();
    ::SendMessageA(view.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(it->first, it->second));
    for (++it; it != path.end(); ++it)
        ::SendMessageA(view.Handle(), WM_MOUSEMOVE, MK_LBUTTON, At(it->first, it->second));
    const auto last = *(path.end() - 1);
    ::SendMessageA(view.Handle(), WM_LBUTTONUP, 0, At(last.first, last.second));
}

TRGB Rgb(COLORREF c) { return TRGB{GetBValue(c), GetGValue(c), GetRValue(c)}; }

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<win::TForm>(nullptr);
        form->SetBounds(10, 10, 420, 340);
        view = new TVodirAdView(form.get());
        view->SetParent(form.get());
        view->SetBounds(4, 4, 304, 204);  // a 300 x 200 client inside the 2-pixel edge
        form->Show();
        Pump();
    }
    void TearDown() override { form.reset(); }

    void Show(int w, int h)
    {
        FillPattern(*view->GetIEBitmap(), w, h);
        view->Update();
        Pump();
    }

    std::unique_ptr<win::TForm> form;
    TVodirAdView* view = nullptr;  // owned by the form
};

// The view's published properties in the order it declares them.
const std::vector<std::string> kDeclaredProperties = {"LegacyBitmap",
                                                      "DoubleBuffer",
                                                      "ZoomFilter",
                                                      "ScrollBars",
                                                      "OnViewChange",
                                                      "OnImageChange",
                                                      "SelectionOptions",
                                                      "Center",
                                                      "MouseInteract",
                                                      "AutoFit",
                                                      "SelectionBase",
                                                      "BackgroundStyle",
                                                      "OnSelectionChange",
                                                      "OnSelectionChanging",
                                                      "OnMouseInSel",
                                                      "DelayZoomFilter",
                                                      "OnPaint",
                                                      "EnableAlphaChannel",
                                                      "OnMouseInResizingGrip",
                                                      "OnZoomIn",
                                                      "OnZoomOut",
                                                      "OnProgress",
                                                      "AutoStretch",
                                                      "AutoShrink",
                                                      "OnBeforeSelectionChange",
                                                      "DrawVersion",
                                                      "OnDrawBackBuffer",
                                                      "OnLayerNotify",
                                                      "DrawCaption",
                                                      "Caption",
                                                      "CaptionFont",
                                                      "CaptionColor",
                                                      "OnDShowNewFrame",
                                                      "OnDShowEvent"};

TEST_F(ViewTest, StartsWithTheDocumentedDefaults)
{
    auto fresh = std::make_unique<TVodirAdView>(nullptr);
    EXPECT_EQ(fresh->Width(), 105);
    EXPECT_EQ(fresh->Height(), 105);
    EXPECT_EQ(fresh->Cursor(), 1785);
    EXPECT_EQ(fresh->Zoom(), 100);
    EXPECT_EQ(fresh->ScrollBars(), win::ssBoth);
    EXPECT_EQ(fresh->SelectionOptions().Bits(), kIEDefaultSelectionOptions.Bits());
    EXPECT_EQ(fresh->DpiX(), 300);
    EXPECT_EQ(fresh->DpiY(), 300);
    EXPECT_TRUE(fresh->LegacyBitmap());
    EXPECT_TRUE(fresh->Center());
    EXPECT_EQ(fresh->LayersCount(), 1);
    EXPECT_EQ(fresh->GetIEBitmap(), fresh->Layers(0)->Bitmap());
    EXPECT_EQ(fresh->Caption(), "Image=%iw%x%ih% Client=%cw%x%ch%");
    EXPECT_EQ(fresh->CaptionFont()->Size(), 11);
    EXPECT_EQ(fresh->Background(), win::clBtnFace);
    for (const std::string& name : kDeclaredProperties)
        EXPECT_NE(fresh->ClassInfo().FindProp(name), nullptr) << name;
    for (const char* name : {"Background", "Cursor"})
        EXPECT_NE(fresh->ClassInfo().FindProp(name), nullptr) << name;
}

TEST_F(ViewTest, PublishesItsOwnPropertiesInTheDeclaredOrder)
{
    // Caption is the control's own, published further up; the rest are the view's, in this order.
    std::vector<std::string> own;
    for (const rtl::TPropInfo& p : TVodirAdView::StaticClassInfo().Props)
        if (std::find(kDeclaredProperties.begin(), kDeclaredProperties.end(), p.Name) !=
            kDeclaredProperties.end())
            own.push_back(p.Name);
    std::vector<std::string> expected = kDeclaredProperties;
    std::erase(expected, "Caption");
    EXPECT_EQ(own, expected);
    EXPECT_NE(view->ClassInfo().FindProp("Caption"), nullptr);
}

TEST_F(ViewTest, TheViewCursorsComeFromTheProgramsResources)
{
    HINSTANCE module = ::GetModuleHandleA(nullptr);
    for (auto [number, name] :
         {std::pair{1778, "ZOOMMENO"}, {1785, "CROCE3"}, {1791, "CROCE3+"}, {1795, "CROCE2-"}}) {
        HCURSOR own = ::LoadCursorA(module, name);
        ASSERT_NE(own, nullptr) << name;
        EXPECT_EQ(win::Screen->Cursors(number), own) << name;
    }
    EXPECT_NE(win::Screen->Cursors(1785), ::LoadCursorA(nullptr, IDC_CROSS));
}

TEST_F(ViewTest, ZoomsNotAboveZeroChangeNothingAndTheSameZoomFiresOnce)
{
    Show(100, 80);
    int changes = 0;
    view->OnViewChange = [&](rtl::TObject*, int c) { changes += c == 1; };
    view->SetZoom(0);
    view->SetZoom(-5);
    EXPECT_EQ(view->Zoom(), 100);
    view->SetZoom(250);
    view->SetZoom(250);
    EXPECT_EQ(changes, 1);
}

TEST_F(ViewTest, ScrollingStopsAtTheMaximumAndSmallImagesDoNotScroll)
{
    Show(1000, 700);
    int maxX, maxY;
    view->MaxViewXY(maxX, maxY);
    EXPECT_GT(maxX, 0);
    int changes = 0;
    view->OnViewChange = [&](rtl::TObject*, int c) { changes += c == 0; };
    view->SetViewXY(100000, 100000);
    EXPECT_EQ(view->ViewX(), maxX);
    EXPECT_EQ(view->ViewY(), maxY);
    EXPECT_EQ(changes, 1);
    view->SetViewXY(100000, 100000);
    EXPECT_EQ(changes, 1);

    Show(50, 40);
    view->MaxViewXY(maxX, maxY);
    EXPECT_EQ(maxX, 0);
    EXPECT_EQ(maxY, 0);
    view->SetViewXY(10, 10);
    EXPECT_EQ(view->ViewX(), 0);
}

TEST_F(ViewTest, ScrollBarsComeOnlyWithSomethingToScroll)
{
    Show(100, 80);
    const auto styles = [&] {
        return ::GetWindowLongA(view->Handle(), GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL);
    };
    EXPECT_EQ(styles(), 0);
    Show(900, 80);
    EXPECT_EQ(styles(), WS_HSCROLL);
    Show(900, 900);
    EXPECT_EQ(styles(), WS_HSCROLL | WS_VSCROLL);
    view->SetScrollBars(win::ssNone);
    EXPECT_EQ(styles(), 0);
}

TEST_F(ViewTest, ZoomingInFromAFittedViewKeepsTheCentre)
{
    Show(600, 400);
    view->Fit();
    Pump();
    EXPECT_EQ(view->ViewX(), 0);
    const int cx = view->ClientWidth() / 2, cy = view->ClientHeight() / 2;
    const int ix = view->XScr2Bmp(cx), iy = view->YScr2Bmp(cy);
    view->SetZoom(400);
    Pump();
    EXPECT_NEAR(view->XScr2Bmp(view->ClientWidth() / 2), ix, 2);
    EXPECT_NEAR(view->YScr2Bmp(view->ClientHeight() / 2), iy, 2);
    EXPECT_GT(view->ViewX(), 0);
}

TEST_F(ViewTest, FitShowsTheWholeImageAndDoesNothingWithoutOne)
{
    view->Fit();
    EXPECT_EQ(view->Zoom(), 100);
    Show(600, 100);
    view->Fit();
    Pump();
    EXPECT_NEAR(view->Zoom(), 50, 0.5);
    EXPECT_EQ(::GetWindowLongA(view->Handle(), GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL), 0);
}

TEST_F(ViewTest, AutoFitSettlesWithoutScrollBarsAndAClientOfNoSizeDividesNothing)
{
    view->SetAutoFit(true);
    // Sizes where a scroll bar would change the fit and the fit the scroll bar.
    for (auto [w, h] : {std::pair{301, 201}, {302, 199}, {3000, 2001}, {1, 5000}}) {
        Show(w, h);
        EXPECT_EQ(::GetWindowLongA(view->Handle(), GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL), 0)
            << w << "x" << h;
        EXPECT_LE(std::lround(w * view->Zoom() / 100), 300) << w;
    }
    view->SetBounds(4, 4, 0, 0);
    Show(40, 30);
    EXPECT_TRUE(std::isfinite(view->Zoom()));
    EXPECT_GE(view->Zoom(), 1);
}

TEST_F(ViewTest, UnlockUpdateRefreshesAndUnlockNoRefreshDoesNot)
{
    Show(50, 40);
    view->LockUpdate();
    view->GetIEBitmap()->Allocate(70, 60, ie24RGB);
    view->UnlockUpdateNoRefresh();
    EXPECT_EQ(view->ImageWidth(), 50);
    view->UnlockUpdateNoRefresh();  // not below 0
    EXPECT_EQ(view->UpdateLockCount(), 0);
    view->UnlockUpdate();  // at 0 already, still updates
    EXPECT_EQ(view->ImageWidth(), 70);
}

TEST_F(ViewTest, PlatformBitmapHoldsTheImageWhileLegacyBitmapIsOn)
{
    Show(30, 20);
    win::TBitmap* platform = view->GetTBitmap();
    ASSERT_NE(platform, nullptr);
    EXPECT_EQ(platform->Width(), 30);
    const auto* row = static_cast<const std::uint8_t*>(platform->ScanLine(3));
    EXPECT_EQ(row[3 * 4 + 2], 4 * 7);
    view->SetLegacyBitmap(false);
    EXPECT_EQ(view->GetTBitmap(), nullptr);
    EXPECT_NE(view->GetIEBitmap()->Location(), ieTBitmap);
    EXPECT_EQ(view->GetIEBitmap()->GetPixel24(4, 3).r, 4 * 7);
}

TEST_F(ViewTest, LegacyBitmapKeepsSixteenBitGreyAndFloatImagesAsTheyAre)
{
    for (TIEPixelFormat format : {ie16g, ie32f}) {
        TIEBitmap* bmp = view->GetIEBitmap();
        bmp->Allocate(8, 6, format);
        if (format == ie16g) {
            const std::uint16_t v = 0x1234;
            std::memcpy(bmp->ScanLine(2) + 2 * 5, &v, 2);
        } else {
            const float v = 0.25f;
            std::memcpy(bmp->ScanLine(2) + 4 * 5, &v, 4);
        }
        view->SetLegacyBitmap(false);
        view->SetLegacyBitmap(true);
        view->Update();
        Pump();
        EXPECT_EQ(bmp->GetPixelFormat(), format);
        EXPECT_EQ(view->GetTBitmap(), nullptr);
        if (format == ie16g) {
            std::uint16_t v;
            std::memcpy(&v, bmp->ScanLine(2) + 2 * 5, 2);
            EXPECT_EQ(v, 0x1234);
        }
        EXPECT_NO_THROW(view->BackBuffer());
    }
}

TEST_F(ViewTest, RemovingAlphaMergesTowardTheSystemColourItself)
{
    Show(10, 10);
    TIEBitmap* alpha = view->GetAlphaChannel();
    alpha->Fill(0);
    alpha->ScanLine(0)[0] = 128;
    ASSERT_EQ(view->Background(), win::clBtnFace);
    const TRGB face = Rgb(::GetSysColor(COLOR_BTNFACE));
    const TRGB before = view->GetIEBitmap()->GetPixel24(0, 0);
    view->RemoveAlphaChannel(true);
    EXPECT_FALSE(view->HasAlphaChannel());
    EXPECT_EQ(view->GetIEBitmap()->GetPixel24(5, 5), face);
    const TRGB half = view->GetIEBitmap()->GetPixel24(0, 0);
    EXPECT_EQ(half.r, face.r + int(std::floor((before.r - face.r) * 128 / 256.0)));
    EXPECT_EQ(half.b, face.b + int(std::floor((before.b - face.b) * 128 / 256.0)));
}

TEST_F(ViewTest, RemovingAlphaOfAnotherSizeRaisesBeforeAnyPixelChanges)
{
    // Wider, narrower, taller and shorter channels than the 10 x 10 image, and one of another format.
    struct TCase {
        int w, h;
        TIEPixelFormat format;
    };
    for (const TCase c : {TCase{14, 10, ie8g}, TCase{6, 10, ie8g}, TCase{10, 13, ie8g}, TCase{10, 4, ie8g},
                          TCase{10, 10, ie1g}}) {
        Show(10, 10);
        const std::vector<std::uint8_t> before = test::Rows(*view->GetIEBitmap());
        TIEBitmap* alpha = view->GetAlphaChannel();
        alpha->Allocate(c.w, c.h, c.format);
        alpha->Fill(0);
        EXPECT_THROW(view->RemoveAlphaChannel(true), rtl::EInvalidArgument) << c.w << "x" << c.h;
        EXPECT_TRUE(view->HasAlphaChannel()) << c.w << "x" << c.h;
        EXPECT_EQ(view->GetAlphaChannel()->GetWidth(), c.w);
        EXPECT_TRUE(test::Rows(*view->GetIEBitmap()) == before) << "pixels merged for " << c.w << "x" << c.h;
        view->RemoveAlphaChannel(false);
    }
}

TEST_F(ViewTest, ComponentsAreMadeOnceAttachedAndGetTheProgressEvent)
{
    int progress = 0;
    view->SetOnProgress([&](rtl::TObject*, int) { ++progress; });
    TVodirAdIO* io = view->GetIO();
    ASSERT_NE(io, nullptr);
    EXPECT_EQ(view->GetIO(), io);
    EXPECT_EQ(io->AttachedVodirAd(), view);
    EXPECT_EQ(io->Owner(), view);
    EXPECT_TRUE(io->OnProgress.Assigned());
    TVodirAdProc* proc = view->GetProc();
    EXPECT_EQ(view->GetProc(), proc);
    EXPECT_EQ(proc->AttachedVodirAd(), view);
    EXPECT_EQ(proc->Bitmap(), view->GetIEBitmap());
    // A load through the view's own component lands in the view.
    const std::vector<std::uint8_t> bmp = test::PatternBmp(37, 21, [](int x, int y) {
        return TRGB{std::uint8_t(x), std::uint8_t(y), 9};
    });
    rtl::TMemoryStream stream;
    stream.WriteBuffer(bmp.data(), std::int32_t(bmp.size()));
    stream.SetPosition(0);
    io->LoadFromStream(stream);
    EXPECT_FALSE(io->AbortFlag.load());
    EXPECT_EQ(view->ImageWidth(), 37);
    EXPECT_EQ(view->ImageHeight(), 21);
    EXPECT_GT(progress, 0);
}

TEST_F(ViewTest, WithoutTheIOLibraryStartedGetIOFailsCleanly)
{
    IESetViewIOHooks(nullptr);
    EXPECT_THROW(view->GetIO(), rtl::Exception);
    IEInstallViewIOHooks();
    EXPECT_NE(view->GetIO(), nullptr);
}

TEST_F(ViewTest, LoadEndedMessageAppliesThePendingRotation)
{
    Show(30, 10);
    view->PendingRotation = 1;
    ::SendMessageA(view->Handle(), kIEMsgLoadEnded, 0, 0);
    EXPECT_EQ(view->ImageWidth(), 10);
    EXPECT_EQ(view->ImageHeight(), 30);
    view->Update();  // the flag was consumed
    EXPECT_EQ(view->ImageWidth(), 10);
}

// A view's I/O component whose DirectShow wrapper is a token of the test.
int gToken = 0;
bool IsToken(TVodirAdIO*, const void* wrapper) { return wrapper == &gToken; }

TEST_F(ViewTest, DirectShowMessagesActOnlyForTheViewsOwnLiveWrapper)
{
    int frames = 0, events = 0;
    view->OnDShowNewFrame = [&](rtl::TObject* s) { frames += s == view; };
    view->OnDShowEvent = [&](rtl::TObject* s) { events += s == view; };
    // Without its I/O component a view has no wrapper: nothing is followed, whatever the pointer.
    for (LPARAM lp : {LPARAM(0), LPARAM(1), LPARAM(&gToken), LPARAM(view), LPARAM(0xDEADBEEF)}) {
        ::SendMessageA(view->Handle(), kIEMsgDShowNewFrame, 0, lp);
        ::PostMessageA(view->Handle(), kIEMsgDShowEvent, 0, lp);
    }
    Pump();
    EXPECT_EQ(frames + events, 0);

    TIEViewIOHooks hooks;
    hooks.Create = [](TIEView* v) {
        auto* io = new TVodirAdIO(v);
        io->SetAttachedVodirAd(v);
        return io;
    };
    hooks.AsComponent = [](TVodirAdIO* io) -> rtl::TComponent* { return io; };
    hooks.IsLiveDirectShow = IsToken;
    IESetViewIOHooks(&hooks);
    view->GetIO();
    for (LPARAM lp : {LPARAM(0), LPARAM(view), LPARAM(0xDEADBEEF), LPARAM(&gToken)}) {
        ::SendMessageA(view->Handle(), kIEMsgDShowNewFrame, 0, lp);
        ::PostMessageA(view->Handle(), kIEMsgDShowEvent, 0, lp);
    }
    Pump();
    IEInstallViewIOHooks();
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(events, 1);
}

TEST_F(ViewTest, LayersEachOwnTheirBitmapAndComponentsFollowTheCurrentOne)
{
    Show(40, 30);
    TVodirAdProc* proc = view->GetProc();
    TIEBitmap layerPicture;
    FillPattern(layerPicture, 20, 10);
    const int index = view->LayersAdd(&layerPicture);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(view->LayersCurrent(), 1);
    EXPECT_EQ(view->GetIEBitmap(), view->Layers(1)->Bitmap());
    EXPECT_NE(view->Layers(1)->Bitmap(), &layerPicture);
    EXPECT_EQ(proc->Bitmap(), view->GetIEBitmap());
    view->SetLayersCurrent(0);
    EXPECT_EQ(proc->Bitmap(), view->Layers(0)->Bitmap());
    view->SetLayersCurrent(7);
    EXPECT_EQ(view->LayersCurrent(), 0);
    view->SetLayersCurrent(1);
    view->LayersRemove(1);
    EXPECT_EQ(view->LayersCount(), 1);
    EXPECT_EQ(view->GetIEBitmap(), view->Layers(0)->Bitmap());
    EXPECT_EQ(proc->Bitmap(), view->GetIEBitmap());
    // Switching and destroying: each bitmap has one owner and is freed once, and a component the
    // view does not own lets go of it (the view's own component dies with it).
    TVodirAdProc follower(nullptr);
    follower.SetAttachedVodirAd(view);
    view->LayersAdd(&layerPicture);
    view->SetLayersCurrent(1);
    EXPECT_EQ(follower.Bitmap(), view->GetIEBitmap());
    delete view;
    view = nullptr;
    EXPECT_EQ(follower.AttachedVodirAd(), nullptr);
}

TEST_F(ViewTest, LayersSyncGrowsEveryLayerToTheLargestWithoutScaling)
{
    Show(40, 30);
    TIEBitmap big;
    FillPattern(big, 60, 20);
    view->LayersAdd(&big);
    view->Update();
    EXPECT_EQ(view->Layers(0)->Bitmap()->GetWidth(), 60);
    EXPECT_EQ(view->Layers(0)->Bitmap()->GetHeight(), 30);
    EXPECT_EQ(view->Layers(1)->Bitmap()->GetHeight(), 30);
    EXPECT_EQ(view->Layers(0)->Bitmap()->GetPixel24(39, 29).r, 39 * 7 % 256);
}

// ---- painting --------------------------------------------------------------------------------------

TEST_F(ViewTest, AnOpaqueCoveringFirstLayerLeavesTheBackgroundOutButTransparency254LetsItIn)
{
    Show(600, 400);
    view->SetBackground(0x0000FF);
    const TRGB image = BackPixel(*view, 10, 10);
    EXPECT_EQ(image, view->GetIEBitmap()->GetPixel24(10, 10));
    view->Layers(0)->Transparency = 254;
    view->InvalidateBackBuffer();
    const TRGB blended = BackPixel(*view, 10, 10);
    EXPECT_EQ(blended.r, std::uint8_t(image.r + (255 - image.r) * 2 / 256));
    EXPECT_EQ(blended.g, std::uint8_t(image.g - image.g * 2 / 256 - (image.g * 2 % 256 != 0)));
}

TEST_F(ViewTest, ChessboardOnTheDefaultBackgroundAlternatesWithItsComplement)
{
    view->SetBackgroundStyle(iebsChessboard);
    Show(10, 10);
    const TRGB face = Rgb(::GetSysColor(COLOR_BTNFACE));
    const TRGB complement{std::uint8_t(255 - face.b), std::uint8_t(255 - face.g), std::uint8_t(255 - face.r)};
    EXPECT_EQ(BackPixel(*view, 0, 0), complement);
    EXPECT_EQ(BackPixel(*view, 16, 0), face);
    EXPECT_EQ(BackPixel(*view, 0, 16), face);
    EXPECT_EQ(BackPixel(*view, 17, 17), complement);
    EXPECT_NE(face, complement);
}

TEST_F(ViewTest, ChessboardSquaresTakeTheHatchOfTheirBrushStyle)
{
    // Which lines of the hatch colour cross a whole square: rows, columns, falling diagonals (x - y
    // fixed, modulo the hatch's 8 pixels) and rising ones (x + y fixed).
    struct TCase {
        win::TBrushStyle style;
        bool rows, columns, falling, rising;
    };
    const TCase cases[] = {
        {win::bsHorizontal, true, false, false, false}, {win::bsVertical, false, true, false, false},
        {win::bsFDiagonal, false, false, true, false},  {win::bsBDiagonal, false, false, false, true},
        {win::bsCross, true, true, false, false},       {win::bsDiagCross, false, false, true, true},
    };
    view->SetBackground(0x0000FF);
    view->SetBackgroundStyle(iebsChessboard);
    view->ChessboardSize = 16;
    const TRGB line{255, 255, 0};  // the first square's colour: the complement of red
    for (const TCase& c : cases) {
        view->ChessboardBrushStyle = c.style;
        Show(10, 10);
        view->InvalidateBackBuffer();
        const auto on = [&](int x, int y) { return BackPixel(*view, x, y) == line; };
        bool row = false, column = false, falling = false, rising = false;
        for (int k = 0; k < 8; ++k) {
            bool fullRow = true, fullColumn = true, fullFalling = true, fullRising = true;
            for (int i = 0; i < 16; ++i) {
                fullRow = fullRow && on(i, k);
                fullColumn = fullColumn && on(k, i);
            }
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    if ((x - y + 16) % 8 == k)
                        fullFalling = fullFalling && on(x, y);
                    if ((x + y) % 8 == k)
                        fullRising = fullRising && on(x, y);
                }
            row = row || fullRow;
            column = column || fullColumn;
            falling = falling || fullFalling;
            rising = rising || fullRising;
        }
        EXPECT_EQ(row, c.rows) << "brush style " << int(c.style);
        EXPECT_EQ(column, c.columns) << "brush style " << int(c.style);
        EXPECT_EQ(falling, c.falling) << "brush style " << int(c.style);
        EXPECT_EQ(rising, c.rising) << "brush style " << int(c.style);
    }
}

TEST_F(ViewTest, DiagonalsAndGradientUseTheResolvedBackground)
{
    Show(4, 4);
    const TRGB face = Rgb(::GetSysColor(COLOR_BTNFACE));
    view->SetBackgroundStyle(iebsDiagonals);
    const TRGB complement{std::uint8_t(255 - face.b), std::uint8_t(255 - face.g), std::uint8_t(255 - face.r)};
    EXPECT_EQ(BackPixel(*view, 0, 0), complement);
    EXPECT_EQ(BackPixel(*view, 50, 0), face);
    view->SetBackgroundStyle(iebsGradient);
    const TRGB top = BackPixel(*view, 5, 0), bottom = BackPixel(*view, 5, view->ClientHeight() - 1);
    EXPECT_NEAR(top.r, face.r, 2);
    EXPECT_NEAR(bottom.b, 255, 3);
    EXPECT_NEAR(bottom.r, 0, 3);
}

TEST_F(ViewTest, CroppedStylesDrawTheirEdgeOnlyAroundImagesOfMoreThanOnePixel)
{
    view->SetBackground(0x00FF00);
    const TRGB face = Rgb(::GetSysColor(COLOR_BTNFACE));
    for (TIEBackgroundStyle style : {iebsCropped, iebsCropShadow}) {
        view->SetBackgroundStyle(style);
        Show(1, 1);
        int other = 0;
        for (int y = 0; y < view->ClientHeight(); y += 3)
            for (int x = 0; x < view->ClientWidth(); x += 3)
                other += !(BackPixel(*view, x, y) == face);
        EXPECT_EQ(other, 0) << style;
        Show(20, 20);
        const int right = view->XBmp2Scr(20), bottom = view->YBmp2Scr(20);
        EXPECT_NE(BackPixel(*view, right + 1, bottom - 2), face) << style;
    }
}

TEST_F(ViewTest, BackBufferReachesTheWindow)
{
    Show(600, 400);
    view->SetZoom(200);
    view->SetViewXY(33, 17);
    Pump();
    HDC dc = ::GetDC(view->Handle());
    for (auto [x, y] : {std::pair{0, 0}, {150, 90}, {view->ClientWidth() - 1, view->ClientHeight() - 1}}) {
        const COLORREF c = ::GetPixel(dc, x, y);
        const TRGB expected = BackPixel(*view, x, y);
        EXPECT_EQ(Rgb(c), expected) << x << "," << y;
        EXPECT_EQ(expected, view->GetIEBitmap()->GetPixel24((x + 33) / 2, (y + 17) / 2));
    }
    ::ReleaseDC(view->Handle(), dc);
}

TEST_F(ViewTest, CaptionIsWrittenWithItsPlaceholdersReplaced)
{
    Show(8, 8);
    view->SetBackground(0x000000);
    view->SetDrawCaption(true);
    view->Repaint();
    Pump();
    HDC dc = ::GetDC(view->Handle());
    int yellow = 0;
    for (int y = 140; y < 200; ++y)
        for (int x = 0; x < 300; x += 1)
            yellow += ::GetPixel(dc, x, y) == RGB(255, 255, 0);
    ::ReleaseDC(view->Handle(), dc);
    EXPECT_GT(yellow, 30);
}

// ---- selections ---------------------------------------------------------------------------------------

TEST_F(ViewTest, RectangleSelectionCoversBothCornersAndNothingWhollyOutside)
{
    Show(100, 80);
    view->SetSelectionBase(iesbBitmap);
    view->Select(10, 5, 20, 15);
    ASSERT_TRUE(view->Selected());
    EXPECT_TRUE(view->SelectionMask().IsPointInside(10, 5));
    EXPECT_TRUE(view->SelectionMask().IsPointInside(20, 15));
    EXPECT_FALSE(view->SelectionMask().IsPointInside(21, 15));
    view->Select(-30, 5, -10, 15);
    EXPECT_FALSE(view->Selected());
    EXPECT_TRUE(view->SelectionMask().IsEmpty());
    view->Select(110, 5, 130, 15);
    EXPECT_FALSE(view->Selected());
}

TEST_F(ViewTest, SelectionPointsAreClampedAndPolygonsFilled)
{
    Show(50, 40);
    view->SetSelectionBase(iesbBitmap);
    view->AddSelPoint(-5, -5);
    view->AddSelPoint(500, 0);
    view->AddSelPoint(500, 500);
    EXPECT_EQ(view->SelectionPoints()[1].X, 50);
    EXPECT_EQ(view->SelectionPoints()[2].Y, 40);
    EXPECT_TRUE(view->Selected());
    EXPECT_TRUE(view->SelectionMask().IsPointInside(45, 30));
    view->Deselect();
    EXPECT_FALSE(view->Selected());
    EXPECT_EQ(view->SelectionPoints().Count(), 0);
}

TEST_F(ViewTest, MovingASelectionKeepsItInsideUnlessBordersMayCut)
{
    Show(50, 40);
    view->SetSelectionBase(iesbBitmap);
    view->Select(10, 10, 19, 19);
    view->MoveSelection(-100, 0);
    EXPECT_EQ(view->SelectionPoints()[0].X, 0);
    EXPECT_EQ(view->SelectionPoints()[1].X, 10);
}

TEST_F(ViewTest, MovedSelectionsAreCutByTheBordersOnlyWithCutBorders)
{
    struct TCase {
        bool cut;
        int dx;
        bool selected;  // anything left inside the image
        int x1, x2;     // the mask's columns then
    };
    // A 10-pixel square at x 10..19, dragged left with the mouse; the mask is filled again from the
    // moved points when the drag ends.
    const TCase cases[] = {
        {false, -15, true, 0, 9},  {true, -15, true, 0, 4},   {false, -100, true, 0, 9},
        {true, -100, false, 0, 0}, {false, 45, true, 40, 49}, {true, 35, true, 45, 49},
    };
    Show(50, 40);
    view->SetZoom(400);  // 4 client pixels an image pixel
    view->SetViewXY(0, 0);
    view->SetMouseInteract({miSelect});
    for (const TCase& c : cases) {
        TIESelectionOptions options = kIEDefaultSelectionOptions - TIESelectionOptions{iesoCanScroll};
        if (c.cut)
            options.Include(iesoCutBorders);
        view->SetSelectionOptions(options);
        view->SetSelectionBase(iesbBitmap);
        view->Select(10, 10, 19, 19);
        view->SetSelectionBase(iesbClientArea);
        const int x = view->XBmp2Scr(15), y = view->YBmp2Scr(15);
        Drag(*view, {{x, y}, {x + 4 * c.dx, y}});
        const TIEMask& m = view->SelectionMask();
        ASSERT_EQ(view->Selected(), c.selected) << c.cut << " " << c.dx;
        if (!c.selected) {
            EXPECT_TRUE(m.IsEmpty());
            continue;
        }
        EXPECT_EQ(m.X1(), c.x1) << c.cut << " " << c.dx;
        EXPECT_EQ(m.X2(), c.x2) << c.cut << " " << c.dx;
        EXPECT_EQ(m.Y1(), 10);
        EXPECT_EQ(m.Y2(), 19);
    }
    // A shape that is not a rectangle moves its mask at once: cut at the border, or stopped there.
    for (bool cut : {false, true}) {
        view->SetSelectionOptions(cut ? kIEDefaultSelectionOptions + TIESelectionOptions{iesoCutBorders}
                                      : kIEDefaultSelectionOptions);
        view->SetSelectionBase(iesbBitmap);
        view->Deselect();
        for (auto [x, y] : {std::pair{10, 10}, {30, 10}, {10, 30}})
            view->AddSelPoint(x, y);
        const int before = view->SelectionMask().X2() - view->SelectionMask().X1();
        view->MoveSelection(-15, 0);
        const TIEMask& m = view->SelectionMask();
        EXPECT_EQ(m.X1(), 0) << cut;
        EXPECT_EQ(m.X2() - m.X1(), cut ? before - 5 : before) << cut;
        EXPECT_EQ(view->SelectionPoints()[0].X, cut ? -5 : 0) << cut;
    }
}

TEST_F(ViewTest, SnapshotsRestoreForTheSameSizeAndDamagedOnesChangeNothing)
{
    Show(60, 40);
    view->SetSelectionBase(iesbBitmap);
    view->Select(5, 5, 14, 9);
    view->PushSelection();
    view->Select(30, 20, 40, 30);
    ASSERT_TRUE(view->PopSelection());
    EXPECT_TRUE(view->SelectionMask().IsPointInside(5, 5));
    EXPECT_FALSE(view->SelectionMask().IsPointInside(35, 25));
    EXPECT_FALSE(view->PopSelection());

    rtl::TMemoryStream good;
    view->SaveSelectionToStream(good);
    for (std::int32_t bits : {0, 2, 4, 32}) {
        rtl::TMemoryStream bad;
        bad.WriteBuffer(good.Memory(), std::int32_t(good.Size()));
        bad.SetPosition(12 + 4 * 8 + 16 + 1);
        bad.WriteBuffer(&bits, 4);
        bad.SetPosition(0);
        view->Deselect();
        EXPECT_FALSE(view->LoadSelectionFromStream(bad)) << bits;
        EXPECT_FALSE(view->Selected());
    }
    rtl::TMemoryStream shortStream;
    shortStream.WriteBuffer(good.Memory(), std::int32_t(good.Size() - 1));
    shortStream.SetPosition(0);
    EXPECT_FALSE(view->LoadSelectionFromStream(shortStream));
    // A snapshot of another image size is dropped.
    view->PushSelection();
    Show(61, 40);
    EXPECT_FALSE(view->PopSelection());
    EXPECT_EQ(view->SelectionStackCount(), 0);
}

TEST_F(ViewTest, MagicWandSeedMustBeAPixelOfTheImage)
{
    Show(40, 30);
    view->SetSelectionBase(iesbBitmap);
    view->MagicWandTolerance = 256;
    for (auto [x, y] : {std::pair{40, 5}, {5, 30}, {-1, 5}, {40, 30}}) {
        view->SelectMagicWand(x, y);
        EXPECT_FALSE(view->Selected()) << x << "," << y;
    }
    for (int mode : {0, 1, 2}) {
        view->MagicWandMode = mode;
        view->SelectMagicWand(39, 29);
        EXPECT_TRUE(view->Selected()) << mode;
        EXPECT_TRUE(view->SelectionMask().IsPointInside(0, 0)) << mode;
        EXPECT_EQ(view->SelectionPoints().Count() > 0, mode == 0);
    }
}

TEST_F(ViewTest, ChangingModesClosesAPolygonAndKeepsModesApart)
{
    Show(300, 200);  // the image fills the client: client pixels are image pixels
    view->SetMouseInteract({miSelectPolygon});
    int changes = 0;
    view->OnSelectionChange = [&](rtl::TObject*) { ++changes; };
    Click(*view, {{20, 20}, {120, 20}, {120, 90}});
    ASSERT_TRUE(view->IsSelecting());
    // Another mode closes the polygon in progress: its points are filled into the mask.
    view->SetMouseInteract({miSelect});
    EXPECT_FALSE(view->IsSelecting());
    EXPECT_TRUE(view->Selected());
    EXPECT_EQ(view->SelectionPoints().Count(), 3);
    EXPECT_TRUE(view->SelectionMask().IsPointInside(100, 30));
    EXPECT_FALSE(view->SelectionMask().IsPointInside(30, 80));
    // The next press starts a rectangle, not a fourth polygon point.
    Drag(*view, {{200, 150}, {230, 170}});
    EXPECT_EQ(view->SelectionPoints().Count(), 4);
    EXPECT_TRUE(view->SelectionPoints().IsRectangle());
    EXPECT_GE(changes, 1);

    view->SetMouseInteract({miScroll});
    view->SetMouseInteract({miScroll, miSelect});
    EXPECT_EQ(view->MouseInteract().Bits(), TIEMouseInteract{miSelect}.Bits());
    view->SetMouseInteract({miSelectPolygon});
    view->SetMouseInteract({miSelectPolygon, miZoom});
    EXPECT_EQ(view->MouseInteract().Bits(), TIEMouseInteract{miZoom}.Bits());
}

// ---- gestures through window messages ---------------------------------------------------------------

TEST_F(ViewTest, ClicksZoomByStepsAndAtThePoint)
{
    Show(400, 300);
    view->SetMouseInteract({miZoom});
    view->SetZoom(33);
    ::SendMessageA(view->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(20, 20));
    ::SendMessageA(view->Handle(), WM_LBUTTONUP, 0, At(20, 20));
    EXPECT_EQ(view->Zoom(), 50);
    view->SetZoom(100);
    ::SendMessageA(view->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(20, 20));
    ::SendMessageA(view->Handle(), WM_LBUTTONUP, 0, At(20, 20));
    EXPECT_EQ(view->Zoom(), 200);
    view->SetZoom(150);
    ::SendMessageA(view->Handle(), WM_RBUTTONDOWN, MK_RBUTTON, At(20, 20));
    ::SendMessageA(view->Handle(), WM_RBUTTONUP, 0, At(20, 20));
    EXPECT_EQ(view->Zoom(), 100);
    view->SetZoom(2);
    ::SendMessageA(view->Handle(), WM_RBUTTONDOWN, MK_RBUTTON, At(20, 20));
    ::SendMessageA(view->Handle(), WM_RBUTTONUP, 0, At(20, 20));
    EXPECT_EQ(view->Zoom(), 2);
    // OnZoomIn may change the zoom asked for.
    view->SetZoom(100);
    view->OnZoomIn = [](rtl::TObject*, double& z) { z = 300; };
    const int ix = view->XScr2Bmp(250), iy = view->YScr2Bmp(150);
    ::SendMessageA(view->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(250, 150));
    ::SendMessageA(view->Handle(), WM_LBUTTONUP, 0, At(250, 150));
    EXPECT_EQ(view->Zoom(), 300);
    EXPECT_NEAR(view->XScr2Bmp(view->ClientWidth() / 2), ix, 1);
    EXPECT_NEAR(view->YScr2Bmp(view->ClientHeight() / 2), iy, 1);
}

TEST_F(ViewTest, WheelZoomKeepsTheCentreAndIsIgnoredWithAutoFit)
{
    Show(600, 400);
    view->Fit();
    Pump();
    const int ix = view->XScr2Bmp(view->ClientWidth() / 2);
    const double before = view->Zoom();
    POINT p{150, 100};
    ::ClientToScreen(view->Handle(), &p);
    // Each notch keeps the centre's image pixel there, within the screen pixel its rounding loses;
    // from a fitted view none jumps to the top left.
    for (int i = 0; i < 12; ++i) {
        const int centre = view->XScr2Bmp(view->ClientWidth() / 2);
        ::SendMessageA(view->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(p.x, p.y));
        EXPECT_NEAR(view->XBmp2Scr(centre), view->ClientWidth() / 2, 2) << i;
    }
    EXPECT_GT(view->Zoom(), before * 2);
    EXPECT_NEAR(view->XScr2Bmp(view->ClientWidth() / 2), ix, 12);
    view->SetAutoFit(true);
    const double fitted = view->Zoom();
    ::SendMessageA(view->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(p.x, p.y));
    EXPECT_EQ(view->Zoom(), fitted);
}

TEST_F(ViewTest, AutomaticScrollingGoesOneStepPerTickWithoutHoldingTheWindow)
{
    Show(2000, 1500);
    view->SetMouseInteract({miSelect});
    ::SendMessageA(view->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(100, 100));
    ::SendMessageA(view->Handle(), WM_MOUSEMOVE, MK_LBUTTON, At(150, 120));
    // The mouse leaves the image on the right: the move returns at once, before any scrolling.
    POINT outside{view->ClientWidth() + 30, 120};
    POINT screen = outside;
    ::ClientToScreen(view->Handle(), &screen);
    ::SetCursorPos(screen.x, screen.y);
    ::SendMessageA(view->Handle(), WM_MOUSEMOVE, MK_LBUTTON, At(outside.x, outside.y));
    EXPECT_EQ(view->ViewX(), 0);
    // Then the timer scrolls, step by step, while the selection follows.
    ASSERT_TRUE(PumpUntil([&] { return view->ViewX() >= 60; }));
    EXPECT_LT(view->ViewX(), 1500);
    ::SendMessageA(view->Handle(), WM_LBUTTONUP, 0, At(outside.x, outside.y));
    const int stopped = view->ViewX();
    Pump();
    EXPECT_EQ(view->ViewX(), stopped);
    ASSERT_TRUE(view->Selected());
    int x1, y1, x2, y2;
    ASSERT_TRUE(view->SelectionPoints().Box(x1, y1, x2, y2));
    EXPECT_EQ(x1, 100);
    EXPECT_GE(x2, stopped + view->ClientWidth() - 1);
}

TEST_F(ViewTest, DoubleClickClosesAPolygon)
{
    Show(200, 150);  // centred: client (50, 25) is image (0, 0)
    view->SetMouseInteract({miSelectPolygon});
    int changes = 0;
    view->OnSelectionChange = [&](rtl::TObject*) { ++changes; };
    Click(*view, {{60, 40}, {200, 40}, {200, 140}});
    EXPECT_TRUE(view->IsSelecting());
    ::SendMessageA(view->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, At(200, 140));
    ::SendMessageA(view->Handle(), WM_LBUTTONUP, 0, At(200, 140));
    EXPECT_FALSE(view->IsSelecting());
    EXPECT_TRUE(view->Selected());
    EXPECT_EQ(view->SelectionPoints().Count(), 3);
    EXPECT_EQ(view->SelectionPoints()[0].X, 10);
    EXPECT_EQ(view->SelectionPoints()[0].Y, 15);
    EXPECT_TRUE(view->SelectionMask().IsPointInside(view->XScr2Bmp(180), view->YScr2Bmp(60)));
    EXPECT_FALSE(view->SelectionMask().IsPointInside(view->XScr2Bmp(80), view->YScr2Bmp(130)));
    EXPECT_GE(changes, 1);
}

TEST_F(ViewTest, EllipseDragSelectsTheInscribedEllipse)
{
    Show(600, 400);
    view->SetMouseInteract({miSelectCircle});
    Drag(*view, {{20, 20}, {60, 50}, {120, 120}});
    ASSERT_TRUE(view->Selected());
    EXPECT_GE(view->SelectionPoints().Count(), 50);
    const TIEMask& m = view->SelectionMask();
    EXPECT_TRUE(m.IsPointInside(70, 70));    // centre
    EXPECT_FALSE(m.IsPointInside(22, 22));   // corner of the box
    EXPECT_TRUE(m.IsPointInside(70, 24));    // near the top of the ellipse
    EXPECT_FALSE(m.IsPointInside(70, 130));  // below it
}

TEST_F(ViewTest, LassoAddsAPointAtEveryMove)
{
    Show(600, 400);
    view->SetMouseInteract({miSelectLasso});
    Drag(*view, {{10, 10}, {100, 12}, {110, 90}, {15, 95}});
    EXPECT_FALSE(view->IsSelecting());
    ASSERT_TRUE(view->Selected());
    EXPECT_EQ(view->SelectionPoints().Count(), 4);
    EXPECT_TRUE(view->SelectionMask().IsPointInside(50, 50));
}

TEST_F(ViewTest, ZoomRectangleZoomsToItAndKeepsTheSelection)
{
    Show(800, 600);
    view->SetSelectionBase(iesbBitmap);
    view->Select(5, 5, 9, 9);
    view->SetSelectionBase(iesbClientArea);
    view->SetMouseInteract({miSelectZoom});
    Drag(*view, {{100, 50}, {130, 80}, {150, 100}});
    // 51 x 51 pixels into a 283 x 183 client (the scroll bars take the rest).
    EXPECT_NEAR(view->Zoom(), view->ClientHeight() / 0.51, 0.01);
    EXPECT_NEAR(view->XScr2Bmp(0), 100, 2);
    EXPECT_NEAR(view->YScr2Bmp(0), 50, 2);
    // The selection before the gesture is back.
    EXPECT_TRUE(view->Selected());
    EXPECT_TRUE(view->SelectionMask().IsPointInside(7, 7));
    EXPECT_EQ(view->SelectionStackCount(), 0);
}

TEST_F(ViewTest, LayerGripsResizeTheCurrentLayerKeepingTheOppositeSide)
{
    Show(400, 300);
    TIEBitmap small;
    FillPattern(small, 50, 40);
    view->LayersSync = false;
    view->LayersAdd(&small);
    view->Layers(1)->PosX = 20;
    view->Layers(1)->PosY = 30;
    view->SetMouseInteract({miResizeLayers});
    view->BackBuffer();
    const TIERect box = view->Layers(1)->ClientAreaBox;
    int events = 0;
    view->OnLayerNotify = [&](rtl::TObject*, int layer, TIELayerEvent e) {
        events += layer == 1 && e == ielResized;
    };
    Drag(*view,
         {{box.Right, box.Bottom}, {box.Right + 10, box.Bottom + 5}, {box.Right + 20, box.Bottom + 10}});
    EXPECT_EQ(view->Layers(1)->PosX, 20);
    EXPECT_EQ(view->Layers(1)->DisplayWidth(), 70);
    EXPECT_EQ(view->Layers(1)->DisplayHeight(), 50);
    EXPECT_EQ(events, 1);
    view->BackBuffer();
    Drag(*view, {{view->Layers(1)->ClientAreaBox.Left, view->Layers(1)->ClientAreaBox.Top}, {35, 40}});
    EXPECT_EQ(view->Layers(1)->PosX + view->Layers(1)->DisplayWidth(), 90);
}

TEST_F(ViewTest, MagnifierLayerShowsWhatLiesUnderItMagnified)
{
    view->SetBackground(0x00FFFFFF);
    Show(300, 200);
    TIEBitmap lens;
    FillPattern(lens, 40, 40);
    view->LayersSync = false;
    view->LayersAdd(&lens);
    TIELayer& l = *view->Layers(1);
    l.PosX = 100;
    l.PosY = 60;
    l.Magnify = true;
    l.MagnifyZoom = 2;
    view->InvalidateBackBuffer();
    // The lens centre shows the image at its own centre; a lens pixel away from it shows the image
    // half as far away.
    const int cx = view->XBmp2Scr(120), cy = view->YBmp2Scr(80);
    EXPECT_EQ(BackPixel(*view, cx, cy), view->Layers(0)->Bitmap()->GetPixel24(120, 80));
    EXPECT_EQ(BackPixel(*view, cx + 10, cy), view->Layers(0)->Bitmap()->GetPixel24(125, 80));
}

TEST_F(ViewTest, GridLinesMarkPixelBoundariesFromFourHundredPercent)
{
    Show(100, 80);
    view->DisplayGrid = true;
    view->GridColor = 0x0000FF;
    view->SetZoom(300);
    EXPECT_NE(BackPixel(*view, view->XBmp2Scr(5), 10), TRGB(Px(255, 0, 0)));
    view->SetZoom(400);
    view->SetViewXY(0, 0);
    EXPECT_EQ(BackPixel(*view, view->XBmp2Scr(5), view->YBmp2Scr(3) + 2), Px(255, 0, 0));
    EXPECT_NE(BackPixel(*view, view->XBmp2Scr(5) + 2, view->YBmp2Scr(3) + 2), Px(255, 0, 0));
}

TEST_F(ViewTest, MarkOuterShadesOnlyTheUnselectedPart)
{
    view->SetBackground(0x00FFFFFF);
    Show(300, 200);
    view->GetIEBitmap()->Fill(0xFFFFFF);
    view->SetSelectionBase(iesbBitmap);
    view->Select(10, 10, 49, 49);
    view->SetSelectionOptions(view->SelectionOptions() + TIESelectionOptions{iesoMarkOuter});
    const TRGB grey{97, 97, 97}, white{255, 255, 255};
    const int ox = view->XBmp2Scr(0), oy = view->YBmp2Scr(0);
    EXPECT_EQ(BackPixel(*view, ox + 20, oy + 20), white);
    const int x = ox + 100, y = oy + 100;
    EXPECT_EQ(BackPixel(*view, x + ((x ^ y) & 1), y), grey);
    EXPECT_EQ(BackPixel(*view, x + 1 - ((x ^ y) & 1), y), white);
}

TEST_F(ViewTest, ScrollBarMessagesMoveTheOriginByLinesPagesAndEnds)
{
    Show(2000, 1500);
    view->ScrollBarParams.LineStep = 7;
    ::SendMessageA(view->Handle(), WM_HSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(view->ViewX(), 7);
    ::SendMessageA(view->Handle(), WM_HSCROLL, SB_PAGEDOWN, 0);
    EXPECT_EQ(view->ViewX(), 7 + view->ClientWidth());
    ::SendMessageA(view->Handle(), WM_VSCROLL, SB_BOTTOM, 0);
    int maxX, maxY;
    view->MaxViewXY(maxX, maxY);
    EXPECT_EQ(view->ViewY(), maxY);
    ::SendMessageA(view->Handle(), WM_HSCROLL, SB_TOP, 0);
    EXPECT_EQ(view->ViewX(), 0);
}

TEST_F(ViewTest, AssignTakesViewsBitmapsAndNothing)
{
    Show(30, 20);
    auto other = std::make_unique<TVodirAdView>(nullptr);
    FillPattern(*other->GetIEBitmap(), 12, 9);
    other->SetBackground(0x00123456);
    other->SetDpi(72, 96);
    view->Assign(other.get());
    EXPECT_EQ(view->ImageWidth(), 12);
    EXPECT_EQ(view->Background(), 0x00123456);
    EXPECT_EQ(view->DpiX(), 72);
    EXPECT_EQ(view->GetIEBitmap()->GetPixel24(3, 4), other->GetIEBitmap()->GetPixel24(3, 4));

    win::TBitmap bmp;
    bmp.SetPixelFormat(win::pf8bit);
    bmp.SetSize(7, 5);
    view->Assign(&bmp);
    EXPECT_EQ(view->ImageWidth(), 7);
    EXPECT_EQ(view->GetIEBitmap()->GetPixelFormat(), ie24RGB);

    view->Assign(nullptr);
    EXPECT_EQ(view->ImageWidth(), 7);
    EXPECT_EQ(view->GetIEBitmap()->GetPixel24(2, 2), Px(0x56, 0x34, 0x12));
}

}  // namespace

namespace {

// ---- handlers that change the layers, gestures that lose the mouse ----------------------------------

struct TLayerEvent {
    int layer;
    TIELayerEvent event;
    friend bool operator==(const TLayerEvent&, const TLayerEvent&) = default;
};

class LayerGestureTest : public ViewTest {
protected:
    // An image that fills the client (client pixels are image pixels), with two unlocked layers A
    // (index 1, at 20,30) and B (index 2, at 150,30), both 50 x 40, layer 0 current.
    void SetUp() override
    {
        events.clear();
        onEvent = nullptr;
        ViewTest::SetUp();
        Show(300, 200);
        view->LayersSync = false;
        TIEBitmap small;
        FillPattern(small, 50, 40);
        for (int x : {20, 150}) {
            const int index = view->LayersAdd(&small);
            view->Layers(index)->PosX = x;
            view->Layers(index)->PosY = 30;
        }
        view->SetLayersCurrent(0);
        view->BackBuffer();  // the layers' boxes, for the hit tests
        b = view->Layers(2);
        view->OnLayerNotify = [this](rtl::TObject*, int layer, TIELayerEvent e) {
            events.push_back({layer, e});
            if (onEvent)
                onEvent(layer, e);
        };
    }

    TIELayer* b = nullptr;  // owned by the view
    std::vector<TLayerEvent> events;
    std::function<void(int, TIELayerEvent)> onEvent;
};

TEST_F(LayerGestureTest, LayerHandlersMayChangeTheLayersDuringAPressAndADrag)
{
    struct TCase {
        const char* name;
        TIEMouseInteractItems mode;
        // What the handler does on the first event of the kind.
        TIELayerEvent when;
        std::function<void(TVodirAdView&)> change;
        // Which layer the press and the drag act on afterwards (by its index then), -1 none.
        int dragged;
        int layersAfter;
    };
    const TCase cases[] = {
        {"removes the pressed layer", miMoveLayers, ielSelected, [](TVodirAdView& v) { v.LayersRemove(2); },
         -1, 2},
        {"removes the layer under the pressed one", miMoveLayers, ielSelected,
         [](TVodirAdView& v) { v.LayersRemove(1); }, 1, 2},
        {"adds a layer on top", miMoveLayers, ielSelected, [](TVodirAdView& v) { v.LayersAdd(); }, 2, 4},
        {"makes another layer current", miMoveLayers, ielSelected,
         [](TVodirAdView& v) { v.SetLayersCurrent(1); }, 2, 3},
        {"removes the moving layer", miMoveLayers, ielMoving, [](TVodirAdView& v) { v.LayersRemove(2); }, -1,
         2},
        {"removes the layer under the moving one", miMoveLayers, ielMoving,
         [](TVodirAdView& v) { v.LayersRemove(1); }, 1, 2},
        {"removes the moved layer", miMoveLayers, ielMoved, [](TVodirAdView& v) { v.LayersRemove(2); }, -1,
         2},
        {"removes the resizing layer", miResizeLayers, ielResizing,
         [](TVodirAdView& v) { v.LayersRemove(2); }, -1, 2},
    };
    for (const TCase& c : cases) {
        SetUp();
        view->SetMouseInteract({c.mode});
        bool done = false;
        onEvent = [&](int, TIELayerEvent e) {
            if (!done && e == c.when) {
                done = true;
                c.change(*view);
            }
        };
        if (c.mode == miResizeLayers) {
            // B current with its grips (the view now maps B's size): its bottom right grip is dragged.
            view->SetLayersCurrent(2);
            view->BackBuffer();
            const TIERect r = view->Layers(2)->ClientAreaBox;
            events.clear();
            Drag(*view, {{r.Right, r.Bottom}, {r.Right + 10, r.Bottom + 5}, {r.Right + 20, r.Bottom + 10}});
        } else {
            Drag(*view, {{170, 50}, {175, 52}, {180, 55}});
        }
        EXPECT_TRUE(done) << c.name;
        EXPECT_EQ(view->LayersCount(), c.layersAfter) << c.name;
        EXPECT_EQ(view->GetIEBitmap(), view->Layers(view->LayersCurrent())->Bitmap()) << c.name;
        // Every event names a layer that existed when it fired, and after the change none names
        // the layer that went.
        for (const TLayerEvent& e : events)
            EXPECT_TRUE(e.layer >= 0 && e.layer < 4) << c.name << " " << e.layer;
        const auto last = events.empty() ? TLayerEvent{-1, ielSelected} : events.back();
        if (c.dragged < 0) {
            EXPECT_TRUE(last.event == c.when) << c.name << ": nothing after the layer went";
        } else {
            // The pressed layer B moved with the mouse, under whatever index it has now.
            EXPECT_EQ(view->Layers(c.dragged)->PosX, 160) << c.name;
            EXPECT_EQ(view->Layers(c.dragged)->PosY, 35) << c.name;
            EXPECT_EQ(last, (TLayerEvent{c.dragged, ielMoved})) << c.name;
        }
        // Nothing else moved.
        for (int i = 0; i < view->LayersCount(); ++i)
            if (i != c.dragged) {
                EXPECT_TRUE(view->Layers(i)->PosX == 0 || view->Layers(i)->PosX == 20 ||
                            view->Layers(i)->PosX == 150)
                    << c.name << " " << i;
            }
        TearDown();
    }
    SetUp();
}

// How a gesture can lose the mouse while the view holds the capture.
struct TCaptureLoss {
    const char* name;
    void (*lose)(HWND view);
};
const TCaptureLoss kCaptureLosses[] = {
    {"cancel mode", [](HWND v) { ::SendMessageA(v, WM_CANCELMODE, 0, 0); }},
    {"another window takes the capture",
     [](HWND) {
         HWND other =
             ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
         ::SetCapture(other);
         ::ReleaseCapture();
         ::DestroyWindow(other);
     }},
    {"the capture is released elsewhere", [](HWND) { ::ReleaseCapture(); }},
};

TEST_F(LayerGestureTest, AGestureThatLosesTheMouseEndsWhereItIsAndGivesTheFilterBack)
{
    struct TGesture {
        const char* name;
        TIEMouseInteractItems mode;
        std::pair<int, int> from, to;
    };
    const TGesture gestures[] = {
        {"rectangle", miSelect, {20, 120}, {80, 160}},
        {"ellipse", miSelectCircle, {20, 120}, {80, 160}},
        {"move", miSelect, {25, 20}, {55, 30}},
        {"grip", miSelect, {10, 10}, {5, 8}},
        {"zoom rectangle", miSelectZoom, {20, 120}, {80, 160}},
        {"layer move", miMoveLayers, {170, 50}, {180, 55}},
        {"scroll", miScroll, {100, 100}, {60, 70}},
    };
    for (const TCaptureLoss& loss : kCaptureLosses)
        for (const TGesture& g : gestures) {
            SetUp();
            const std::string name = std::string(loss.name) + ", " + g.name;
            if (std::string(g.name) == "scroll")
                Show(900, 700);
            view->GetIEBitmap()->Fill(0);
            view->InvalidateBackBuffer();
            view->SetZoomFilter(rfTriangle);
            view->SetDelayZoomFilter(true);
            view->SetSelectionBase(iesbBitmap);
            view->Select(10, 10, 39, 29);
            view->SetSelectionBase(iesbClientArea);
            view->SetMouseInteract({g.mode});
            int changes = 0;
            view->OnSelectionChange = [&](rtl::TObject*) { ++changes; };
            const double zoom = view->Zoom();

            ::SendMessageA(view->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(g.from.first, g.from.second));
            ::SendMessageA(view->Handle(), WM_MOUSEMOVE, MK_LBUTTON, At(g.to.first, g.to.second));
            ASSERT_EQ(::GetCapture(), view->Handle()) << name;
            if (g.mode != miScroll) {
                EXPECT_EQ(view->ZoomFilter(), rfNone) << name << ": suspended for the gesture";
            }
            loss.lose(view->Handle());

            EXPECT_EQ(view->ZoomFilter(), rfTriangle) << name;
            EXPECT_FALSE(view->IsSelecting()) << name;
            EXPECT_FALSE(view->IsScrolling()) << name;
            EXPECT_EQ(view->Zoom(), zoom) << name << ": no zoom without a release";
            EXPECT_EQ(view->SelectionStackCount(), 0) << name;
            const std::string kind = g.name;
            if (kind == "rectangle") {
                EXPECT_EQ(view->SelectionMask().X1(), 20) << name;
                EXPECT_EQ(view->SelectionMask().Y2(), 160) << name;
            } else if (kind == "move") {
                EXPECT_EQ(view->SelectionMask().X1(), 40) << name;
            } else if (kind == "grip") {
                EXPECT_EQ(view->SelectionMask().X1(), 5) << name;
            } else if (kind == "ellipse") {
                EXPECT_TRUE(view->SelectionMask().IsPointInside(50, 140)) << name;
            } else if (kind == "layer move") {
                EXPECT_EQ(b->PosX, 160) << name;
                EXPECT_EQ(events.back(), (TLayerEvent{2, ielMoved})) << name;
            } else if (kind == "zoom rectangle") {
                EXPECT_TRUE(view->SelectionMask().IsPointInside(10, 10))
                    << name << ": the old selection is back";
            }
            if (kind != "layer move" && kind != "scroll" && kind != "zoom rectangle") {
                EXPECT_EQ(changes, 1) << name;
            }
            if (kind == "rectangle" || kind == "move" || kind == "grip") {
                // The outline and the grips are drawn again: a grip's white square stands on the
                // black image just outside the selection's top left corner.
                view->Repaint();
                Pump();
                const int gx = view->XBmp2Scr(view->SelectionPoints()[0].X) - 3;
                const int gy = view->YBmp2Scr(view->SelectionPoints()[0].Y) - 3;
                HDC dc = ::GetDC(view->Handle());
                EXPECT_EQ(::GetPixel(dc, gx, gy), RGB(255, 255, 255)) << name;
                ::ReleaseDC(view->Handle(), dc);
            }
            // The next gesture runs suspended and restores the filter, not the suspension.
            view->SetMouseInteract({miSelect});
            Drag(*view, {{200, 150}, {230, 170}});
            EXPECT_EQ(view->ZoomFilter(), rfTriangle) << name;
            TearDown();
        }
    SetUp();
}

// ---- palette, caption, outline animation ----------------------------------------------------------

class TPaletteView : public TVodirAdView {
public:
    using TVodirAdView::TVodirAdView;
    struct TRealised {
        HWND window;
        bool viewInvalid;  // the view already waited for a repaint
    };
    std::vector<TRealised> realised;

protected:
    void RealizePaletteIn(HWND Window) override
    {
        RECT r;
        realised.push_back({Window, ::GetUpdateRect(Handle(), &r, FALSE) != FALSE});
        TVodirAdView::RealizePaletteIn(Window);
    }
};

TEST_F(ViewTest, APaletteChangeRealisesAgainstTheMainFormBeforeTheViewIsInvalidated)
{
    auto* probe = new TPaletteView(form.get());
    probe->SetParent(form.get());
    probe->SetBounds(310, 4, 100, 100);
    win::TCustomForm* mainBefore = win::Application->MainForm();
    win::Application->SetMainForm(form.get());
    Pump();
    HWND other =
        ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    struct TCase {
        UINT msg;
        WPARAM cause;
        bool realises;
    };
    const TCase cases[] = {
        {WM_PALETTECHANGED, WPARAM(other), true},
        {WM_PALETTECHANGED, WPARAM(form->Handle()), false},  // our own realising caused it
        {WM_PALETTECHANGED, WPARAM(probe->Handle()), false},
        {WM_QUERYNEWPALETTE, 0, true},
    };
    for (const TCase& c : cases) {
        Pump();
        RECT r;
        ASSERT_FALSE(::GetUpdateRect(probe->Handle(), &r, FALSE));
        probe->realised.clear();
        ::SendMessageA(probe->Handle(), c.msg, c.cause, 0);
        ASSERT_EQ(probe->realised.size(), c.realises ? 1u : 0u) << c.msg << " " << c.cause;
        if (c.realises) {
            EXPECT_EQ(probe->realised[0].window, form->Handle());
            EXPECT_FALSE(probe->realised[0].viewInvalid);
        }
        EXPECT_TRUE(::GetUpdateRect(probe->Handle(), &r, FALSE)) << c.msg << " " << c.cause;
    }
    ::DestroyWindow(other);
    win::Application->SetMainForm(mainBefore);
}

TEST_F(ViewTest, CaptionColourIsTheClearBrushsNotABoxBehindTheText)
{
    Show(300, 200);
    view->GetIEBitmap()->Fill(0);
    view->SetDrawCaption(true);
    // Colours with blue in them: the text is yellow and the picture black, so any blue is the brush's.
    for (TColor colour : {TColor(0xFF0000), TColor(0xFFFF00), TColor(0x808080), TColor(win::clNone)}) {
        view->SetCaptionColor(colour);
        view->Repaint();
        Pump();
        HDC dc = ::GetDC(view->Handle());
        int yellow = 0, other = 0;
        for (int y = 120; y < 200; ++y)
            for (int x = 0; x < 300; ++x) {
                const COLORREF c = ::GetPixel(dc, x, y);
                yellow += c == RGB(255, 255, 0);
                other += GetBValue(c) != 0;
            }
        ::ReleaseDC(view->Handle(), dc);
        EXPECT_GT(yellow, 30) << colour;
        EXPECT_EQ(other, 0) << colour;
    }
}

TEST_F(ViewTest, OutlineAnimationRunsItsPhaseFromZeroToNine)
{
    Show(300, 200);
    view->GetIEBitmap()->Fill(0);
    view->InvalidateBackBuffer();
    // Two points make no area: the selection shows as its point outline, a line there and back.
    // The line back is drawn last and starts at (120, 50).
    view->SetSelectionBase(iesbBitmap);
    view->AddSelPoint(20, 50);
    view->AddSelPoint(120, 50);
    ASSERT_TRUE(view->SelectionTimer()->Enabled());
    Pump();
    const int start = view->OutlinePhase();
    std::vector<int> phases, expected;
    std::vector<COLORREF> lineStart;
    for (int tick = 1; tick <= 12; ++tick) {
        view->SelectionTimer()->OnTimer(view->SelectionTimer());
        phases.push_back(view->OutlinePhase());
        expected.push_back((start + tick) % 10);
        HDC dc = ::GetDC(view->Handle());
        lineStart.push_back(::GetPixel(dc, 120, 50));
        ::ReleaseDC(view->Handle(), dc);
    }
    EXPECT_EQ(phases, expected);
    // The dash starts at the phase: 4 pixels of the first colour, then 4 of the second.
    for (std::size_t i = 0; i < phases.size(); ++i)
        EXPECT_EQ(lineStart[i], (phases[i] & 7) < 4 ? RGB(0, 0, 0) : RGB(255, 255, 255)) << i;
}

}  // namespace
