// The texts and font settings the setup stub shows, by key of the package's
// language section, each with its built-in English default. A lookup goes
// through the package reader's GetLangString, so a package without a
// language list, or a section without the key, shows the default.
#pragma once
#include <string>
#include <string_view>

namespace varnel {

struct LangKeyDefault {
  const char* key;
  const char* text;
};

// Every key the stub reads, in the order of the table (there is no "s9").
extern const LangKeyDefault kLangDefaults[];
extern const int kLangDefaultCount;

// The built-in default of a key (case-insensitive); "" for an unknown key.
const char* LangDefault(std::string_view key);

// The package's text for `key`, or its built-in default. Reader is the
// package reader (anything with GetLangString(key, default)).
template <class Reader>
std::string LangText(const Reader& reader, const char* key) {
  return reader.GetLangString(key, LangDefault(key));
}

}  // namespace varnel
