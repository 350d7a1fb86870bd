// The small units: cursors from the program's resources and the four-digit-year flag.
#include "placement/RXConst.h"
#include "placement/rxDateUtil.h"

#include "platform/rtl/Win32.h"

#include <gtest/gtest.h>

#include <string>

using namespace placement;

TEST(RXConst, CursorsComeFromTheProgramsResources)
{
    HCURSOR hand = ::LoadCursorA(::GetModuleHandleA(nullptr), "RX_HANDCUR");
    HCURSOR drag = ::LoadCursorA(::GetModuleHandleA(nullptr), "RX_DRAGCUR");
    ASSERT_NE(hand, nullptr);
    ASSERT_NE(drag, nullptr);
    EXPECT_EQ(win::Screen->Cursors(crHand), hand);
    EXPECT_EQ(win::Screen->Cursors(crDragHand), drag);
    EXPECT_NE(win::Screen->Cursors(crHand), win::Screen->Cursors(win::crDefault));
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(hand, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 6u);
    EXPECT_EQ(info.yHotspot, 0u);
    if (info.hbmMask)
        ::DeleteObject(info.hbmMask);
    if (info.hbmColor)
        ::DeleteObject(info.hbmColor);
}

TEST(rxDateUtil, FourDigitYearFollowsTheShortDateFormatInAnyCase)
{
    char saved[128] = {};
    ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, saved, sizeof(saved));
    ASSERT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, "dd/MM/yyyy"));
    InitializeRxDateUtil();
    EXPECT_TRUE(FourDigitYear());
    ASSERT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, "d/M/yy"));
    InitializeRxDateUtil();
    EXPECT_FALSE(FourDigitYear());
    ::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, saved);
    InitializeRxDateUtil();
}
