// Tests of running a unit table: start-up in table order, shut-down in reverse, and a start-up
// that fails part way.
#include "platform/rtl/Units.h"

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Thread.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> steps;

// Units whose start-up and shut-down note themselves; "B" fails to start when asked to.
bool failB = false;
rtl::TUnitTable Table()
{
    return {
        {"A", [] { steps.push_back("init A"); }, [] { steps.push_back("final A"); }},
        {"B",
         [] {
             if (failB)
                 throw rtl::Exception("B cannot start");
             steps.push_back("init B");
         },
         [] { steps.push_back("final B"); }},
        {"C", nullptr, [] { steps.push_back("final C"); }},
        {"D", [] { steps.push_back("init D"); }, nullptr},
    };
}

struct UnitScope : ::testing::Test {
    void SetUp() override
    {
        steps.clear();
        failB = false;
    }
};

TEST_F(UnitScope, StartsInTableOrderAndShutsDownInReverse)
{
    {
        rtl::TUnitScope units(Table());
        EXPECT_EQ(steps, (std::vector<std::string>{"init A", "init B", "init D"}));
    }
    EXPECT_EQ(steps,
              (std::vector<std::string>{"init A", "init B", "init D", "final C", "final B", "final A"}));
}

TEST_F(UnitScope, FailedStartUpShutsDownOnlyTheUnitsBeforeItAndReportsTheError)
{
    failB = true;
    try {
        rtl::TUnitScope units(Table());
        ADD_FAILURE() << "the failed start-up went unreported";
    } catch (const rtl::Exception& e) {
        EXPECT_EQ(e.Message(), "B cannot start");
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"init A", "final A"}));
}

TEST_F(UnitScope, AUnitListedAgainRunsOnceAtItsFirstPlace)
{
    rtl::TUnitTable table = Table();
    const rtl::TUnitTable again = Table();
    table.insert(table.end(), again.begin(), again.end());
    {
        rtl::TUnitScope units(table);
        EXPECT_EQ(steps, (std::vector<std::string>{"init A", "init B", "init D"}));
    }
    EXPECT_EQ(steps,
              (std::vector<std::string>{"init A", "init B", "init D", "final C", "final B", "final A"}));
}

TEST(RuntimeUnits, ClaimTheThreadThatStartsThemAsTheMainThread)
{
    bool starterIsMain = false;
    std::thread([&] {
        rtl::TUnitScope units(rtl::UnitTable());
        starterIsMain = rtl::IsMainThread();
    }).join();
    const bool testThreadIsMain = rtl::IsMainThread();
    rtl::SetMainThread();  // back to the thread the test main started the units on
    EXPECT_TRUE(starterIsMain);
    EXPECT_FALSE(testThreadIsMain);
}

}  // namespace
