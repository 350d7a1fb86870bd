// The image library's units.
#include "imaging/core/Units.h"

#include "imaging/core/vodiradproc_component.h"

namespace imaging {

void RegisterClasses() { rtl::RegisterClass(TVodirAdProc::StaticClassInfo()); }

}  // namespace imaging
