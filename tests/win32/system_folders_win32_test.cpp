// System folders and macro expansion on the system Wine gives: the folders
// hang together as their rules say, and relative paths resolve as the
// system's own full-path function resolves them.
#include "folders/system_folders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "utils/file_helpers.h"
#include "utils/wide_text_win32.h"
#include "utils_test_support.h"

namespace {

using namespace varnel;

bool IsFolder(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(SystemFolders, BasicFoldersWithAndWithoutTrailingBackslash) {
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  EXPECT_EQ(GetWindowsFolder(false), WithTrailingBackslash(windows, false, nullptr));
  const std::string withSlash = GetSystemFolder(true);
  ASSERT_GE(withSlash.size(), 4u);
  EXPECT_EQ(withSlash.back(), '\\');
  EXPECT_NE(withSlash[withSlash.size() - 2], '\\');
  EXPECT_EQ(GetSystemFolder(false) + "\\", withSlash);
  EXPECT_TRUE(IsFolder(GetSystem16Folder())) << GetSystem16Folder();
  EXPECT_TRUE(IsFolder(GetFontsFolder())) << GetFontsFolder();
  EXPECT_TRUE(IsFolder(GetRegistryFolder(RegistryFolder::ProgramFiles)));
  EXPECT_EQ(GetOriginFolder(), ExeFolder(false));  // no "/OriginExe=" in this process
  EXPECT_EQ(GetOriginExe(), ExePath(false));
}

// A folder stored in the registry with letters outside the ANSI code page
// comes back as UTF-8; the stored value is put back afterwards.
TEST(SystemFolders, RegistryFolderInUtf8) {
  const wchar_t kKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  wchar_t saved[1024] = {};
  DWORD savedSize = sizeof saved - sizeof(wchar_t), savedType = 0;
  const bool had = RegQueryValueExW(key, L"Start Menu", nullptr, &savedType, reinterpret_cast<BYTE*>(saved),
                                    &savedSize) == ERROR_SUCCESS;
  const std::string folder = "C:\\\xCE\x9C\xCE\xB5\xCE\xBD\xCE\xBF\xCF\x8D \xE6\x97\xA5";  // Greek and CJK
  const std::wstring wide = Wide(folder);
  RegSetValueExW(key, L"Start Menu", 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                 static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
  EXPECT_EQ(GetRegistryFolder(RegistryFolder::StartMenu), folder);
  if (had)
    RegSetValueExW(key, L"Start Menu", 0, savedType, reinterpret_cast<const BYTE*>(saved), savedSize);
  else
    RegDeleteValueW(key, L"Start Menu");
  RegCloseKey(key);
}

TEST(SystemFolders, UserFoldersExistAndFollowTheirSources) {
  const UserFolder all[] = {UserFolder::MyDocuments,       UserFolder::User,
                            UserFolder::DocumentsAndSettings, UserFolder::AllUsers,
                            UserFolder::UserAppData,       UserFolder::UserLocalAppData,
                            UserFolder::AllUsersAppData,   UserFolder::AllUsersDocuments,
                            UserFolder::UserStartMenu,     UserFolder::AllUsersStartMenu,
                            UserFolder::UserPrograms,      UserFolder::AllUsersPrograms,
                            UserFolder::UserDesktop,       UserFolder::AllUsersDesktop};
  for (UserFolder which : all) {
    const std::string folder = GetUserFolder(which, false);
    EXPECT_FALSE(folder.empty()) << static_cast<int>(which);
    EXPECT_EQ(GetUserFolder(which, true), folder + "\\");
  }
  const std::string documents = GetUserFolder(UserFolder::MyDocuments, false);
  EXPECT_TRUE(IsFolder(documents)) << documents;
  EXPECT_EQ(GetUserFolder(UserFolder::User, false), ParentFolder(documents, nullptr));
  EXPECT_EQ(GetUserFolder(UserFolder::DocumentsAndSettings, false),
            ParentFolder(ParentFolder(documents, nullptr), nullptr));
  EXPECT_EQ(GetUserFolder(UserFolder::AllUsers, false),
            ParentFolder(GetUserFolder(UserFolder::AllUsersAppData, false), nullptr));
}

TEST(ExpandMacrosOnThisSystem, FoldersDateAndRelativePathsAsTheSystemResolvesThem) {
  SetInstallDirs("C:\\Prog\\App", "", "");
  EXPECT_EQ(ExpandMacros("<InstallDir><Windows Directory>\\notepad.exe", "\\", true, true),
            GetWindowsFolder(true) + "notepad.exe");
  EXPECT_EQ(ExpandMacros("<installdir>app.exe", "\\", true, true), "C:\\Prog\\App\\app.exe");
  SYSTEMTIME t;
  GetLocalTime(&t);
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", t.wYear, t.wMonth, t.wDay);
  EXPECT_EQ(ExpandMacros("<Date=6>", "\\", false, false), date);

  varnel_test::ScratchFolder scratch("macros");
  char saved[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryA((scratch.path + ".").c_str()));
  const char* relative[] = {"..\\a.exe", "x\\..\\y", "\\..\\z", "a\\.\\b\\..\\c\\..\\", "..\\..\\..\\..\\..\\..\\q"};
  for (const char* path : relative) {
    char full[MAX_PATH];
    ASSERT_GT(GetFullPathNameA(path, MAX_PATH, full, nullptr), 0u);
    EXPECT_EQ(ExpandMacros(path, "\\", true, true), full) << path;
  }
  SetCurrentDirectoryA(saved);
}

}  // namespace
