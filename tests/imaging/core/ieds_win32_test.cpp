// The DirectShow wrapper under Wine's quartz: COM set up and taken down on one thread, AVI files
// played through the grabber with frames judged against ffmpeg's decoding, graph events and frames
// relayed by the view to its events, and a disconnect that stops the graph and releases it whole.
#include "imaging/core/ieds_win32.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradview_win32.h"
#include "imaging/io/vodiradio.h"
#include "imaging/io/vodiradio_viewhooks_win32.h"
#include "platform/win/Forms.h"
#include "tests/platform/win/MessagePump.h"

#include <dshow.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace imaging;

namespace {

using wintest::Pump;

bool PumpUntil(const std::function<bool()>& done) { return wintest::PumpUntil(done, 20000); }

std::string Media(const std::string& name) { return std::string(VA_DSHOW_MEDIA_DIR) + "/" + name; }

// An 8-bit binary PPM as rows of red, green, blue; empty on anything else.
struct TFrame {
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgb;
};
TFrame ReadPpm(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    TFrame f;
    int maxval = 0;
    in >> magic >> f.w >> f.h >> maxval;
    in.get();
    if (!in || magic != "P6" || maxval != 255 || f.w <= 0 || f.h <= 0)
        return {};
    f.rgb.resize(std::size_t(f.w) * f.h * 3);
    in.read(reinterpret_cast<char*>(f.rgb.data()), std::streamsize(f.rgb.size()));
    return in ? f : TFrame{};
}

// The largest channel difference between the bitmap and a judged frame; 256 for another size.
int Distance(TIEBitmap& bmp, const TFrame& f)
{
    if (bmp.GetWidth() != f.w || bmp.GetHeight() != f.h)
        return 256;
    int worst = 0;
    for (int y = 0; y < f.h; ++y)
        for (int x = 0; x < f.w; ++x) {
            const TRGB c = bmp.GetPixel24(x, y);
            const std::uint8_t* j = &f.rgb[(std::size_t(y) * f.w + x) * 3];
            worst = std::max({worst, std::abs(c.r - j[0]), std::abs(c.g - j[1]), std::abs(c.b - j[2])});
        }
    return worst;
}

// COM is fully down on this thread when it can be set up again in the other threading model.
bool ComIsDownOnThisThread()
{
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr))
        ::CoUninitialize();
    return hr == S_OK;
}

template <class F>
void OnFreshThread(F&& body)
{
    std::thread t(std::forward<F>(body));
    t.join();
}

TEST(DirectShowCom, EachWrapperTakesDownOnItsThreadWhatItSetUp)
{
    OnFreshThread([] {
        {
            TIEDirectShow a;
            EXPECT_TRUE(a.OwnsComInitialization());
            {
                TIEDirectShow b;  // a second set-up on the thread is paired too
                EXPECT_TRUE(b.OwnsComInitialization());
            }
            EXPECT_FALSE(ComIsDownOnThisThread()) << "the first wrapper still needs COM";
        }
        EXPECT_TRUE(ComIsDownOnThisThread()) << "a set-up was left behind on the thread";
    });
}

TEST(DirectShowCom, AProgramThatSetsUpComItselfKeepsItsOwnModel)
{
    OnFreshThread([] {
        ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        IEComInitialized = true;
        {
            TIEDirectShow ds;
            EXPECT_FALSE(ds.OwnsComInitialization());
        }
        IEComInitialized = false;
        ::CoUninitialize();
        EXPECT_TRUE(ComIsDownOnThisThread());
    });
}

TEST(DirectShow, ANewWrapperHasNoGraphAndReleasesCleanly)
{
    TIEDirectShow ds;
    EXPECT_FALSE(ds.Connected());
    EXPECT_EQ(ds.Graph(), nullptr);
    EXPECT_EQ(ds.State(), -1);
    EXPECT_FALSE(ds.Run());
    TIEBitmap bmp;
    EXPECT_FALSE(ds.GetSample(bmp));
    long code;
    LONG_PTR p1, p2;
    EXPECT_FALSE(ds.GetEvent(code, p1, p2));
    ds.Disconnect();
    ds.Disconnect();
    EXPECT_FALSE(ds.Connected());
    EXPECT_EQ(kIEVideoSubtypeNames.front(), std::string("CLPL"));
    EXPECT_EQ(kIEVideoSubtypeNames[28], std::string("RGB24"));
    EXPECT_EQ(kIEVideoSubtypeNames.back(), std::string("IA44"));
    EXPECT_EQ(kIETVStandardNames[4], std::string("PAL_B"));
    EXPECT_EQ(kIETVStandardNames.back(), std::string("PAL_N_COMBO"));
}

TEST(DirectShow, AFileThatCannotBeRenderedLeavesNoGraph)
{
    TIEDirectShow ds;
    for (const std::string& name : {Media("missing.avi"), Media("raw.avi.1.ppm")}) {
        EXPECT_FALSE(ds.ConnectFile(name)) << name;
        EXPECT_FALSE(ds.Connected());
        EXPECT_EQ(ds.Graph(), nullptr);
        EXPECT_FALSE(ds.LastError().empty());
    }
}

class DirectShowView : public ::testing::Test {
protected:
    void SetUp() override
    {
        IEInstallViewIOHooks();
        form = std::make_unique<win::TForm>(nullptr);
        form->SetBounds(10, 10, 300, 200);
        view = new TVodirAdView(form.get());
        view->SetParent(form.get());
        view->SetBounds(0, 0, 200, 150);
        form->Show();
        Pump();
        view->OnDShowNewFrame = [this](rtl::TObject* s) { frames += s == view; };
        view->OnDShowEvent = [this](rtl::TObject* s) {
            ++events;
            long code;
            LONG_PTR p1, p2;
            // The wrapper may be gone from the component by the time the message arrives.
            if (TIEDirectShow* ds = view->GetIO()->DirectShowIfMade())
                while (ds->GetEvent(code, p1, p2))
                    complete += code == EC_COMPLETE && s == view;
        };
    }
    void TearDown() override
    {
        form.reset();
        IERemoveViewIOHooks();
    }

    std::unique_ptr<win::TForm> form;
    TVodirAdView* view = nullptr;  // owned by the form
    int frames = 0, events = 0, complete = 0;
};

TEST_F(DirectShowView, PlaysAnUncompressedFileAndTheViewRelaysFramesAndTheEnd)
{
    for (const char* name : {"raw"}) {
        frames = events = complete = 0;
        TIEDirectShow* ds = view->GetIO()->GetDirectShow();
        ASSERT_EQ(ds->NotifyWindow(), view->Handle());
        ASSERT_TRUE(ds->ConnectFile(Media(std::string(name) + ".avi"))) << name << ": " << ds->LastError();
        EXPECT_TRUE(ds->Connected());
        EXPECT_EQ(ds->FrameWidth(), 64);
        EXPECT_EQ(ds->FrameHeight(), 48);
        ASSERT_TRUE(ds->Run());
        ASSERT_TRUE(PumpUntil([&] { return complete > 0; })) << name << ": the end of the stream never came";
        EXPECT_GE(frames, 1) << name;
        EXPECT_EQ(ds->FramesGrabbed(), 5u) << name;
        // The last frame grabbed is the file's last, as ffmpeg decodes it.
        TIEBitmap sample;
        ASSERT_TRUE(ds->GetSample(sample));
        const int distance = Distance(sample, ReadPpm(Media(std::string(name) + ".avi.5.ppm")));
        EXPECT_EQ(distance, 0) << name;
        EXPECT_EQ(ds->State(), 2);
        ds->Disconnect();
        EXPECT_FALSE(ds->Connected());
    }
}

// A Cinepak file connects through Wine's AVI decompressor and its codec; it is not run, as Wine's
// DirectShow here can stay for ever in the pause that starts a graph holding that decoder.
TEST_F(DirectShowView, ACinepakFileConnectsThroughWinesDecoderAndDisconnects)
{
    TIEDirectShow* ds = view->GetIO()->GetDirectShow();
    ASSERT_TRUE(ds->ConnectFile(Media("cinepak.avi"))) << ds->LastError();
    EXPECT_EQ(ds->FrameWidth(), 64);
    EXPECT_EQ(ds->FrameHeight(), 48);
    EXPECT_EQ(ds->State(), 0);
    IGraphBuilder* graph = ds->Graph();
    graph->AddRef();
    ds->Disconnect();
    EXPECT_EQ(graph->Release(), 0u);
}

// Wine's AVI splitter here (GStreamer's avidemux behind winegstreamer) gives an MS Video 1 stream no
// media type a decoder could take, though Video for Windows decodes such files: the wrapper must
// say so and keep no half-built graph.
TEST_F(DirectShowView, AStreamWineCannotDecodeFailsWithoutAGraph)
{
    TIEDirectShow* ds = view->GetIO()->GetDirectShow();
    EXPECT_FALSE(ds->ConnectFile(Media("msvideo1.avi")));
    EXPECT_FALSE(ds->Connected());
    EXPECT_EQ(ds->Graph(), nullptr);
    EXPECT_NE(ds->LastError().find("rendering"), std::string::npos) << ds->LastError();
    // The wrapper stays usable.
    EXPECT_TRUE(ds->ConnectFile(Media("raw.avi"))) << ds->LastError();
}

TEST_F(DirectShowView, TheViewRelaysOnlyItsOwnConnectedWrapper)
{
    TIEDirectShow* ds = view->GetIO()->GetDirectShow();
    auto post = [&](const void* wrapper) {
        ::PostMessageA(view->Handle(), kIEMsgDShowNewFrame, 0, LPARAM(wrapper));
        ::SendMessageA(view->Handle(), kIEMsgDShowEvent, 0, LPARAM(wrapper));
        Pump();
    };
    post(ds);
    EXPECT_EQ(frames + events, 0) << "a wrapper without a graph";
    ASSERT_TRUE(ds->ConnectFile(Media("raw.avi"))) << ds->LastError();
    TIEDirectShow other;
    post(&other);
    post(nullptr);
    EXPECT_EQ(frames + events, 0) << "another wrapper";
    post(ds);
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(events, 1);
    ds->Disconnect();
    post(ds);
    EXPECT_EQ(frames, 1) << "a disconnected wrapper";
    EXPECT_EQ(events, 1);
}

TEST_F(DirectShowView, DisconnectStopsARunningGraphAndReleasesEveryReferenceOnce)
{
    TIEDirectShow* ds = view->GetIO()->GetDirectShow();
    ASSERT_TRUE(ds->ConnectFile(Media("raw.avi"))) << ds->LastError();
    ASSERT_TRUE(ds->Run());
    ASSERT_EQ(ds->State(1000), 2);
    // References of our own keep the graph alive past the wrapper's release, to look at it.
    IGraphBuilder* graph = ds->Graph();
    graph->AddRef();
    IMediaControl* control = nullptr;
    ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)), S_OK);
    ds->Disconnect();
    EXPECT_FALSE(ds->Connected());
    OAFilterState state = State_Running;
    EXPECT_EQ(control->GetState(1000, &state), S_OK);
    EXPECT_EQ(state, State_Stopped) << "released while running";
    control->Release();
    EXPECT_EQ(graph->Release(), 0u) << "the wrapper kept or over-released a reference to the graph";
}

TEST_F(DirectShowView, TheComponentReleasesARunningGraphWithItself)
{
    TVodirAdIO* io = view->GetIO();
    TIEDirectShow* ds = io->GetDirectShow();
    ASSERT_TRUE(ds->ConnectFile(Media("raw.avi"))) << ds->LastError();
    ASSERT_TRUE(ds->Run());
    IGraphBuilder* graph = ds->Graph();
    graph->AddRef();
    IMediaControl* control = nullptr;
    ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)), S_OK);
    delete io;
    OAFilterState state = State_Running;
    EXPECT_EQ(control->GetState(1000, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    control->Release();
    EXPECT_EQ(graph->Release(), 0u);
    // Frames or events still queued for the view name a wrapper that is gone: ignored.
    Pump();
}

}  // namespace
