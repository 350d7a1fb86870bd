// The TWAIN settings and their defaults, the trace log of the release routines, the application's
// identity, and the component's WIA object and its progress callback; on every platform.
#include "imaging/io/ietwain.h"

#include "imaging/io/iewia.h"
#include "imaging/io/vodiradio.h"
#include "tests/imaging/io/twain_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace imaging;
using test::ScratchLog;

namespace {

void ExpectDefaults(const TIETWainParams& p)
{
    EXPECT_EQ(p.TransferCount, 1);
    EXPECT_EQ(p.SelectedSource, 0);
    EXPECT_TRUE(p.CapabilityBlocks.empty());
    for (bool flag :
         {p.AutoFeed, p.FeederEnabled, p.DuplexEnabled, p.AutoBrightness, p.AutoDeskew, p.AutoBorderDetection,
          p.ShowDialog, p.ShowProgress, p.ModalDialog, p.ShowSettingsOnly, p.FileTransfer})
        EXPECT_FALSE(flag);
    EXPECT_TRUE(p.BufferedTransfer);
    EXPECT_TRUE(p.CloseSourceAfterAcquire);
    const std::vector<const TIEList*> lists = {
        &p.XResolutionValues, &p.YResolutionValues, &p.XScalingValues,  &p.YScalingValues,
        &p.ContrastValues,    &p.BrightnessValues,  &p.PixelTypeValues, &p.BitDepthValues,
        &p.OrientationValues, &p.PaperSizeValues};
    for (const TIEList* list : lists)
        EXPECT_EQ(list->Count(), 0);
    EXPECT_DOUBLE_EQ(p.Gamma, 2.2);
    EXPECT_EQ(p.Highlight, 0);
    EXPECT_EQ(p.Shadow, 0);
    for (float f : p.AcquireFrame)
        EXPECT_EQ(f, 0);
    EXPECT_EQ(p.Threshold, 128);
    EXPECT_EQ(p.Compression, 0);
    EXPECT_EQ(p.PaperSize, 0);
    for (const std::string* s :
         {&p.AppVersionInfo, &p.AppManufacturer, &p.AppProductFamily, &p.AppProductName, &p.LastErrorText})
        EXPECT_TRUE(s->empty());
    EXPECT_EQ(p.LastError, 0);
    const TIETWSourceManager& m = p.SourceManager();
    EXPECT_FALSE(m.LibraryLoaded);
    EXPECT_EQ(m.Library, nullptr);
    EXPECT_EQ(m.ProxyWindow, nullptr);
    EXPECT_EQ(m.State, 1);
}

TEST(TWainSettings, EveryComponentHasThemAtTheirDefaults)
{
    TVodirAdIO io(nullptr);
    EXPECT_EQ(io.TWainParams().Owner(), &io);
    ExpectDefaults(io.TWainParams());
}

TEST(TWainSettings, TheDefaultsRoutineFreesTheCapabilityDataAndEmptiesTheLists)
{
    TVodirAdIO io(nullptr);
    TIETWainParams& p = io.TWainParams();
    p.TransferCount = -1;
    p.CapabilityBlocks.push_back(std::vector<std::uint8_t>(100, 7));
    p.XResolutionValues.Add(300);
    p.PixelTypeValues.Add(2);
    p.PaperSizeValues.Add(4);
    p.Gamma = 1.0;
    p.ShowDialog = true;
    p.BufferedTransfer = false;
    p.AcquireFrame[2] = 8.5f;
    p.Threshold = 3;
    p.AppProductName = "x";
    p.SetDefaults();
    ExpectDefaults(p);
}

TEST(TWainIdentity, IsTheApplicationsPublishedRecord)
{
    const TIETWIdentity id = IETWApplicationIdentity();
    EXPECT_EQ(id.Version.MajorNum, 1);
    EXPECT_EQ(id.Version.MinorNum, 0);
    EXPECT_EQ(id.Version.Language, 13);
    EXPECT_EQ(id.Version.Country, 1);
    EXPECT_EQ(id.ProtocolMajor, 1);
    EXPECT_EQ(id.ProtocolMinor, 9);
    EXPECT_EQ(+id.SupportedGroups, 3u);  // a copy: the field is not aligned
    for (const char* s : {id.Version.Info, id.Manufacturer, id.ProductFamily, id.ProductName})
        EXPECT_STREQ(s, "");
    // The layout the source manager reads.
    EXPECT_EQ(offsetof(TIETWIdentity, Version), 4u);
    EXPECT_EQ(offsetof(TIETWIdentity, ProtocolMajor), 46u);
    EXPECT_EQ(offsetof(TIETWIdentity, SupportedGroups), 50u);
    EXPECT_EQ(offsetof(TIETWIdentity, Manufacturer), 54u);
    EXPECT_EQ(offsetof(TIETWIdentity, ProductName), 122u);
}

TEST(TWainRelease, RoutinesLogTheirStepsWhenALogFileIsSet)
{
    TIETWSourceManager m;
    TIETWReleaseState state;
    {
        ScratchLog log;
        DestroyProxyWindow(m, false);
        state.State = 2;
        EXPECT_TRUE(IETW_UnloadSourceManager(m, state, false));
        EXPECT_EQ(state.State, 1);
        EXPECT_TRUE(IETW_UnloadSourceManager(m, state, true));  // nothing loaded: nothing to say
        DestroyProxyWindow(m, true);
        EXPECT_EQ(log.Messages(), (std::vector<std::string>{
                                      "DestroyProxyWindow",
                                      "  DestroyProxyWindow : not destroyed, for future uses",
                                      "IETW_UnloadSourceManager",
                                      "  IETW_UnloadSourceManager not Unloaded, for future uses",
                                      "IETW_UnloadSourceManager",
                                      "DestroyProxyWindow",
                                      "  DestroyProxyWindow : destroyed",
                                  }));
    }
    // Without a file name nothing is written anywhere.
    ScratchLog log;
    IETWSetLogFile("");
    DestroyProxyWindow(m, true);
    EXPECT_TRUE(log.Messages().empty());
}

TEST(TWainRelease, AManagerNeverLoadedReleasesSilently)
{
    ScratchLog log;
    {
        TVodirAdIO io(nullptr);
    }
    TIETWSourceManager m;
    const TIETWReleaseState state = IETWReleaseSourceManager(m, nullptr);
    EXPECT_EQ(state.State, 1);
    EXPECT_FALSE(state.Closed);
    EXPECT_EQ(state.AppId.ProtocolMinor, 9);
    EXPECT_TRUE(log.Messages().empty());
}

TEST(Wia, TheComponentMakesItsObjectOnceAndItsCallbackReportsAndAnswersTheAbortFlag)
{
    TVodirAdIO io(nullptr);
    std::vector<int> seen;
    io.OnProgress = [&](void*, int percent) { seen.push_back(percent); };
    TIEWia* wia = io.GetWia();
    ASSERT_NE(wia, nullptr);
    EXPECT_EQ(io.GetWia(), wia);
    EXPECT_EQ(wia->Owner(), &io);
    EXPECT_TRUE(wia->Devices().empty());
    EXPECT_TRUE(wia->DoProgress(40));
    io.AbortFlag = true;
    EXPECT_FALSE(wia->DoProgress(70));
    EXPECT_EQ(seen, (std::vector<int>{40, 70}));
    // Without a callback a transfer goes on.
    TIEWia bare(nullptr);
    EXPECT_TRUE(bare.DoProgress(10));
}

}  // namespace
