// Unit-level string lists of the utility library, alive from start-up to shutdown.
#pragma once

#include "platform/rtl/Lists.h"

namespace app {

// A general list of strings.
rtl::TStringList& KzStringList();

// Three string lists, each owned by the outer list and freed with it.
rtl::TObjectList& KzStringLists();

// The unit's start-up makes the lists (else the first call does).
void InitializeKzStrings();

}  // namespace app
