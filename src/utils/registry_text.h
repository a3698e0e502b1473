// Text rules of the registry and INI access: the path syntax with
// abbreviated root names, how a value of any type becomes text, and how an
// INI file's text takes a new value.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace varnel {

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig, DynData };

struct RegistryPath {
  RegistryRoot root = RegistryRoot::CurrentUser;
  std::string subkey;
};

// "HKLM\Software\X", "hkey_local_machine\Software\X": root and subkey. A path
// not beginning with "HK" is a subkey of HKEY_CURRENT_USER; an unknown root
// name means HKEY_CURRENT_USER too.
RegistryPath ParseRegistryPath(const std::string& path);
RegistryRoot RegistryRootFromName(const std::string& name);

// Registry value types as the system numbers them.
constexpr std::uint32_t kRegSz = 1, kRegDword = 4, kRegMultiSz = 7;

// REG_DWORD of 4 bytes: unsigned decimal; REG_MULTI_SZ: the strings joined
// by "<0>"; anything else: the bytes up to the first zero byte.
std::string RegistryValueText(std::uint32_t type, const unsigned char* data, std::size_t size);

// Text to a 64-bit integer (optional blanks and sign, decimal or "$"/"0x"
// hexadecimal); fallback when it does not convert.
std::int64_t TextToInt64(const std::string& text, std::int64_t fallback);
// The same, decimal only ("0x10" and "$10" do not convert).
std::int64_t DecimalTextToInt64(const std::string& text, std::int64_t fallback);

// The INI file text with key=value set in [section]: a line of that key in
// that section (names compared without regard to ASCII case and blanks) is
// replaced; otherwise the line goes after the section's last line, or a new
// section at the end carries it. Everything else stays byte for byte; new
// lines end in CR LF.
std::string IniTextWithValue(const std::string& text, const std::string& section, const std::string& key,
                             const std::string& value);

// The value of key in [section] of an INI file's text, read as the system's
// INI functions read it: names compared without regard to ASCII case and
// blanks, the first such key of the first such section that has it, the
// value without blanks at its ends and without one pair of enclosing
// quotes. found is false when there is no such key.
std::string IniValue(const std::string& text, const std::string& section, const std::string& key, bool& found);

}  // namespace varnel
