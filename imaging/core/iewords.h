// The image library's user-interface words in thirteen language rows, looked up by word index and language.
#pragma once

#include "imaging/core/hyiedefs.h"

#include <cstdint>
#include <string>

namespace imaging {

inline constexpr int kIEWordCount = 131;

// Stores Text (8-bit, in the row's code page) at row Language, word Index. An index beyond the table
// or a language beyond msUser is ignored.
void IESetMessage(TMsgLanguage Language, std::uint8_t Index, const std::string& Text);

// The word in the given language; an empty entry falls back to English. msSystem picks the row from
// the system's primary language. An index beyond the table gives an empty string.
std::string IEGetMessage(std::uint8_t Index, TMsgLanguage Language);

// The row msSystem resolves to for a primary language identifier (7 German, 8 Greek, ...).
TMsgLanguage IELanguageFromPrimaryId(int primaryLanguageId);

// Where msSystem asks for the primary language identifier. The default asks the system: the user's
// language on Windows, the locale variables elsewhere (9, English, when none is set).
using TIESystemLanguageQuery = int (*)();
void IESetSystemLanguageQuery(TIESystemLanguageQuery query);

// Converts UTF-8 to the 8-bit code page 1250, 1251, 1252 or 1253; characters without a byte become '?'
// and make ok false.
std::string IEUtf8ToCodePage(const std::string& utf8, int codePage, bool* ok = nullptr);

}  // namespace imaging
