// Date-format facts of the user's settings, recorded at start-up.
#pragma once

namespace placement {

// True when the user's short date format, upper-cased, contains "YYYY".
bool FourDigitYear();
// Reads the setting again (start-up does it once).
void InitializeRxDateUtil();

}  // namespace placement
