// Shell open, shortcut writing and the Programs and Windows folder lookups.
#pragma once

#include <cstdint>
#include <string>

namespace app {

// Where the shortcut writer puts a link; kinds 0 to 3 come from the current user's registry.
enum TShortcutLocation : std::int32_t {
    slDesktop = 0,      // Explorer\Shell Folders, "Desktop"
    slQuickLaunch = 1,  // GrpConv\MapGroups, "Quick Launch"
    slSendTo = 2,       // Explorer\Shell Folders, "SendTo"
    slStartMenu = 3,    // Explorer\Shell Folders, "Start Menu"
    slFolder = 4,       // the folder the caller gives
};

// The folder of location kinds 0 to 3 as the registry names it (no trailing "\" added);
// empty for a missing value and for any other kind.
std::string ShortcutLocationFolder(std::int32_t kind);

// Opens `fileName` with the shell's default verb, owned by the application window. Failures
// are ignored.
void ShellOpen(const std::string& fileName, const std::string& parameters, const std::string& folder,
               std::int32_t showCmd);

// The user's Programs menu folder from the shell-folder registry values; empty when absent.
std::string GetProgramsFolder();

// The Windows folder with a trailing "\".
std::string GetWindowsFolder();

// Writes a shortcut to `target` named after it with the extension ".lnk"; see CreateShortcut.
void MakeShortcut(const std::string& target, std::int32_t kind, const std::string& folder,
                  const std::string& workingFolder, const std::string& arguments,
                  const std::string& description, std::string& linkPath);

// Writes a shortcut through the shell link object. `linkName` gets the extension ".lnk". The
// link goes into the folder of `kind` (for kinds 0 to 3 plus the subfolder `folder`, which must
// exist) or, for kind 4, into `folder` itself. An empty working folder means the target's
// folder. When no location folder is known (missing registry value, kind 4 without folder,
// kind 5 and above) nothing is written and `linkPath` keeps its value; otherwise `linkPath`
// receives the link's path. Shell errors are silent. COM is initialised on the calling thread
// for the duration of the call when it is not already.
void CreateShortcut(const std::string& target, const std::string& linkName, std::int32_t kind,
                    const std::string& folder, const std::string& workingFolder, const std::string& arguments,
                    const std::string& description, std::string& linkPath);

}  // namespace app
