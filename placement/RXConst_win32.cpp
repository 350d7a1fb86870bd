// The placement library's cursors.
#include "placement/RXConst.h"

#include "platform/rtl/Win32.h"

namespace placement {

namespace {

HCURSOR LoadOwnCursor(const char* name, LPCSTR fallback)
{
    HCURSOR cursor = ::LoadCursorA(::GetModuleHandleA(nullptr), name);
    return cursor ? cursor : ::LoadCursorA(nullptr, fallback);
}

}  // namespace

void InitializeRXConst()
{
    if (!win::Screen)
        return;
    win::Screen->SetCursors(crHand, LoadOwnCursor("RX_HANDCUR", reinterpret_cast<LPCSTR>(IDC_HAND)));
    win::Screen->SetCursors(crDragHand, LoadOwnCursor("RX_DRAGCUR", reinterpret_cast<LPCSTR>(IDC_ARROW)));
}

}  // namespace placement
