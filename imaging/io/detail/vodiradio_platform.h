// What the I/O component's portable core asks of the platform: the GUI attachments, the debugger
// output, and replacing a file with a finished temporary one. One implementation per platform
// (vodiradio_win32.cpp, vodiradio_posix.cpp).
#pragma once

#include "imaging/core/hyiedefs.h"
#include "platform/rtl/Component.h"

#include <string>

namespace imaging {
class TIEView;
struct TIEIOPlatform;
}  // namespace imaging

namespace imaging::detail {

TIEIOPlatform* IENewIOPlatform();
void IEDebugOutput(const char* Text);
// The view's resolution and background; false and unchanged without a view.
bool IEViewDpi(TIEView* View, int& DpiX, int& DpiY);
void IEViewBackground(TIEView* View, TColor& Color);
bool IEIsView(rtl::TComponent* Component, TIEView* View);

// A name for the temporary file of a save, in the target's folder (so that the final rename stays
// on one volume) and not used by anything else.
std::string IETempSaveName(const std::string& Target);
// Puts Temp in Target's place, replacing an existing Target in one step; false on failure (Temp
// is then still there).
bool IEReplaceFile(const std::string& Temp, const std::string& Target);
void IERemoveFile(const std::string& FileName);

}  // namespace imaging::detail
