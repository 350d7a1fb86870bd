// Runs a test as on a right-to-left locale (or not), and puts the locale back afterwards.
#pragma once

#include "platform/rtl/TypeInfo.h"
#include "platform/win/Controls.h"

#include <string>

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

// A row of a table of reading orders: the locale, the mode, and what the test expects of the two.
template <class Expected>
struct ReadingCase {
    bool rightToLeftLocale;
    win::TBiDiMode mode;
    Expected expected;

    // The mode as a form description writes it.
    std::string ModeName() const { return rtl::GetEnumName(rtl::TypeInfoOf<win::TBiDiMode>(), mode); }
    // For SCOPED_TRACE.
    std::string Name() const
    {
        return ModeName() + (rightToLeftLocale ? " on a right-to-left locale" : " elsewhere");
    }
};

}  // namespace wintest
