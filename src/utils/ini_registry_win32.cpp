#include <windows.h>

#include <cstring>
#include <vector>

#include "utils/debug_stream.h"
#include "utils/file_helpers.h"
#include "utils/ini_registry.h"
#include "utils/lock.h"
#include "utils/text_format.h"
#include "utils/wide_text_win32.h"
#include "utils/win_handles.h"

namespace varnel {
namespace {

constexpr DWORD kIniBuffer = 32769;
constexpr DWORD kIniSizeWarning = 10240;
constexpr DWORD kRegistryBuffer = 10241;

Lock& IniLock() {
  static Lock lock;  // serialises INI reads and writes
  return lock;
}

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::Users: return HKEY_USERS;
    case RegistryRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
    case RegistryRoot::DynData: return HKEY_DYN_DATA;
    case RegistryRoot::CurrentUser: break;
  }
  return HKEY_CURRENT_USER;
}

// A file named by a bare name is the system's business (it lives in the
// Windows folder).
bool IsBareName(CText file) { return !std::strpbrk(file.c_str(), "\\/:"); }

// An INI file's text as UTF-8. The file may be UTF-16 (with its byte order
// mark, as the stub writes a file that holds characters beyond ASCII),
// UTF-8 with or without a mark, or ANSI (files written by older agents and
// by hand).
std::string IniFileText(const std::string& bytes) {
  const auto b = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
    std::wstring wide((n - 2) / 2, L'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
      const unsigned char lo = b[2 + 2 * i + (b[0] == 0xFF ? 0 : 1)], hi = b[2 + 2 * i + (b[0] == 0xFF ? 1 : 0)];
      wide[i] = static_cast<wchar_t>(lo | (hi << 8));
    }
    return Utf8(wide);
  }
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return bytes.substr(3);
  if (IsAsciiText(bytes)) return bytes;
  return Utf8(Wide(bytes));
}

// The bytes that hold an INI file's UTF-8 text: unchanged when it is
// ASCII (the format older agents and other readers know); otherwise UTF-16
// with its byte order mark, which the system's INI functions read too.
std::string IniFileBytes(const std::string& text) {
  if (IsAsciiText(text)) return text;
  const std::wstring wide = Wide(text);
  std::string bytes("\xFF\xFE", 2);
  bytes.reserve(2 + wide.size() * 2);
  for (wchar_t c : wide) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>((c >> 8) & 0xFF);
  }
  return bytes;
}

}  // namespace

std::string ReadIniString(CText file, CText section, CText key, CText fallback) {
  LockGuard guard(IniLock());
  std::string result = fallback.str();
  if (section.empty() || key.empty()) return result;
  if (IsBareName(file)) {
    std::vector<wchar_t> buffer(kIniBuffer);
    DWORD n = GetPrivateProfileStringW(Wide(section.str()).c_str(), Wide(key.str()).c_str(), L"", buffer.data(),
                                       kIniBuffer, Wide(file.str()).c_str());
    if (n > 0) result = Utf8(buffer.data(), n);
  } else {
    // Read here rather than through the system's INI functions: those
    // read a file without a byte order mark in the ANSI code page only,
    // and keep a copy of a file that may just have been replaced.
    bool found = false;
    std::string value = IniValue(IniFileText(ReadFilePart(file.str())), section.str(), key.str(), found);
    if (!value.empty()) result.swap(value);
  }
  if (result.size() > kIniSizeWarning && result != fallback.str())
    DebugLine("ReadIniString SizeError=%lu", static_cast<unsigned long>(result.size()));
  return result;
}

std::int64_t ReadIniInteger(CText file, CText section, CText key, std::int64_t fallback) {
  return TextToInt64(ReadIniString(file, section, key, DecimalText(fallback)), fallback);
}

bool WriteIniString(CText file, CText section, CText key, CText value) {
  if (file.empty() || section.empty() || key.empty()) return false;
  const std::wstring wideFile = Wide(file.str());
  if (IsBareName(file))
    return WritePrivateProfileStringW(Wide(section.str()).c_str(), Wide(key.str()).c_str(), Wide(value.str()).c_str(),
                                      wideFile.c_str()) != 0;
  // The system's writer rewrites the file in place and reports success even
  // when a full volume cut it short (Wine does): the settings would be lost.
  // The new text goes to a file beside it and takes its name only when
  // every byte was written; otherwise the file stays as it was.
  LockGuard guard(IniLock());
  WIN32_FILE_ATTRIBUTE_DATA data;
  std::string text;
  if (GetFileAttributesExW(wideFile.c_str(), GetFileExInfoStandard, &data)) {
    text = ReadFilePart(file.str());
    if (text.empty() && (data.nFileSizeLow || data.nFileSizeHigh)) return false;
  }
  std::string fresh = file.str();
  fresh += ".~new";
  const std::string updated = IniTextWithValue(IniFileText(text), section.str(), key.str(), value.str());
  if (!WriteFileText(fresh, IniFileBytes(updated)) ||
      !MoveFileExW(Wide(fresh).c_str(), wideFile.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileW(Wide(fresh).c_str());
    return false;
  }
  // The system keeps a read file's settings and takes a change for one only
  // when the write time differs, which two writes in a few milliseconds may
  // share: its copy of this file is dropped (the documented flush).
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, wideFile.c_str());
  return true;
}

bool WriteIniInteger(CText file, CText section, CText key, std::int64_t value) {
  return WriteIniString(file, section, key, DecimalText(value));
}

std::string ReadRegistryString(CText path, CText valueName, CText fallback, bool use64BitView) {
  RegistryPath where = ParseRegistryPath(path.str());
  REGSAM access = KEY_READ | (use64BitView ? KEY_WOW64_64KEY : 0);
  HKEY opened = nullptr;
  if (RegOpenKeyExW(RootKey(where.root), Wide(where.subkey).c_str(), 0, access, &opened) != ERROR_SUCCESS)
    return fallback.str();
  RegKey key(opened);
  std::vector<unsigned char> buffer(kRegistryBuffer * sizeof(wchar_t));
  DWORD type = 0;
  DWORD size = static_cast<DWORD>(buffer.size());
  if (RegQueryValueExW(key.get(), Wide(valueName.str()).c_str(), nullptr, &type, buffer.data(), &size) !=
      ERROR_SUCCESS)
    return fallback.str();
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
    // Text values come as UTF-16: as UTF-8 (zeros and all), they take the
    // shapes RegistryValueText knows.
    const std::string text = Utf8(reinterpret_cast<const wchar_t*>(buffer.data()), size / sizeof(wchar_t));
    return RegistryValueText(type, reinterpret_cast<const unsigned char*>(text.data()), text.size());
  }
  return RegistryValueText(type, buffer.data(), size);
}

}  // namespace varnel
