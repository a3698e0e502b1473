// TGFileInfo: the read-only view of one package file (its trailer and its
// header blocks), the package's language strings, and the process-wide
// reader of the running executable.
//
// A reader never fails: a missing, unreadable or foreign file, or one whose
// trailer or header blocks do not fit inside it, gives a reader with empty
// texts and a zero trailer, so every flag is false, every text empty and
// GetLangString returns its default.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "package/byte_source.h"
#include "package/package_format.h"

namespace varnel {

// How a file name held in a package becomes path text, which is UTF-8:
// set once at start-up by the Windows side, where older packages hold
// names in the ANSI code page. Unset, names are taken as they stand.
using PackageNameDecoder = std::string (*)(const std::string& name);
void SetPackageNameDecoder(PackageNameDecoder decoder);

class TGFileInfo {
 public:
  TGFileInfo() = default;  // the "not a package" reader

  static TGFileInfo Create(const std::string& fileName);
  static TGFileInfo Create(const ByteSource& source);

  const Trailer& GetTrailer() const { return trailer_; }
  const std::string& LanguageList() const { return languageList_; }
  const std::string& UpdateBlock() const { return updateBlock_; }
  const std::string& DownloadBlock() const { return downloadBlock_; }
  bool IsPackage() const { return trailer_.magic == kPackageMagic; }

  // Space-table entry for the cluster size of Folder's drive (Win32).
  double GetSpaceNeeded(const std::string& folder) const;
  // The same for a known cluster size (0: unknown).
  double SpaceNeededForCluster(std::uint64_t clusterSize) const;

  // Option flags and trailer bytes 66..69.
  bool ShowTempNotice() const { return (trailer_.options & kOptShowTempNotice) != 0; }
  bool MoreDisksFollow() const { return (trailer_.options & kOptMoreDisks) != 0; }
  bool RestartFromTempCopy() const { return (trailer_.options & kOptRestartFromTempCopy) != 0; }
  bool ShowActivityBar() const { return (trailer_.options & kOptShowActivityBar) != 0; }
  bool AgentDownloadLog() const { return (trailer_.options & kOptAgentDownloadLog) != 0; }
  bool IsWebInstaller() const { return trailer_.webInstaller != 0; }
  bool AskBeforeDownload() const { return trailer_.askBeforeDownload != 0; }
  bool WriteUpdateAgent() const { return trailer_.writeUpdateAgent != 0; }
  bool IsUpdateAgent() const { return trailer_.updateAgent != 0; }

  // Update block items. The info and agent file names come as path text
  // (see SetPackageNameDecoder).
  std::string GetUpdateUrl() const;
  std::string GetInfoFileName() const;
  // The info file's name without any extension, followed by ".original".
  std::string GetOriginalFileName() const;
  std::string GetAgentFileName() const;
  std::string GetUpdateToken(bool unscramble) const;
  bool RunHidden() const;
  // Item 5: the public key (128 hexadecimal digits) that the package's
  // agent and web installer verify with; "" for none.
  std::string GetUpdateKey() const;

  // Download block items (empty unless the header count is at least 3).
  std::string GetDownloadUrl() const;
  std::string GetSetupFileName() const;
  bool NoLocalSetupCopy() const;
  std::string GetDownloadToken(bool unscramble) const;
  std::string GetSetupFileSize() const;
  // Item 5 (web installer): SHA-256 of the full setup file built with it,
  // 64 hexadecimal digits; "" for none.
  std::string GetSetupHash() const;
  // The unscrambled download tokens of both readers are equal.
  bool SameDownloadToken(const TGFileInfo& other) const;

  // The value of Key in the chosen language section, or Default. The
  // section is chosen once per process, at the first lookup of any reader.
  std::string GetLangString(std::string_view key, std::string_view defaultValue) const;
  int GetCharset() const;
  int GetFontSize() const;
  std::string GetFontName() const;

 private:
  Trailer trailer_;
  std::string languageList_;
  std::string updateBlock_;
  std::string downloadBlock_;
};

// Largest header block a reader loads: far above any real package's
// language list or settings. A larger one marks a damaged or hostile file,
// read as no package, so that its length never becomes an allocation.
constexpr std::uint32_t kMaxHeaderBlock = 4u * 1024 * 1024;

// The language sections of a language list, in order, each a delimited list
// with separator 0x01 (name first). Both written forms are read: sections
// as items of the 0x02 list, and sections run together inside one item,
// where an empty item (0x01 0x01) starts the next language. One pass over
// the list.
std::vector<std::string> LanguageSections(const std::string& languageList);

// The built-in language table: 51 items "NAME<blanks> = number" (separator "|").
extern const char kLanguageTable[];

// The language table's name for a Windows locale id (its primary language,
// the low 10 bits; 0 counts as English); "" when the table has none.
std::string SystemLanguageNameFor(std::uint32_t localeId);

// Where the system language comes from. Without a source the system counts
// as English; the Win32 layer installs the thread locale (UseThreadLocale).
using LocaleIdSource = std::uint32_t (*)();
void SetLocaleIdSource(LocaleIdSource source);
// The system language's name from the table, through the installed source.
std::string SystemLanguageName();

// Forgets the process-wide language choice, so that the next lookup
// chooses again. For tests.
void ResetLanguageChoiceForTesting();

// The process-wide reader of the running executable: built once at
// start-up, kept until exit. ProcessReader() is an empty reader until then.
void InitProcessReader(const std::string& exePath);
void ReleaseProcessReader();
const TGFileInfo& ProcessReader();

// Unscrambles a text carrying a token (ScrambleText, not hexadecimal),
// drops everything up to its first "|", returns the next "|"-terminated
// item unscrambled as a token in `token`, skips two more items and returns
// the remainder in `rest`.
void UnscrambleTokenText(const std::string& text, std::string& token, std::string& rest);

// The folder of `exePath` (with its trailing backslash) followed by the
// reader's ".original" file name.
std::string OriginalFilePathFor(const std::string& exePath, const TGFileInfo& reader);

// Win32: sectors per cluster times bytes per sector of the drive named by
// the first three characters of Path ("C:\"); 0 when the call fails.
std::uint32_t GetClusterSize(const std::string& path);
// Win32: the ".original" settings file beside the running executable, named
// by the process-wide reader.
std::string GetOriginalFilePath();
// Win32: makes the thread's locale the source of the system language.
void UseThreadLocale();

}  // namespace varnel
