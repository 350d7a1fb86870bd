// File-name helpers on 8-bit paths, and the program's own folder and name.
#pragma once

#include <string>

namespace app {

// The last character of `text`, or a blank when it is empty.
char LastChar(const std::string& text);

// `text` with "\" appended unless it already ends with one; an empty text becomes "\".
std::string AddBackSlash(const std::string& text);

// Everything up to and including the last ":" or "\"; after a ":" a "\" is added, so "C:"
// gives "C:\". Empty when the text holds neither.
std::string ExtractFilePath(const std::string& fileName);

// What follows the last ":" or "\" (the whole text when there is neither). Without the
// extension the text is first cut at its last "." wherever it is, so a dot in a folder name
// cuts there: "C:\a.b\readme" without extension gives "a".
std::string ExtractFileName(const std::string& fileName, bool withExtension);

// What follows the last "." anywhere in the text, without the dot; empty when there is none.
// The dot may lie in a folder name: "C:\a.b\readme" gives "b\readme".
std::string ExtractFileExt(const std::string& fileName);

// The text up to its last "." (exclusive); unchanged when there is no ".".
std::string RemoveFileExt(const std::string& fileName);

// The program's folder (with trailing "\") and its name without folder and extension, taken
// from the executable's path by the unit's start-up (or else by the first call).
const std::string& ProgramPath();
const std::string& ProgramName();
void InitializeKzFiles();

}  // namespace app
