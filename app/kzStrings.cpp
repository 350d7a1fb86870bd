// Unit-level string lists.
#include "app/kzStrings.h"

#include <memory>

namespace app {

namespace {

struct StringsUnit {
    rtl::TStringList list;
    rtl::TObjectList lists{true};

    StringsUnit()
    {
        for (int i = 0; i < 3; ++i)
            lists.Add(new rtl::TStringList());
    }
};

StringsUnit& Unit()
{
    static StringsUnit unit;
    return unit;
}

}  // namespace

void InitializeKzStrings() { Unit(); }

rtl::TStringList& KzStringList() { return Unit().list; }

rtl::TObjectList& KzStringLists() { return Unit().lists; }

}  // namespace app
