// The vector unit's shared names.
#include "imaging/core/ievector.h"

namespace imaging {

namespace {

std::vector<std::string> gMeasureUnits;
std::vector<std::string> gDXFSections;

}  // namespace

const std::vector<std::string>& IEMeasureUnitNames() { return gMeasureUnits; }
const std::vector<std::string>& IEDXFSectionNames() { return gDXFSections; }

void IEInitializeVectorUnit()
{
    gMeasureUnits = {"pixels", "inches", "km", "mt", "cm", "mm", "microns", "nanometers"};
    gDXFSections = {"HEADER", "CLASSES", "TABLES", "BLOCKS", "ENTITIES", "OBJECTS"};
}

void IEFinalizeVectorUnit()
{
    // Swapped out rather than cleared, so the memory goes back now and not with the program.
    std::vector<std::string>().swap(gMeasureUnits);
    std::vector<std::string>().swap(gDXFSections);
}

}  // namespace imaging
