// Which answer of the system each folder takes, and the fallbacks when the
// answer names no existing folder.
#include "folders/folder_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace {

using namespace varnel;

bool ShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// A machine described by tables: the shell's answers and the folders that exist.
class TableSystem : public FolderSystem {
 public:
  std::map<int, std::string> folderPath, special;
  std::map<RegistryFolder, std::string> registry;
  std::set<std::string> existing;
  std::string windows = "C:\\Windows", system = "C:\\Windows\\system32", user = "Ann";

  std::string FolderPathQuery(int id) override { return folderPath.count(id) ? folderPath[id] : ""; }
  std::string SpecialFolderQuery(int id) override { return special.count(id) ? special[id] : ""; }
  std::string WindowsFolder() override { return windows; }
  std::string SystemFolder() override { return system; }
  std::string RegistryFolderValue(RegistryFolder which) override { return registry[which]; }
  std::string UserName() override { return user; }
  bool DirectoryExists(const std::string& path) override { return existing.count(path) > 0; }
  LeadByteTest LeadBytes() override { return ShiftJisLead; }
};

TEST(TrailingBackslash, OneAtMostAndDoubleByteAware) {
  struct Case {
    const char* path;
    bool add;
    const char* expected;
  } cases[] = {
      {"C:\\", false, "C:"},          {"C:\\", true, "C:\\"},       {"C:\\a\\", true, "C:\\a\\"},
      {"C:\\a", true, "C:\\a\\"},     {"C:\\a\\\\", false, "C:\\a\\"}, {"\\", false, "\\"},
      {"C:", true, "C:\\"},           {"", true, "\\"},
      // 0x95 0x5C is one character whose second byte is "\": not a separator.
      {"C:\\\x95\x5C", false, "C:\\\x95\x5C"}, {"C:\\\x95\x5C", true, "C:\\\x95\x5C\\"},
      {"C:\\\x95\x5C\\", false, "C:\\\x95\x5C"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WithTrailingBackslash(c.path, c.add, ShiftJisLead), c.expected) << c.path << " " << c.add;
  EXPECT_EQ(ParentFolder("C:\\\x95\x5C", ShiftJisLead), "C:");
  EXPECT_EQ(ParentFolder("C:\\\x95\x5C", nullptr), "C:\\\x95");
  EXPECT_EQ(ParentFolder("file.exe", nullptr), "");
}

TEST(UserFolders, ModernSystemTakesTheShellAnswersAndTheirParents) {
  TableSystem s;
  s.folderPath = {{csidl::kPersonal, "C:\\Users\\Ann\\Documents\\"}, {csidl::kCommonAppData, "C:\\ProgramData"}};
  s.existing = {"C:\\Users\\Ann\\Documents", "C:\\Users\\Ann", "C:\\Users", "C:\\ProgramData", "C:"};
  EXPECT_EQ(UserFolderFrom(s, UserFolder::MyDocuments), "C:\\Users\\Ann\\Documents");
  EXPECT_EQ(UserFolderFrom(s, UserFolder::User), "C:\\Users\\Ann");
  EXPECT_EQ(UserFolderFrom(s, UserFolder::DocumentsAndSettings), "C:\\Users");
  // The parent of C:\ProgramData is the drive, without its backslash.
  EXPECT_EQ(UserFolderFrom(s, UserFolder::AllUsers), "C:");
  EXPECT_EQ(UserFolderFrom(s, UserFolder::AllUsersAppData), "C:\\ProgramData");
  // No shell answer for the menus and desktops: the user's folder first,
  // then the all-users folder, which is not checked.
  s.existing.insert("C:\\Users\\Ann\\Desktop");
  EXPECT_EQ(UserFolderFrom(s, UserFolder::UserDesktop), "C:\\Users\\Ann\\Desktop");
  EXPECT_EQ(UserFolderFrom(s, UserFolder::UserStartMenu), "C:\\Start Menu");
  EXPECT_EQ(UserFolderFrom(s, UserFolder::UserPrograms), "C:\\Start Menu\\Programs");
  EXPECT_EQ(UserFolderFrom(s, UserFolder::AllUsersDesktop), "C:\\Desktop");
  s.special = {{csidl::kStartMenu, "C:\\Users\\Ann\\Menu"}, {csidl::kCommonDesktopDirectory, "C:\\Public\\Desktop"}};
  s.existing.insert({"C:\\Users\\Ann\\Menu", "C:\\Public\\Desktop"});
  EXPECT_EQ(UserFolderFrom(s, UserFolder::UserStartMenu), "C:\\Users\\Ann\\Menu");
  EXPECT_EQ(UserFolderFrom(s, UserFolder::AllUsersDesktop), "C:\\Public\\Desktop");
}

TEST(UserFolders, WithoutTheFolderPathQueryTheProfileStandsIn) {
  TableSystem s;  // SHFolder.dll missing: every folder-path query is empty
  s.existing = {"C:\\Windows", "C:\\Windows\\Profiles\\Ann"};
  const std::string profile = "C:\\Windows\\Profiles\\Ann";
  struct Case {
    UserFolder which;
    std::string expected;
  } cases[] = {
      {UserFolder::MyDocuments, profile + "\\My Documents"},
      {UserFolder::User, profile},
      {UserFolder::DocumentsAndSettings, profile},
      {UserFolder::UserAppData, profile + "\\Application Data"},
      {UserFolder::UserLocalAppData, profile + "\\Application Data"},
      {UserFolder::AllUsers, "C:\\Windows"},
      {UserFolder::AllUsersAppData, "C:\\Windows\\Application Data"},
      {UserFolder::AllUsersDocuments, "C:\\Windows\\Documents"},
      {UserFolder::AllUsersStartMenu, "C:\\Windows\\Start Menu"},
      {UserFolder::AllUsersPrograms, "C:\\Windows\\Start Menu\\Programs"},
  };
  for (const Case& c : cases) EXPECT_EQ(UserFolderFrom(s, c.which), c.expected) << static_cast<int>(c.which);
  // No profile folder either: the Windows folder.
  s.existing.erase(profile);
  EXPECT_EQ(UserFolderFrom(s, UserFolder::MyDocuments), "C:\\Windows\\My Documents");
  // An answer naming a folder that does not exist counts as no answer.
  s.folderPath[csidl::kPersonal] = "C:\\Gone\\Documents";
  s.existing.insert("C:\\Gone");
  EXPECT_EQ(UserFolderFrom(s, UserFolder::User), "C:\\Windows");
  EXPECT_EQ(UserFolderFrom(s, UserFolder::DocumentsAndSettings), "C:\\Windows");
}

TEST(BasicFolders, SixteenBitSystemFontsAndOrigin) {
  TableSystem s;
  s.existing = {"C:\\Windows\\system", "C:\\Windows\\System"};
  EXPECT_EQ(System16FolderFrom(s), "C:\\Windows\\system");
  s.system = "C:\\WINNT\\system32";
  EXPECT_EQ(System16FolderFrom(s), "C:\\Windows\\System");
  s.existing.clear();
  EXPECT_EQ(System16FolderFrom(s), "C:\\WINNT\\system32");

  EXPECT_EQ(FontsFolderFrom(s), "C:\\Windows\\Fonts");
  s.registry[RegistryFolder::Fonts] = "D:\\Fonts";
  EXPECT_EQ(FontsFolderFrom(s), "C:\\Windows\\Fonts");  // named but missing
  s.existing.insert("D:\\Fonts");
  EXPECT_EQ(FontsFolderFrom(s), "D:\\Fonts");

  EXPECT_EQ(OriginFolderFrom("E:\\Downloads\\setup.exe", "C:\\Prog\\", nullptr), "E:\\Downloads");
  EXPECT_EQ(OriginFolderFrom("E:\\setup.exe", "C:\\Prog", nullptr), "E:");
  EXPECT_EQ(OriginFolderFrom("", "C:\\Prog\\", nullptr), "C:\\Prog");
}

}  // namespace
