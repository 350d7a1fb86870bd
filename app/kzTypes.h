// Names of the standard resource types, for listing a module's resources.
#pragma once

#include <string>

namespace app {

inline constexpr int kFirstResourceType = 1;
inline constexpr int kLastResourceType = 22;

// The name of resource type `type` (1 to 22), e.g. "RT_ICON" for 3; unassigned numbers
// within the range give "UNKNOWN". A number outside the range gives "UNKNOWN" too rather
// than reading past the table.
const std::string& ResourceTypeName(int type);

}  // namespace app
