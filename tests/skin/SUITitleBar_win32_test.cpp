// The skinned title bar.
#include "skin/SUITitleBar.h"

#include "SkinFormTestSupport.h"

#include <gtest/gtest.h>
