// The main of every test program: the units of the libraries the test links start as the
// program's do, in unit-table order before the first test, and shut down in reverse after the
// last. VA_TEST_UNIT_TABLE names the unit-table function of the highest of those libraries (rtl, win,
// the image core or its I/O, placement, skin or app) and VA_TEST_UNITS_HEADER its Units.h.
#include VA_TEST_UNITS_HEADER

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv)
{
    // Unbuffered, so that a test stopped at its time limit has shown how far it got (the C
    // runtime under Windows buffers a file or pipe fully, even when asked for lines).
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    testing::InitGoogleTest(&argc, argv);
    const rtl::TUnitScope units(VA_TEST_UNIT_TABLE());
    return RUN_ALL_TESTS();
}
