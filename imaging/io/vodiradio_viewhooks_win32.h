// The I/O unit's part in image views: views make their I/O component through these hooks.
#pragma once

namespace imaging {

void IEInstallViewIOHooks();
void IERemoveViewIOHooks();

}  // namespace imaging
