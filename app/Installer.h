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

// An old copy that could not be deleted after a successful install (a program still running):
// it waits beside the new file under its temporary name. Queued: the system deletes it at the
// next restart; otherwise it stays until the user deletes it.
struct TLeftover {
    std::string Target;  // the installed file it was
    std::string Path;    // where the old copy waits
    bool Queued = false;
};

// Writes every item of `store` into `folder` (which ends in "\") under the item's name, so that
// afterwards either all of them are the new files or every file there is as it was before.
// Each item is first expanded to a temporary file in the folder itself; only when all are
// written are the old files moved aside, the new ones moved into their places and the old ones
// deleted (a read-only one too). A failure at any step undoes the steps before it and raises
// EInstallError. Returns the targets in item order; old copies that could not be deleted are
// added to `leftovers` when given.
std::vector<std::string> InstallStoredFiles(TzResStorage& store, const std::string& folder,
                                            std::vector<TLeftover>* leftovers = nullptr);

// What the user is told of a leftover: where it is and when it goes.
std::string LeftoverMessage(const TLeftover& leftover);

// What the user is told when the files are installed but the record of the install (the build
// and folder in the INI file) could not be written.
std::string RecordFailureMessage(const std::string& folder, const std::string& iniFile,
                                 const std::string& reason);

// The text shown when an install failed: "Unable to continue - Quit Varnelo if it is running"
// when a file is in use; for any other cause the same text followed by the system's reason.
std::string InstallFailureMessage(std::uint32_t code);

}  // namespace app
