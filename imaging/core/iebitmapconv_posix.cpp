// Without the GUI layer no other object holds a picture that Assign could take.
#include "imaging/core/iebitmap.h"

namespace imaging {

bool TIEBitmap::AssignGuiBitmap(rtl::TObject*) { return false; }

}  // namespace imaging
