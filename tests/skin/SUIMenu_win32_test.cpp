// The skinned menus.
#include "skin/SUIMenu.h"

#include "SkinFormTestSupport.h"

#include <gtest/gtest.h>
