// Lookup of the compiled-in bitmaps by name.
#include "skin/SUIBuiltInBitmaps.h"

#include <cctype>

namespace skin {

const TBuiltInBitmapData* FindBuiltInBitmap(std::string_view name)
{
    for (std::size_t i = 0; i < kBuiltInBitmapCount; ++i) {
        const std::string_view candidate = kBuiltInBitmaps[i].Name;
        if (candidate.size() != name.size())
            continue;
        bool same = true;
        for (std::size_t k = 0; k < name.size() && same; ++k)
            same = std::toupper(static_cast<unsigned char>(candidate[k])) ==
                   std::toupper(static_cast<unsigned char>(name[k]));
        if (same)
            return &kBuiltInBitmaps[i];
    }
    return nullptr;
}

}  // namespace skin
