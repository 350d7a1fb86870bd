// Date-format facts of the user's settings, recorded at start-up.
#pragma once

namespace placement {

// True when the user's short date format, upper-cased, contains "YYYY".
bool FourDigitYear();
// The unit's start-up: reads the setting (again, when called later).
void InitializeRxDateUtil();

}  // namespace placement
