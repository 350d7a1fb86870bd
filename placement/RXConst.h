// The placement library's cursors (hand and drag hand) in the screen's cursor table.
#pragma once

#include "platform/win/Forms.h"

namespace placement {

inline constexpr win::TCursor crHand = 14000;
inline constexpr win::TCursor crDragHand = 14001;

// The unit's start-up, after the forms unit's: loads "RX_HANDCUR" and "RX_DRAGCUR" from the
// program's resources into the screen's table (RXConst.rc, which every program linking this
// library gets). A program built without them gets the system's hand and arrow instead.
void InitializeRXConst();

}  // namespace placement
