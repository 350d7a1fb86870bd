// Resource type name table.
#include "app/kzTypes.h"

#include <array>

namespace app {

namespace {

const std::array<std::string, kLastResourceType> kResourceTypeNames = {
    "RT_CURSOR",   "RT_BITMAP",     "RT_ICON",        "RT_MENU",    "RT_DIALOG",       "RT_STRING",
    "RT_FONTDIR",  "RT_FONT",       "RT_ACCELERATOR", "RT_RCDATA",  "RT_MESSAGETABLE", "RT_GROUP_CURSOR",
    "UNKNOWN",     "RT_GROUP_ICON", "UNKNOWN",        "RT_VERSION", "RT_DLGINCLUDE",   "UNKNOWN",
    "RT_PLUGPLAY", "RT_VXD",        "RT_ANICURSOR",   "RT_ANIICON",
};

const std::string kUnknown = "UNKNOWN";

}  // namespace

const std::string& ResourceTypeName(int type)
{
    if (type < kFirstResourceType || type > kLastResourceType)
        return kUnknown;
    return kResourceTypeNames[static_cast<std::size_t>(type - kFirstResourceType)];
}

}  // namespace app
