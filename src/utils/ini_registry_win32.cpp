#include <windows.h>

#include <cstring>
#include <vector>

#include "utils/debug_stream.h"
#include "utils/file_helpers.h"
#include "utils/ini_registry.h"
#include "utils/lock.h"
#include "utils/text_format.h"
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

}  // namespace

std::string ReadIniString(CText file, CText section, CText key, CText fallback) {
  LockGuard guard(IniLock());
  std::string result = fallback.str();
  if (section.empty() || key.empty()) return result;
  std::vector<char> buffer(kIniBuffer);
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), buffer.data(), kIniBuffer,
                                     file.c_str());
  if (n > 0) result.assign(buffer.data(), n);
  if (n > kIniSizeWarning) DebugLine("ReadIniString SizeError=%lu", static_cast<unsigned long>(n));
  return result;
}

std::int64_t ReadIniInteger(CText file, CText section, CText key, std::int64_t fallback) {
  return TextToInt64(ReadIniString(file, section, key, DecimalText(fallback)), fallback);
}

bool WriteIniString(CText file, CText section, CText key, CText value) {
  if (file.empty() || section.empty() || key.empty()) return false;
  // A bare name is the system's business (it lives in the Windows folder).
  if (!std::strpbrk(file.c_str(), "\\/:"))
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != 0;
  // The system's writer rewrites the file in place and reports success even
  // when a full volume cut it short (Wine does): the settings would be lost.
  // The new text goes to a file beside it and takes its name only when
  // every byte was written; otherwise the file stays as it was.
  LockGuard guard(IniLock());
  WIN32_FILE_ATTRIBUTE_DATA data;
  std::string text;
  if (GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data)) {
    text = ReadFilePart(file.str());
    if (text.empty() && (data.nFileSizeLow || data.nFileSizeHigh)) return false;
  }
  std::string fresh = file.str();
  fresh += ".~new";
  if (!WriteFileText(fresh, IniTextWithValue(text, section.str(), key.str(), value.str())) ||
      !MoveFileExA(fresh.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(fresh.c_str());
    return false;
  }
  // The system keeps a read file's settings and takes a change for one only
  // when the write time differs, which two writes in a few milliseconds may
  // share: its copy of this file is dropped (the documented flush).
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
  return true;
}

bool WriteIniInteger(CText file, CText section, CText key, std::int64_t value) {
  return WriteIniString(file, section, key, DecimalText(value));
}

std::string ReadRegistryString(CText path, CText valueName, CText fallback, bool use64BitView) {
  RegistryPath where = ParseRegistryPath(path.str());
  REGSAM access = KEY_READ | (use64BitView ? KEY_WOW64_64KEY : 0);
  HKEY opened = nullptr;
  if (RegOpenKeyExA(RootKey(where.root), where.subkey.c_str(), 0, access, &opened) != ERROR_SUCCESS)
    return fallback.str();
  RegKey key(opened);
  std::vector<char> buffer(kRegistryBuffer);
  const auto bytes = reinterpret_cast<unsigned char*>(buffer.data());
  DWORD type = 0;
  DWORD size = kRegistryBuffer;
  if (RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, bytes, &size) != ERROR_SUCCESS)
    return fallback.str();
  return RegistryValueText(type, bytes, size);
}

}  // namespace varnel
