// Text routines of the placement units: replacing, words over a delimiter set, XOR-hex coding.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

namespace placement {

// A set of 8-bit characters.
using TCharSet = std::bitset<256>;

// The set of every byte in `chars`.
TCharSet CharSet(std::string_view chars);

// Every occurrence of `srch` in `s` replaced by `replace`, scanning left to right without
// overlap, case-sensitive. An empty `srch` leaves `s` unchanged.
std::string ReplaceStr(std::string_view s, std::string_view srch, std::string_view replace);

// The number of maximal runs of non-delimiter characters.
std::int32_t WordCount(std::string_view s, const TCharSet& wordDelims);
// The 1-based index of the first character of the n-th word (n counts from 1); 0 when there
// are fewer than n words or n < 1.
std::int32_t WordPosition(std::int32_t n, std::string_view s, const TCharSet& wordDelims);
// The n-th word; empty when there is none.
std::string ExtractWord(std::int32_t n, std::string_view s, const TCharSet& wordDelims);

// Two lower-case hexadecimal digits per byte of `source`, each byte XORed first with the
// key's bytes in turn when the key is not empty.
std::string XorEncode(std::string_view key, std::string_view source);
// The reverse of XorEncode. A pair that is not hexadecimal reads as a blank (before the key is
// applied); a trailing odd character is ignored. Never throws.
std::string XorDecode(std::string_view key, std::string_view source);

}  // namespace placement
