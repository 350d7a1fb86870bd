// Default section and INI/registry names, one-call reads and writes on either an INI file or a
// registry INI object, and a form's window placement as a small set of keys.
#pragma once

#include "platform/rtl/Component.h"
#include "platform/win/Forms.h"
#include "platform/win/IniFiles.h"

#include <cstdint>
#include <functional>
#include <string>

namespace placement {

// Module settings. The default-INI-name routine replaces the program-name rule when set.
extern std::function<std::string()> OnGetDefaultIniName;
// Prefixes the default registry key ("Software\<company>\<name>") when not empty.
extern std::string DefCompanyName;
// The default registry key uses the application title when set and the title is not empty.
extern bool RegUseAppTitle;

// Empty for none; a form's class name; for a control, its parent form's class name followed
// directly by its name (or its parent's name followed by its own); for a non-visual component
// owned by a TForm, "<form class>.<name>"; otherwise the component's name.
std::string GetDefaultSection(rtl::TComponent* component);
// OnGetDefaultIniName when set, else the program's file name (no folder) with ".INI".
std::string GetDefaultIniName();
// "Software\" + [company "\"] + the title (when used and not empty) or the program's name.
std::string GetDefaultIniRegKey();

// The keys of a placement record.
inline constexpr const char* siFlags = "Flags";
inline constexpr const char* siShowCmd = "ShowCmd";
inline constexpr const char* siMinMaxPos = "MinMaxPos";
inline constexpr const char* siNormPos = "NormPos";
inline constexpr const char* siPixels = "PixelsPerInch";
inline constexpr const char* siVisible = "Visible";
// "(1024x768)": the screen size in pixels, appended to the position keys.
std::string ScreenSizeSuffix();

// One call on either a win::TIniFile or a win::TRegIniFile. Any other object (or none) reads
// the default and ignores writes. A registry object whose key could not be opened reads the
// default, and a write to it raises win::ERegistryException
// "Unable to write to registry section <section>".
std::string IniReadString(rtl::TObject* iniFile, const std::string& section, const std::string& ident,
                          const std::string& defaultValue);
// To an INI file, a value that begins and ends with a double quote (or with a single quote)
// is wrapped in one more pair of double quotes, since the profile functions strip one pair
// when reading; the registry stores values as they are.
void IniWriteString(rtl::TObject* iniFile, const std::string& section, const std::string& ident,
                    const std::string& value);
std::int32_t IniReadInteger(rtl::TObject* iniFile, const std::string& section, const std::string& ident,
                            std::int32_t defaultValue);
void IniWriteInteger(rtl::TObject* iniFile, const std::string& section, const std::string& ident,
                     std::int32_t value);
bool IniReadBool(rtl::TObject* iniFile, const std::string& section, const std::string& ident,
                 bool defaultValue);
void IniWriteBool(rtl::TObject* iniFile, const std::string& section, const std::string& ident, bool value);
void IniEraseSection(rtl::TObject* iniFile, const std::string& section);

// Writes "Flags", "ShowCmd", "PixelsPerInch", then "MinMaxPos" and "NormPos", each first
// under the key with the screen-size suffix and then under the plain key. Creates the form's
// window when it has none.
void WriteFormPlacement(win::TCustomForm* form, rtl::TObject* iniFile, const std::string& section);
// Reads them back: the position (the suffixed key first, the plain one when that is empty;
// ignored as a whole when "PixelsPerInch" differs from the screen's) and the state from
// "ShowCmd". Missing or malformed values read as the form's current ones.
void ReadFormPlacement(win::TCustomForm* form, rtl::TObject* iniFile, const std::string& section,
                       bool loadState, bool loadPosition);

// The unit's shut-down: clears the company name.
void FinalizeRxAppUtils();

}  // namespace placement
