// The names the vector unit shares: the measure units of vector objects and the sections of a DXF
// drawing. Its start-up makes them and its shut-down releases them.
#pragma once

#include <string>
#include <vector>

namespace imaging {

// "pixels", "inches", "km", "mt", "cm", "mm", "microns", "nanometers", in that order; empty before
// the unit's start-up and after its shut-down.
const std::vector<std::string>& IEMeasureUnitNames();
// "HEADER", "CLASSES", "TABLES", "BLOCKS", "ENTITIES", "OBJECTS", in that order; empty likewise.
const std::vector<std::string>& IEDXFSectionNames();

// Running either twice in a row changes nothing.
void IEInitializeVectorUnit();
void IEFinalizeVectorUnit();

}  // namespace imaging
