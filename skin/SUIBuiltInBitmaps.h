// The bitmaps compiled into the program: the built-in styles' parts and the shared pictures,
// each a BMP file, drawn and generated at build time by tools/skingen.
#pragma once

#include <cstddef>
#include <string_view>

namespace skin {

struct TBuiltInBitmapData {
    const char* Name;  // "MACOS_BUTTON", "MSGDLG"
    const unsigned char* Data;
    std::size_t Size;
};

// The generated table.
extern const TBuiltInBitmapData kBuiltInBitmaps[];
extern const std::size_t kBuiltInBitmapCount;

// The bitmap of that name (compared without regard to ASCII case, as resource names are), or
// nullptr.
const TBuiltInBitmapData* FindBuiltInBitmap(std::string_view name);

}  // namespace skin
