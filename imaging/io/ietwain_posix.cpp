// Off Windows there is no TWAIN source manager: nothing is ever loaded, so there is nothing to free.
#include "imaging/io/detail/ietwain_platform.h"
#include "imaging/io/ietwain.h"

namespace imaging {

void IETWSetSourceManagerName(const std::string&) {}

void* IETWOwnerWindow(const rtl::TComponent*) { return nullptr; }

bool TIETWainParams::OpenSourceManager()
{
    LastErrorText = "the TWAIN source manager exists only in the Windows build";
    return false;
}

namespace detail {

int IETWCloseManager(TIETWSourceManager&) { return -1; }
void IETWFreeLibrary(void*) {}
void IETWDestroyWindow(void*) {}

}  // namespace detail

}  // namespace imaging
