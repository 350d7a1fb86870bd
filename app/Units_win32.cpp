// The assistant's units, which make the program's unit table.
#include "app/Units.h"

#include "app/ColorButton.h"
#include "app/EllipsLabel.h"
#include "app/FindFile.h"
#include "app/FindFileMatch.h"
#include "app/SetupAssistQZForm.h"
#include "app/kzFiles.h"
#include "app/kzStrings.h"
#include "app/kzSystem.h"
#include "app/zResStorage.h"
#include "imaging/io/Units.h"
#include "placement/Units.h"
#include "skin/Units.h"

namespace app {

void RegisterClasses()
{
    for (const rtl::TClassInfo* info :
         {&TColorButton::StaticClassInfo(), &TEllipsLabel::StaticClassInfo(), &TFindFile::StaticClassInfo(),
          &TzResStorage::StaticClassInfo(), &TForm2::StaticClassInfo()})
        rtl::RegisterClass(*info);
}

rtl::TUnitTable UnitTable()
{
    rtl::TUnitTable table = placement::UnitTable();
    // The window's pictures are the image library's BMP pictures.
    for (const rtl::TUnit& unit : imaging::IOUnitTable())
        table.push_back(unit);
    // The skinned frame, controls and message dialog the window is made of, and the menu tick.
    for (const rtl::TUnit& unit : skin::UnitTable())
        table.push_back(unit);
    // The operating-system and process facts, taken on the thread that runs main.
    table.push_back({"kzSystem", InitializeKzSystem, nullptr});
    table.push_back({"kzFiles", InitializeKzFiles, nullptr});
    table.push_back({"kzStrings", InitializeKzStrings, nullptr});
    table.push_back({"FindFileMatch", InitializeFindFileMatch, nullptr});
    table.push_back({"SetupAssistQZForm", RegisterClasses, nullptr});
    return table;
}

}  // namespace app
