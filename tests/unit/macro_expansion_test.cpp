// Macro expansion of settings texts: every macro, the suffix rule, the
// installation-folder deletion, the backslash collapse, dates and relative
// paths, on a machine described by a table.
#include "folders/macro_expansion.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using namespace varnel;
using MV = MacroValue;

MacroClock At(int year, int month, int day, int hour, int minute, int second) {
  MacroClock c;
  c.year = year;
  c.month = month;
  c.day = day;
  c.hour = hour;
  c.minute = minute;
  c.second = second;
  return c;
}

bool ShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

class TableSource : public MacroSource {
 public:
  std::map<MV, std::string> values = {
      {MV::LoggedUserName, "ann"},
      {MV::UserName, "Ann Owner"},
      {MV::CompanyName, "Org"},
      {MV::ComputerName, "PC"},
      {MV::CurrentDomainName, "DOM"},
      {MV::InstallDir, "C:\\Prog\\App"},
      {MV::SharedDir, "C:\\Prog\\Shared"},
      {MV::AuxiliaryDir, "D:\\Aux"},
      {MV::WindowsDir, "C:\\Windows"},
      {MV::SystemDir, "C:\\Windows\\system32"},
      {MV::System16Dir, "C:\\Windows\\system"},
      {MV::StartMenuRegistryDir, "C:\\Users\\ann\\Start Menu"},
      {MV::ProgramFilesDir, "C:\\Program Files\\"},  // registry values come as stored
      {MV::CommonFilesDir, "C:\\Program Files\\Common Files"},
      {MV::FontDir, "C:\\Windows\\Fonts"},
      {MV::ExeDir, "C:\\Prog\\App\\Update"},
      {MV::OriginDir, "E:\\Downloads"},
      {MV::TempDir, "C:\\Temp"},
      {MV::UserDir, "C:\\Users\\ann"},
      {MV::UserAppDataDir, "C:\\Users\\ann\\AppData\\Roaming"},
      {MV::UserLocalAppDataDir, "C:\\Users\\ann\\AppData\\Local"},
      {MV::MyDocumentsDir, "C:\\Users\\ann\\Documents"},
      {MV::UserStartMenuDir, "C:\\Users\\ann\\Menu"},
      {MV::UserStartProgramMenuDir, "C:\\Users\\ann\\Menu\\Programs"},
      {MV::UserDesktopDir, "C:\\Users\\ann\\Desktop"},
      {MV::DocumentsAndSettingsDir, "C:\\Users"},
      {MV::AllUsersDir, "C:"},
      {MV::AllUsersAppDataDir, "C:\\ProgramData"},
      {MV::AllUsersDocumentsDir, "C:\\Users\\Public\\Documents"},
      {MV::AllUsersStartMenuDir, "C:\\ProgramData\\Menu"},
      {MV::AllUsersStartProgramMenuDir, "C:\\ProgramData\\Menu\\Programs"},
      {MV::AllUsersDesktopDir, "C:\\Users\\Public\\Desktop"},
  };
  MacroClock clock;
  std::string cwd = "C:\\Work\\Sub";
  int lookups = 0;

  TableSource() {
    clock = At(2026, 12, 10, 9, 5, 7);
    clock.dateSeparator = clock.timeSeparator = ".";
    clock.monthNames[11] = "Dezember";
  }
  std::string Value(MV which) override {
    ++lookups;
    return values[which];
  }
  MacroClock Now() override { return clock; }
  std::string CurrentDirectory() override { return cwd; }
  LeadByteTest LeadBytes() override { return ShiftJisLead; }
};

struct Case {
  const char* text;
  const char* expected;
};

std::string Expand(TableSource& s, const std::string& text, bool folders = true, bool relative = false) {
  return ExpandMacrosWith(s, text, "\\", folders, relative);
}

TEST(ExpandMacros, EveryFolderMacro) {
  TableSource s;
  const Case cases[] = {
      {"<UnInstallExePath>", ""},
      {"<Application Folder>a", "C:\\Prog\\App\\a"},
      {"<Common Folder>a", "C:\\Prog\\Shared\\a"},
      {"<Auxiliary Folder>a", "D:\\Aux\\a"},
      {"<Windows Directory>a", "C:\\Windows\\a"},
      {"<System Directory>a", "C:\\Windows\\system32\\a"},
      {"<System16 Directory>a", "C:\\Windows\\system\\a"},
      {"<InstallDir>a", "C:\\Prog\\App\\a"},
      {"<InstallCommonDir>a", "C:\\Prog\\Shared\\a"},
      {"<InstallAuxDir>a", "D:\\Aux\\a"},
      {"<AbsoluteDir>F:\\x", "F:\\x"},
      {"<WinDir>a", "C:\\Windows\\a"},
      {"<WinSysDir>a", "C:\\Windows\\system32\\a"},
      {"<WinSys32Dir>a", "C:\\Windows\\system32\\a"},
      {"<WinSys16Dir>a", "C:\\Windows\\system\\a"},
      {"<InstallDrive>a", "C:\\a"},
      {"<WinDrive>a", "C:\\a"},
      {"<WinSysDrive>a", "C:\\a"},
      {"<OriginDrive>a", "E:\\a"},
      {"<InstallDisk>a", "C:a"},
      {"<WinDisk>a", "C:a"},
      {"<WinSysDisk>a", "C:a"},
      {"<OriginDisk>a", "E:a"},
      {"<StartMenuDir>a", "C:\\Users\\ann\\Start Menu\\a"},
      {"<ProgramFilesDir>a", "C:\\Program Files\\a"},
      {"<CommonFilesDir>a", "C:\\Program Files\\Common Files\\a"},
      {"<FontDir>a", "C:\\Windows\\Fonts\\a"},
      {"<SrcDir>a", "C:\\Prog\\App\\Update\\a"},
      {"<OriginDir>a", "E:\\Downloads\\a"},
      {"<TempDir>a", "C:\\Temp\\a"},
      {"<ServiceDir>a", "C:\\Prog\\App\\Update\\a"},
      {"<UserDir>a", "C:\\Users\\ann\\a"},
      {"<UserAppDataDir>a", "C:\\Users\\ann\\AppData\\Roaming\\a"},
      {"<UserLocalAppDataDir>a", "C:\\Users\\ann\\AppData\\Local\\a"},
      {"<MyDocumentsDir>a", "C:\\Users\\ann\\Documents\\a"},
      {"<UserStartMenuDir>a", "C:\\Users\\ann\\Menu\\a"},
      {"<UserStartProgramMenuDir>a", "C:\\Users\\ann\\Menu\\Programs\\a"},
      {"<UserDesktopDir>a", "C:\\Users\\ann\\Desktop\\a"},
      {"<DocumentsAndSettingsDir>a", "C:\\Users\\a"},
      {"<AllUsersDir>a", "C:\\a"},
      {"<AllUsersAppDataDir>a", "C:\\ProgramData\\a"},
      {"<AllUsersDocumentsDir>a", "C:\\Users\\Public\\Documents\\a"},
      {"<AllUsersStartMenuDir>a", "C:\\ProgramData\\Menu\\a"},
      {"<AllUsersStartProgramMenuDir>a", "C:\\ProgramData\\Menu\\Programs\\a"},
      {"<AllUsersDesktopDir>a", "C:\\Users\\Public\\Desktop\\a"},
      // No run-time folder is configured: the suffix alone.
      {"<RunTimeDir_1>a.dll|<RunTimeDir_8>b", "\\a.dll|\\b"},
      {"<RunTimeDir_9>a", "<RunTimeDir_9>a"},
  };
  for (const Case& c : cases) EXPECT_EQ(Expand(s, c.text), c.expected) << c.text;
}

TEST(ExpandMacros, NameMacrosAndMacrosOutsideTheTables) {
  TableSource s;
  EXPECT_EQ(Expand(s, "<LoggedUserName>/<UserName>/<CompanyName>/<ComputerName>/<CurrentDomainName>", false),
            "ann/Ann Owner/Org/PC/DOM");
  EXPECT_EQ(Expand(s, "<LastExecutableExitCode>,<ReqFreeDiskSpaceMB>", false), "0,0");
  EXPECT_EQ(Expand(s,
                   "[<EnteredUserName><EnteredCompanyName><EnteredSerialNum><EnteredStartProgramMenu>"
                   "<VendorCompanyName><ProjectName><ProgramDescriptiveName><ProgramVersion><SelectedLanguage>]",
                   false),
            "[]");
  // Without folder expansion folder macros stay; unknown names always stay.
  EXPECT_EQ(Expand(s, "<WinDir>\\<USERNAME>", false), "<WinDir>\\Ann Owner");
  EXPECT_EQ(Expand(s, "<Unknown>\\\\a<WinDirX>"), "<Unknown>\\\\a<WinDirX>");
  EXPECT_EQ(Expand(s, "<installdir>a"), "C:\\Prog\\App\\a");
  // Values are looked up only for the macros that occur.
  TableSource counted;
  Expand(counted, "<WinDir>x and <UserName>");
  EXPECT_EQ(counted.lookups, 2);
}

TEST(ExpandMacros, SuffixRuleDecidedByTheFirstOccurrence) {
  TableSource s;
  const Case cases[] = {
      {"<InstallDir>", "C:\\Prog\\App"},                      // end of text
      {"<InstallDir> /quiet", "C:\\Prog\\App /quiet"},        // followed by a blank
      {"<WinDir> and <WinDir>x", "C:\\Windows and C:\\Windowsx"},
      {"<WinDir>x <WinDir>", "C:\\Windows\\x C:\\Windows\\"},
      {"|<InstallDir>|<WinDir>x|", "|C:\\Prog\\App|C:\\Windows\\x|"},  // list separator
      {",<WinDir>,", ",C:\\Windows,"},
      // A letter or "<" at both ends is not a list separator.
      {"a<WinDir>a", "aC:\\Windows\\a"},
      {"<WinDir><", "C:\\Windows\\<"},
  };
  for (const Case& c : cases) EXPECT_EQ(Expand(s, c.text), c.expected) << c.text;
}

TEST(ExpandMacros, InstallDirDroppedAfterAnEarlierFolderAndBackslashesCollapsed) {
  TableSource s;
  s.values[MV::ExeDir] = "\\\\host\\share\\bin";
  s.values[MV::InstallDir] = "C:\\\x95\x5C";  // a folder whose name ends in a 0x5C trail byte
  const Case cases[] = {
      {"<InstallDir><Windows Directory>\\notepad.exe", "C:\\Windows\\notepad.exe"},
      {"<InstallDir><InstallAuxDir><System Directory>x", "C:\\Windows\\system32\\x"},
      {"<InstallDir>\\\\a\\\\\\b", "C:\\\x95\x5C\\a\\b"},
      {"<SrcDir>\\x.exe", "\\\\host\\share\\bin\\x.exe"},    // network path kept
      {"\\\\\\\\srv\\<WinDir>x", "\\\\srv\\C:\\Windows\\x"},   // a leading run becomes two
      {",\\\\srv\\a,<WinDir>\\\\b,", ",\\\\srv\\a,C:\\Windows\\b,"},  // a run after the separator stays
      {"<Nothing>\\\\a", "<Nothing>\\\\a"},                 // nothing expanded: no collapse
  };
  for (const Case& c : cases) EXPECT_EQ(Expand(s, c.text), c.expected) << c.text;
}

TEST(ExpandMacros, FirstDateOnlyWithTheLocalesConventions) {
  TableSource s;
  const Case cases[] = {
      {"<Date=#>", "10.Dezember.2026"},
      {"<Date=0>", "9840"},
      {"<Date=1>", "10-12-26"},
      {"<Date=2>", "12-10-26"},
      {"<Date=3>", "26-12-10"},
      {"<Date=4>", "10-12-2026"},
      {"<Date=5>", "12-10-2026"},
      {"log_<date=6>.txt", "log_2026-12-10.txt"},
      {"<Date=7>", "2026-12-10 09.05.07"},
      {"<Date=8>", "<Date=8>"},
      {"<Date=9> <Date=6>", "<Date=9> <Date=6>"},
      {"<Date=6>_<Date=6>", "2026-12-10_<Date=6>"},
      {"<Date=6", "<Date=6"},
      {"<Date=6 <x>", "2026-12-10<x>"},  // the character after the code is taken as the ">"
  };
  for (const Case& c : cases) EXPECT_EQ(Expand(s, c.text, false), c.expected) << c.text;

  struct DayCase {
    MacroClock clock;
    const char* days;
  } days[] = {
      {At(2000, 1, 1, 23, 59, 59), "0"}, {At(2000, 1, 2, 0, 0, 0), "1"}, {At(1999, 12, 31, 23, 0, 0), "0"},
      {At(2000, 3, 1, 0, 0, 0), "60"},   {At(1999, 12, 30, 0, 0, 0), "-2"},
  };
  for (const DayCase& d : days) {
    s.clock = d.clock;
    EXPECT_EQ(Expand(s, "<Date=0>", false), d.days) << d.clock.year << "-" << d.clock.month << "-" << d.clock.day;
  }
}

TEST(ExpandMacros, RelativePathsMadeAbsolute) {
  TableSource s;
  const Case cases[] = {
      {"..\\App\\a.exe", "C:\\Work\\App\\a.exe"},
      {"x\\..\\y", "C:\\Work\\Sub\\y"},
      {"<InstallDir>..\\Other\\b.exe", "C:\\Prog\\Other\\b.exe"},
      {"|..\\a|C:\\x\\..\\y|plain|", "|C:\\Work\\a|C:\\y|plain|"},
      {",..\\a,", ",C:\\Work\\a,"},
      {"\\\\srv\\share\\..\\..\\x", "\\\\srv\\share\\x"},
      {"D:\\a\\..\\..\\b\\", "D:\\b\\"},
      {"C:..\\x", "C:\\Work\\x"},
      {"D:..\\x", "D:\\x"},
      {"\\..\\x", "C:\\x"},
      {"a/../b\\..\\c", "C:\\Work\\Sub\\c"},
      {"a\\b", "a\\b"},  // nothing relative to resolve
  };
  for (const Case& c : cases) EXPECT_EQ(Expand(s, c.text, true, true), c.expected) << c.text;
  EXPECT_EQ(Expand(s, "..\\a", true, false), "..\\a");
}

}  // namespace
