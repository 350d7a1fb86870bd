// The few operating-system services the container needs beyond the runtime's: free memory, the
// user's language, system colours and platform bitmaps.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace imaging {
class TIEPlatformBitmap;
}

namespace imaging::detail {

// Free physical memory in bytes, 0 when unknown.
std::int64_t PlatformAvailableMemory();
// The user's primary language identifier (7 German, 9 English, ...).
int PlatformPrimaryLanguage();
// The RGB value (0x00BBGGRR) of a system colour (high byte set); plain colours pass unchanged.
std::int32_t PlatformResolveColor(std::int32_t color);
// A new platform bitmap: a GDI DIB section on Windows, the memory stand-in elsewhere.
std::unique_ptr<TIEPlatformBitmap> PlatformCreateBitmap();

// The storage of a TIEDibbitmap: Height rows of RowLen bytes, bottom-up, zero-filled.
class TIEDibSection {
public:
    virtual ~TIEDibSection() = default;
    virtual std::uint8_t* Bits() = 0;
    // An HDC and an HBITMAP on Windows; nullptr elsewhere.
    virtual void* DC() const = 0;
    virtual void* Handle() const = 0;
};

// BitCount is one of 1, 4, 8, 16, 24, 32 and Height * RowLen fits the address space (the caller
// checks). Raises rtl::EOutOfMemory when the system refuses.
std::unique_ptr<TIEDibSection> PlatformCreateDibSection(int Width, int Height, int BitCount, int RowLen);

}  // namespace imaging::detail
