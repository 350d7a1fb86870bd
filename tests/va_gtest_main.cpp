// The main of every test program: the units of the libraries the test links start as the
// program's do, in unit-table order before the first test, and shut down in reverse after the
// last. VA_TEST_UNITS names the namespace of the highest of those libraries (rtl, win, imaging,
// placement, skin or app) and VA_TEST_UNITS_HEADER its Units.h.
#include VA_TEST_UNITS_HEADER

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const rtl::TUnitScope units(VA_TEST_UNITS::UnitTable());
    return RUN_ALL_TESTS();
}
