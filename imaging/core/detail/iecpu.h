// Which vector loops the pixel routines take. AVX2 loops run where the processor has AVX2;
// processors without it take the SSE2 loops, which tests run on any machine by forbidding AVX2.
#pragma once

namespace imaging::detail {

// True where the processor has AVX2 and its loops are allowed.
bool UseAvx2();
// Allows or forbids the AVX2 loops (allowed at start-up); returns the previous setting.
bool AllowAvx2(bool allowed);

}  // namespace imaging::detail
