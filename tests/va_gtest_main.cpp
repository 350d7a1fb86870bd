// The main of every test program: the units of the libraries the test links start as the
// program's do, in unit-table order before the first test, and shut down in reverse after the
// last. VA_TEST_UNIT_TABLE names the unit-table function of the highest of those libraries (rtl, win,
// the image core or its I/O, placement, skin or app) and VA_TEST_UNITS_HEADER its Units.h.
#include VA_TEST_UNITS_HEADER

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const rtl::TUnitScope units(VA_TEST_UNIT_TABLE());
    return RUN_ALL_TESTS();
}
