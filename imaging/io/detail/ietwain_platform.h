// What the TWAIN release asks of the platform (ietwain_win32.cpp, ietwain_posix.cpp).
#pragma once

#include "imaging/io/ietwain.h"

namespace imaging::detail {

// Closes the open manager for its application; the manager's return code (0: done).
int IETWCloseManager(TIETWSourceManager& Manager);
void IETWFreeLibrary(void* Library);
// Destroys the window when it still exists.
void IETWDestroyWindow(void* Window);

}  // namespace imaging::detail
