// Settings access: INI files through the system's INI functions, and
// registry values read as text.
#pragma once
#include <cstdint>
#include <string>

#include "utils/c_text.h"
#include "utils/registry_text.h"

namespace varnel {

#ifdef _WIN32
// The key's value, or fallback when Section or Key is empty, the key is
// missing or its value is empty. A value longer than 10240 characters is
// returned whole and logged as a size warning.
std::string ReadIniString(CText file, CText section, CText key, CText fallback);
std::int64_t ReadIniInteger(CText file, CText section, CText key, std::int64_t fallback);
// false without writing when File, Section or Key is empty. An empty value
// is written as an empty value, not a deleted key.
bool WriteIniString(CText file, CText section, CText key, CText value);
bool WriteIniInteger(CText file, CText section, CText key, std::int64_t value);

// The value as text (see RegistryValueText), or fallback when the key or the
// value can't be read.
std::string ReadRegistryString(CText path, CText valueName, CText fallback, bool use64BitView);
#endif

// Root and subkey of a registry path (root as the enum; see ParseRegistryPath).
inline RegistryPath SplitRegistryPath(const std::string& path) { return ParseRegistryPath(path); }

}  // namespace varnel
