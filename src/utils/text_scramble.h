// Reversible scrambling of settings texts. A scrambled text starts with the
// marker "Scrambled=01" and one key character; the rest is the plain text
// XORed with a position-dependent key. Optionally carried as hexadecimal.
#pragma once
#include <string>

namespace varnel {

constexpr const char kScrambleMarker[] = "Scrambled=01";

// encode true scrambles a plain text, false unscrambles a scrambled one;
// hex true means the scrambled form is hexadecimal text. Scrambling an
// already scrambled text, or unscrambling a plain one, returns the input.
// The key is drawn at random for every call.
std::string ScrambleText(const std::string& text, bool encode, bool hex);

// The same with the random draw given (0..89), so every key can be tested.
std::string ScrambleTextWithKey(const std::string& text, bool encode, bool hex, int drawnKey);

}  // namespace varnel
