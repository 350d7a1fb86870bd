// Runs a test as on a right-to-left locale (or not), and puts the locale back afterwards.
#pragma once

#include "platform/win/Controls.h"

namespace wintest {

class LocaleScope {
public:
    explicit LocaleScope(bool rightToLeft) : saved_(win::RightToLeftLocale())
    {
        win::SetRightToLeftLocale(rightToLeft);
    }
    ~LocaleScope() { win::SetRightToLeftLocale(saved_); }
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;

private:
    bool saved_;
};

}  // namespace wintest
