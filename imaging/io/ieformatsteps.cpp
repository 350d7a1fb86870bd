// The table of per-format steps: one row per format unit.
#include "imaging/io/ieformatsteps.h"

#include <vector>

namespace imaging {

// Each format unit defines its steps; a new unit adds its declaration here and its row below.
extern const TIEFormatSteps kBMPSteps;
extern const TIEFormatSteps kPCXSteps;
extern const TIEFormatSteps kTGASteps;
extern const TIEFormatSteps kPXMSteps;
extern const TIEFormatSteps kWBMPSteps;
extern const TIEFormatSteps kGIFSteps;
extern const TIEFormatSteps kTIFFSteps;
extern const TIEFormatSteps kJPEGSteps;
extern const TIEFormatSteps kPNGSteps;
extern const TIEFormatSteps kJP2Steps;
extern const TIEFormatSteps kJ2KSteps;
extern const TIEFormatSteps kPSSteps;
extern const TIEFormatSteps kPDFSteps;
extern const TIEFormatSteps kICOSteps;
extern const TIEFormatSteps kCURSteps;

namespace {

std::vector<TIEFormatSteps>& Table()
{
    static std::vector<TIEFormatSteps> rows = {
        kBMPSteps, kPCXSteps, kTGASteps, kPXMSteps, kWBMPSteps, kJPEGSteps, kPNGSteps, kJP2Steps,
        kJ2KSteps, kPSSteps,  kPDFSteps, kGIFSteps, kTIFFSteps, kICOSteps,  kCURSteps,
    };
    return rows;
}

}  // namespace

const TIEFormatSteps* IEFormatSteps(int FileType)
{
    for (const TIEFormatSteps& row : Table())
        if (row.FileType == FileType)
            return &row;
    return nullptr;
}

void IEAddFormatSteps(const TIEFormatSteps& Steps)
{
    for (TIEFormatSteps& row : Table())
        if (row.FileType == Steps.FileType) {
            row = Steps;
            return;
        }
    Table().push_back(Steps);
}

}  // namespace imaging
