// The vector unit's names: there after start-up (the test program's units run first), gone after
// shut-down, and made once however often the unit starts.
#include "imaging/core/ievector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace imaging;

namespace {

const std::vector<std::string> kUnits = {"pixels", "inches", "km", "mt", "cm", "mm", "microns", "nanometers"};
const std::vector<std::string> kSections = {"HEADER", "CLASSES", "TABLES", "BLOCKS", "ENTITIES", "OBJECTS"};

TEST(VectorUnit, HoldsTheMeasureUnitAndDXFSectionNamesBetweenStartAndEnd)
{
    EXPECT_EQ(IEMeasureUnitNames(), kUnits);
    EXPECT_EQ(IEDXFSectionNames(), kSections);
    IEInitializeVectorUnit();
    EXPECT_EQ(IEMeasureUnitNames(), kUnits);
    for (int round = 0; round < 2; ++round) {
        IEFinalizeVectorUnit();
        EXPECT_TRUE(IEMeasureUnitNames().empty());
        EXPECT_TRUE(IEDXFSectionNames().empty());
    }
    IEInitializeVectorUnit();
    EXPECT_EQ(IEDXFSectionNames(), kSections);
}

}  // namespace
