// Writing the stored files into the install folder, all or nothing.
#pragma once

#include "app/zResStorage.h"
#include "platform/rtl/Exceptions.h"

#include <cstdint>
#include <string>
#include <vector>

namespace app {

// An install that could not complete. Code is the system's error code of the step that failed.
class EInstallError : public rtl::Exception {
public:
    EInstallError(std::uint32_t code, std::string message) : rtl::Exception(std::move(message)), code_(code)
    {
    }
    std::uint32_t Code() const { return code_; }

private:
    std::uint32_t code_;
};

// Writes every item of `store` into `folder` (which ends in "\") under the item's name, so that
// afterwards either all of them are the new files or every file there is as it was before.
// Each item is first expanded to a temporary file in the folder itself; only when all are
// written are the old files moved aside, the new ones moved into their places and the old ones
// deleted. A failure at any step undoes the steps before it and raises EInstallError. Returns
// the targets in item order.
std::vector<std::string> InstallStoredFiles(TzResStorage& store, const std::string& folder);

// The text shown when an install failed: "Unable to continue - Quit Varnelo if it is running"
// when a file is in use; for any other cause the same text followed by the system's reason.
std::string InstallFailureMessage(std::uint32_t code);

}  // namespace app
