// Byte-level builder of package files for tests. It writes the layout field
// by field with its own offsets, so the reader is checked against the format
// and not against our own trailer encoder.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace package_bytes {

inline void PutU32(std::string& b, std::size_t at, std::uint32_t v) {
  if (b.size() < at + 4) b.resize(at + 4, '\0');
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

inline std::string U32(std::uint32_t v) {
  std::string b;
  PutU32(b, 0, v);
  return b;
}

// A stand-in stub image: "MZ", "PE" at 0x100, zero end pointer.
inline std::string StubImage(std::size_t size = 0x200) {
  std::string s(size, '\0');
  s[0] = 'M';
  s[1] = 'Z';
  s[0x100] = 'P';
  s[0x101] = 'E';
  return s;
}

inline std::string Block(const std::string& text) { return U32(static_cast<std::uint32_t>(text.size())) + text; }

struct TrailerFields {
  std::uint8_t headerCount = 2;
  std::uint32_t packageStart = 0;
  std::uint32_t memberCount = 0;
  std::uint32_t magic = 0x4A3B2C1D;
  std::uint32_t checksum = 1234;
  std::uint32_t space[9] = {};
  std::uint8_t options = 0, web = 0, ask = 0, writeAgent = 0, agent = 0;
  std::uint32_t length = 74;
};

inline std::string TrailerBytes(const TrailerFields& f) {
  std::string t(74, '\0');
  t[0] = 1;
  t[1] = static_cast<char>(f.headerCount);
  PutU32(t, 4, f.packageStart);
  PutU32(t, 8, f.memberCount);
  PutU32(t, 12, f.magic);
  PutU32(t, 16, f.checksum);
  for (int k = 0; k < 9; ++k) PutU32(t, 28 + 4 * k, f.space[k]);
  t[65] = static_cast<char>(f.options);
  t[66] = static_cast<char>(f.web);
  t[67] = static_cast<char>(f.ask);
  t[68] = static_cast<char>(f.writeAgent);
  t[69] = static_cast<char>(f.agent);
  PutU32(t, 70, f.length);
  return t;
}

// Stub image + header blocks + trailer (package start filled in).
inline std::string Package(const std::vector<std::string>& headers, TrailerFields f,
                           std::string stub = StubImage()) {
  f.packageStart = static_cast<std::uint32_t>(stub.size());
  std::string file = stub;
  for (const std::string& h : headers) file += Block(h);
  return file + TrailerBytes(f);
}

// The language list: sections of {name, "key=value", ...}.
inline std::string LanguageList(const std::vector<std::vector<std::string>>& sections) {
  std::string list = "\x02";
  for (const auto& section : sections) {
    std::string s = "\x01";
    for (const std::string& item : section) s += item + "\x01";
    list += s + "\x02";
  }
  return list;
}

}  // namespace package_bytes
