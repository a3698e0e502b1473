#include "package/package_reader.h"

#include <memory>

#include "package/package_trailer.h"
#include "utils/delimited_list.h"
#include "utils/text_format.h"
#include "utils/text_scramble.h"
#include "utils/text_rules.h"

namespace varnel {

const char kLanguageTable[] =
    "|"
    "AFRIKAANS            = 54|"
    "ALBANIAN             = 28|"
    "ARABIC               = 01|"
    "BASQUE               = 45|"
    "BELARUSIAN           = 35|"
    "BULGARIAN            = 02|"
    "CATALAN              = 03|"
    "CHINESE              = 04|"
    "CROATIAN             = 26|"
    "CZECH                = 05|"
    "DANISH               = 06|"
    "DUTCH                = 19|"
    "ENGLISH              = 09|"
    "ESTONIAN             = 37|"
    "FAEROESE             = 56|"
    "FARSI                = 41|"
    "FINNISH              = 11|"
    "FRENCH               = 12|"
    "GERMAN               = 07|"
    "GREEK                = 08|"
    "HEBREW               = 13|"
    "HUNGARIAN            = 14|"
    "ICELANDIC            = 15|"
    "INDONESIAN           = 33|"
    "ITALIAN              = 16|"
    "JAPANESE             = 17|"
    "KOREAN               = 18|"
    "LATVIAN              = 38|"
    "LITHUANIAN           = 39|"
    "NORWEGIAN            = 20|"
    "POLISH               = 21|"
    "PORTUGUESE           = 22|"
    "ROMANIAN             = 24|"
    "RUSSIAN              = 25|"
    "SERBIAN              = 26|"
    "SLOVAK               = 27|"
    "SLOVENIAN            = 36|"
    "SPANISH              = 10|"
    "SWEDISH              = 29|"
    "THAI                 = 30|"
    "TURKISH              = 31|"
    "UKRAINIAN            = 34|"
    "VIETNAMESE           = 42|"
    "CHINESE(SIMPLIFIED)  = 2052|"
    "CHINESE(TRADITIONAL) = 1028|"
    "DUTCH(FLEMISH)       = 2067|"
    "DUTCH(STANDARD)      = 1043|"
    "PORTUGUESE(PORTUGAL) = 2070|"
    "PORTUGUESE(BRAZIL)   = 1046|"
    "SERBIAN(LATIN)       = 2074|"
    "SERBIAN(CYRILIC)     = 3098|";

namespace {

constexpr int kUpdateUrl = 0, kUpdateInfoFile = 1, kUpdateAgentFile = 2, kUpdateToken = 3,
              kUpdateRunHidden = 4, kUpdateKey = 5;
constexpr int kDownloadUrl = 0, kDownloadSetupFile = 1, kDownloadNoLocalCopy = 2,
              kDownloadToken = 3, kDownloadSetupSize = 4, kDownloadSetupHash = 5;

// Process-wide state of the reader unit.
struct ReaderUnitState {
  std::unique_ptr<TGFileInfo> processReader;
  bool languageChosen = false;
  std::string languageSection;  // "" once chosen: no section ("none")
  LocaleIdSource localeSource = nullptr;
};

ReaderUnitState& State() {
  static ReaderUnitState state;
  return state;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// A decimal integer, blanks around it allowed; `def` for anything else.
int ToInt(const std::string& text, int def) {
  const std::string s = Trim(text);
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i >= s.size()) return def;
  long long value = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return def;
    value = value * 10 + (s[i] - '0');
    if (value > 2147483648LL) return def;
  }
  if (negative) value = -value;
  if (value > 2147483647LL) return def;
  return static_cast<int>(value);
}

// The file-name part of a path.
std::string FileNamePart(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The section whose name matches, ignoring case; with a single section,
// that section whatever its name.
std::string FindSection(const std::vector<std::string>& sections, const std::string& name) {
  if (!name.empty()) {
    const std::string wanted = UpperAscii(name);
    for (const std::string& section : sections)
      if (UpperAscii(Trim(SUB::ListItem(section, 0, ""))) == wanted) return section;
  }
  if (sections.size() == 1) return sections[0];
  return std::string();
}

const std::string& ChosenSection(const std::string& languages) {
  ReaderUnitState& state = State();
  if (!state.languageChosen) {
    const std::vector<std::string> sections = LanguageSections(languages);
    std::string section = FindSection(sections, SystemLanguageName());
    if (section.empty()) section = FindSection(sections, "English");
    state.languageSection = section;
    state.languageChosen = true;
  }
  return state.languageSection;
}

}  // namespace

std::vector<std::string> LanguageSections(const std::string& list) {
  std::vector<std::string> sections;
  // A delimited list starts and ends with its separator.
  if (list.size() < 2 || list.front() != kLanguageListSeparator || list.back() != kLanguageListSeparator)
    return sections;
  const char sep = kLanguageSectionSeparator;
  std::size_t itemBegin = 1;
  while (itemBegin < list.size()) {
    std::size_t itemEnd = list.find(kLanguageListSeparator, itemBegin);
    if (itemEnd == std::string::npos) itemEnd = list.size();
    // Inside one item, "0x01 0x01" closes a section and opens the next.
    std::size_t begin = itemBegin;
    for (std::size_t i = itemBegin; i + 1 < itemEnd; ++i) {
      if (list[i] == sep && list[i + 1] == sep && i > begin) {
        sections.push_back(list.substr(begin, i + 1 - begin));
        begin = i + 1;
      }
    }
    sections.push_back(list.substr(begin, itemEnd - begin));
    itemBegin = itemEnd + 1;
  }
  return sections;
}

TGFileInfo TGFileInfo::Create(const std::string& fileName) {
  FileSource file;
  if (!file.Open(fileName)) return TGFileInfo();
  return Create(file);
}

TGFileInfo TGFileInfo::Create(const ByteSource& source) {
  TGFileInfo reader;
  Trailer trailer;
  if (!ReadTrailer(source, trailer)) return reader;

  // Header blocks must lie between the package start and the trailer; a
  // length that runs past it (or is negative) marks a damaged or foreign
  // file, which is treated like no package at all.
  // (ReadTrailer has checked that the stored trailer length fits the file.)
  const std::uint64_t limit = TrailerStart(source);
  std::uint64_t position = trailer.packageStart;
  const int blocks = trailer.headerCount >= 3 ? 3 : 2;
  std::string texts[3];
  for (int i = 0; i < blocks; ++i) {
    std::int32_t length = 0;
    if (position + 4 > limit || !source.ReadI32(position, length) || length < 0 ||
        static_cast<std::uint32_t>(length) > kMaxHeaderBlock ||
        static_cast<std::uint64_t>(length) > limit - position - 4)
      return reader;
    if (!source.ReadString(position + 4, static_cast<std::size_t>(length), texts[i])) return reader;
    position += 4 + static_cast<std::uint64_t>(length);
  }
  reader.trailer_ = trailer;
  reader.languageList_ = std::move(texts[kHeaderLanguages]);
  reader.updateBlock_ = std::move(texts[kHeaderUpdate]);
  reader.downloadBlock_ = std::move(texts[kHeaderDownload]);
  return reader;
}

double TGFileInfo::SpaceNeededForCluster(std::uint64_t clusterSize) const {
  return static_cast<double>(trailer_.space[SpaceEntryForCluster(clusterSize)]);
}

std::string TGFileInfo::GetUpdateUrl() const { return SUB::ListItem(updateBlock_, kUpdateUrl, ""); }

namespace {
PackageNameDecoder g_nameDecoder = nullptr;

std::string PathTextOfName(std::string name) { return g_nameDecoder && !name.empty() ? g_nameDecoder(name) : name; }
}  // namespace

void SetPackageNameDecoder(PackageNameDecoder decoder) { g_nameDecoder = decoder; }

std::string TGFileInfo::GetInfoFileName() const {
  return PathTextOfName(FileNamePart(SUB::ListItem(updateBlock_, kUpdateInfoFile, "")));
}

std::string TGFileInfo::GetOriginalFileName() const {
  const std::string name = GetInfoFileName();
  std::string original = name.substr(0, name.find('.'));
  original += ".original";
  return original;
}

std::string TGFileInfo::GetAgentFileName() const {
  return PathTextOfName(SUB::ListItem(updateBlock_, kUpdateAgentFile, ""));
}

std::string TGFileInfo::GetUpdateToken(bool unscramble) const {
  const std::string token = SUB::ListItem(updateBlock_, kUpdateToken, "");
  return unscramble ? UnscrambleToken(token) : token;
}

bool TGFileInfo::RunHidden() const { return SUB::ListItem(updateBlock_, kUpdateRunHidden, "") == "1"; }

std::string TGFileInfo::GetUpdateKey() const { return SUB::ListItem(updateBlock_, kUpdateKey, ""); }

std::string TGFileInfo::GetDownloadUrl() const {
  return SUB::ListItem(downloadBlock_, kDownloadUrl, "");
}

std::string TGFileInfo::GetSetupFileName() const {
  return SUB::ListItem(downloadBlock_, kDownloadSetupFile, "");
}

bool TGFileInfo::NoLocalSetupCopy() const {
  return SUB::ListItem(downloadBlock_, kDownloadNoLocalCopy, "") == "1";
}

std::string TGFileInfo::GetDownloadToken(bool unscramble) const {
  const std::string token = SUB::ListItem(downloadBlock_, kDownloadToken, "");
  return unscramble ? UnscrambleToken(token) : token;
}

std::string TGFileInfo::GetSetupFileSize() const {
  return SUB::ListItem(downloadBlock_, kDownloadSetupSize, "");
}

std::string TGFileInfo::GetSetupHash() const {
  return SUB::ListItem(downloadBlock_, kDownloadSetupHash, "");
}

bool TGFileInfo::SameDownloadToken(const TGFileInfo& other) const {
  return GetDownloadToken(true) == other.GetDownloadToken(true);
}

std::string TGFileInfo::GetLangString(std::string_view key, std::string_view defaultValue) const {
  std::string section = ChosenSection(languageList_);
  if (section.size() < 2) return std::string(defaultValue);
  if (section.find(' ') != std::string::npos) {
    // Blanks before any "=" go, so "s1 =x" is found as s1 (values included).
    for (std::size_t eq = section.find('='); eq != std::string::npos;
         eq = section.find('=', eq + 1)) {
      std::size_t b = eq;
      while (b > 0 && section[b - 1] == ' ') --b;
      section.erase(b, eq - b);
      eq = b;
    }
  }
  std::string needle(1, kLanguageSectionSeparator);
  needle.append(key).push_back('=');
  needle = UpperAscii(std::move(needle));
  const std::size_t at = UpperAscii(section).find(needle);
  if (at == std::string::npos) return std::string(defaultValue);
  const std::size_t begin = at + needle.size();
  std::size_t end = section.find(kLanguageSectionSeparator, begin);
  if (end == std::string::npos) end = section.size();
  return section.substr(begin, end - begin);
}

int TGFileInfo::GetCharset() const { return ToInt(GetLangString("Charset", "0"), 0); }

int TGFileInfo::GetFontSize() const { return ToInt(GetLangString("FontSize", "8"), 8); }

std::string TGFileInfo::GetFontName() const { return GetLangString("FontName", "Tahoma"); }

std::string SystemLanguageNameFor(std::uint32_t localeId) {
  unsigned primary = localeId & 0x3FF;
  if (primary == 0) primary = 9;
  char digits[16];
  FormatText(digits, sizeof digits, "%02u", primary);
  const std::string table = kLanguageTable;
  const int count = SUB::ListCount(table);
  for (int i = 0; i < count; ++i) {
    const std::string item = SUB::ListItem(table, i, "");
    if (item.find(digits) != std::string::npos) return Trim(item.substr(0, item.find(" = ")));
  }
  return std::string();
}

void SetLocaleIdSource(LocaleIdSource source) { State().localeSource = source; }

std::string SystemLanguageName() {
  const LocaleIdSource source = State().localeSource;
  return SystemLanguageNameFor(source ? source() : 0);
}

void ResetLanguageChoiceForTesting() {
  State().languageChosen = false;
  State().languageSection.clear();
}

void InitProcessReader(const std::string& exePath) {
  State().processReader = std::make_unique<TGFileInfo>(TGFileInfo::Create(exePath));
}

void ReleaseProcessReader() { State().processReader.reset(); }

const TGFileInfo& ProcessReader() {
  static const TGFileInfo empty;
  const auto& reader = State().processReader;
  return reader ? *reader : empty;
}

namespace {

// The text up to the next "|" (all of it when there is none); `text` keeps
// what follows that "|".
std::string TakeItem(std::string& text) {
  const std::size_t bar = text.find('|');
  std::string item = text.substr(0, bar);
  text = bar == std::string::npos ? std::string() : text.substr(bar + 1);
  return item;
}

}  // namespace

void UnscrambleTokenText(const std::string& text, std::string& token, std::string& rest) {
  std::string plain = ScrambleText(text, false, false);
  TakeItem(plain);  // everything up to and including the first "|"
  token = UnscrambleToken(TakeItem(plain));
  TakeItem(plain);
  TakeItem(plain);
  rest = plain;
}

std::string OriginalFilePathFor(const std::string& exePath, const TGFileInfo& reader) {
  const std::size_t slash = exePath.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string() : exePath.substr(0, slash + 1);
  return folder + reader.GetOriginalFileName();
}

}  // namespace varnel
