// The decisions behind the system folders: which answer of the system is
// taken, and which fallback when it names no existing folder. The system's
// answers come in through FolderSystem, so the rules need no Win32 and the
// fallbacks can be tried with any answers.
#pragma once
#include <string>

namespace varnel {

// Tests for the first byte of a double-byte character of the system's code
// page (never true for a single-byte code page).
using LeadByteTest = bool (*)(unsigned char);

// Shell folder numbers. Those given to the folder-path query carry the
// create flag (0x8000).
namespace csidl {
constexpr int kPersonal = 0x8005;
constexpr int kAppData = 0x801A;
constexpr int kLocalAppData = 0x801C;
constexpr int kCommonAppData = 0x8023;
constexpr int kCommonDocuments = 0x802E;
constexpr int kPrograms = 2;
constexpr int kStartMenu = 11;
constexpr int kDesktopDirectory = 16;
constexpr int kCommonStartMenu = 22;
constexpr int kCommonPrograms = 23;
constexpr int kCommonDesktopDirectory = 25;
}  // namespace csidl

// Folder values stored in the registry, returned as stored.
enum class RegistryFolder { Fonts, ProgramFiles, CommonFiles, StartMenu };

enum class UserFolder {
  MyDocuments,
  User,
  DocumentsAndSettings,
  AllUsers,
  UserAppData,
  UserLocalAppData,
  AllUsersAppData,
  AllUsersDocuments,
  UserStartMenu,
  AllUsersStartMenu,
  UserPrograms,
  AllUsersPrograms,
  UserDesktop,
  AllUsersDesktop,
};

// What the system answers; every lookup gives "" when it fails or the
// function is missing.
class FolderSystem {
 public:
  virtual ~FolderSystem() = default;
  // SHGetFolderPath of SHFolder.dll.
  virtual std::string FolderPathQuery(int csidl) = 0;
  // SHGetSpecialFolderPath of shell32.dll.
  virtual std::string SpecialFolderQuery(int csidl) = 0;
  virtual std::string WindowsFolder() = 0;
  virtual std::string SystemFolder() = 0;
  virtual std::string RegistryFolderValue(RegistryFolder which) = 0;
  // The registered owner, else the logged-on user.
  virtual std::string UserName() = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
  virtual LeadByteTest LeadBytes() { return nullptr; }
};

// One trailing "\" removed when the path is longer than two characters and
// the "\" is not the second byte of a double-byte character; then one "\"
// added when add is true. A drive root "C:\" thus becomes "C:".
std::string WithTrailingBackslash(const std::string& path, bool add, LeadByteTest isLead);

// The folder part of a path (everything before its last "\" that is not the
// second byte of a double-byte character); "" without a "\".
std::string ParentFolder(const std::string& path, LeadByteTest isLead);

// Windows folder + "\Profiles\" + user name when that exists, else the
// Windows folder.
std::string ProfileFallback(FolderSystem& system);

// A user or all-users folder by its first source and fallbacks, without
// trailing backslash.
std::string UserFolderFrom(FolderSystem& system, UserFolder which);

// The system folder without its last "32" when that exists, else the
// Windows folder + "\System" when that exists, else the system folder.
std::string System16FolderFrom(FolderSystem& system);

// The registry's fonts folder when it exists, else Windows folder + "\Fonts".
std::string FontsFolderFrom(FolderSystem& system);

// The folder of the origin executable without trailing backslash; the
// executable folder when that is empty.
std::string OriginFolderFrom(const std::string& originExe, const std::string& exeFolder, LeadByteTest isLead);

}  // namespace varnel
