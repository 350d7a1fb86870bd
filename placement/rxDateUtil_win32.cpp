// Date-format facts of the user's settings.
#include "placement/rxDateUtil.h"

#include "platform/rtl/Strings.h"
#include "platform/rtl/Win32.h"

namespace placement {

namespace {

bool fourDigitYear = false;

}  // namespace

bool FourDigitYear() { return fourDigitYear; }

void InitializeRxDateUtil()
{
    char buffer[128] = {};
    int n = ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, buffer, sizeof(buffer));
    std::string format = n > 0 ? std::string(buffer) : std::string();
    fourDigitYear = rtl::UpperCase(format).find("YYYY") != std::string::npos;
}

}  // namespace placement
