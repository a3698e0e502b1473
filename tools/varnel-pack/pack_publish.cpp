// varnel-pack publish: writes an update folder that installed agents take
// as it is: the new setup, its signature file, the INFORM file, and the
// signed .INFO whose values follow from those files and the options.
// Mistakes that would strand installed copies are refused before anything
// is written.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <vector>

#include "pack_commands.h"
#include "pack_crypto.h"
#include "pack_keys.h"
#include "package/package_reader.h"
#include "signing_text.h"
#include "tool_files.h"

namespace varnel::pack {
namespace {

constexpr std::int64_t kMaxInt32 = 2147483647;
constexpr std::int64_t kDefaultExpiresDays = 30;
constexpr std::int64_t kSecondsPerDay = 86400;

struct PublishArgs {
  std::string keyPath;
  std::string setupPath;
  std::string infoName;
  std::string version;
  std::string outFolder;
  std::string stamp;
  std::string expiresDays;
  std::string updateUrl;
  std::string informPath;
  std::string informVersion;
  std::string previousPath;
  std::vector<std::string> sets;
  bool rotate = false;
};

// One key of the .INFO: its section, name and value.
struct InfoItem {
  std::string section;
  std::string key;
  std::string value;
};

// What a --set value may hold, by key.
enum class ValueKind { kText, kYesNo, kNumber, kShutDown, kVersionList };

struct SettableKey {
  const char* section;
  const char* key;
  ValueKind kind;
};

const SettableKey kSettableKeys[] = {
    {"NewSetup", "RequestConfirmationBeforeDownload", ValueKind::kYesNo},
    {"NewSetup", "RequestConfirmationBeforeDownloadForce", ValueKind::kYesNo},
    {"NewSetup", "RequestConfirmationBeforeInstall", ValueKind::kYesNo},
    {"NewSetup", "RequestConfirmationBeforeInstallForce", ValueKind::kYesNo},
    {"NewSetup", "BackgroundUpdate", ValueKind::kYesNo},
    {"NewSetup", "ShutDownMethod", ValueKind::kShutDown},
    {"NewSetup", "RestartProcess", ValueKind::kYesNo},
    {"NewSetup", "InformFinish", ValueKind::kYesNo},
    {"NewSetup", "RunningProcess", ValueKind::kText},
    {"NewSetup", "ProgramName", ValueKind::kText},
    {"NewSetup", "ValidVersions", ValueKind::kVersionList},
    {"NewSetup", "RemoveStartUpShortcut", ValueKind::kYesNo},
    {"NewSetup", "RemoveCheckForNewUpdateShortcut", ValueKind::kYesNo},
    {"AutoInform", "DownloadURL_INFORM", ValueKind::kText},
    {"AutoInform", "AutoInformW", ValueKind::kNumber},
    {"AutoInform", "AutoInformH", ValueKind::kNumber},
};

// Keys that publish writes itself, and the option that gives each.
const struct {
  const char* key;
  const char* option;
} kComputedKeys[] = {
    {"DownloadURL_UPDATE", "--update-url"}, {"NameOfUpdateFile", "--setup"},
    {"SizeOfUpdateFile", "--setup"},        {"SHA256OfUpdateFile", "--setup"},
    {"VersionNew", "--version"},            {"Stamp", "--stamp"},
    {"NameOfInformFile", "--inform"},       {"SizeOfInformFile", "--inform"},
    {"SHA256OfInformFile", "--inform"},     {"AutoInform", "--inform"},
    {"ExpiresUTC", "--expires-days"},
};

const char* const kShutDownMethods[] = {"Issue a Message Box", "Using WM_CLOSE", "Using WM_QUIT",
                                        "Using Terminate Process", "Don't Shut Down"};

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// A decimal whole number from `low` to `high`, nothing else.
bool ParseWhole(const std::string& text, std::int64_t low, std::int64_t high, std::int64_t& value) {
  if (text.empty() || text.size() > 12) return false;
  std::size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  for (std::size_t k = i; k < text.size(); ++k)
    if (text[k] < '0' || text[k] > '9') return false;
  value = std::strtoll(text.c_str(), nullptr, 10);
  return value >= low && value <= high;
}

bool ValueFits(ValueKind kind, const std::string& value, std::string& why) {
  std::int64_t n = 0;
  switch (kind) {
    case ValueKind::kText:
      return true;
    case ValueKind::kYesNo:
      why = "is \"1\" (yes) or \"0\" (no): agents read anything but \"1\" as no";
      return value == "0" || value == "1";
    case ValueKind::kNumber:
      why = "needs a whole number";
      return ParseWhole(value, 0, kMaxInt32, n);
    case ValueKind::kShutDown:
      why = "is one of \"Issue a Message Box\", \"Using WM_CLOSE\", \"Using WM_QUIT\", "
            "\"Using Terminate Process\", \"Don't Shut Down\" (compared exactly)";
      for (const char* method : kShutDownMethods)
        if (value == method) return true;
      return false;
    case ValueKind::kVersionList: {
      why = "is a list of whole numbers separated by commas, without blanks";
      if (value.empty()) return true;
      std::size_t start = 0;
      while (true) {
        const std::size_t comma = value.find(',', start);
        if (!ParseWhole(value.substr(start, comma - start), 0, kMaxInt32, n)) return false;
        if (comma == std::string::npos) return true;
        start = comma + 1;
      }
    }
  }
  return false;
}

// "Key=Value" (a key the agent reads, its section known) or
// "Section.Key=Value" (written as given). 0, or the exit code reported.
int ParseSet(const std::string& text, InfoItem& item) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0)
    return Fail("--set needs Key=Value or Section.Key=Value: " + text, 2);
  std::string name = text.substr(0, eq);
  item.value = text.substr(eq + 1);
  item.section.clear();
  const std::size_t dot = name.find('.');
  if (dot != std::string::npos) {
    item.section = name.substr(0, dot);
    name = name.substr(dot + 1);
  }
  if (name.empty() || name.find_first_of("[]\r\n;") != std::string::npos ||
      item.section.find_first_of("[]\r\n;") != std::string::npos || item.value.find_first_of("\r\n") != std::string::npos)
    return Fail("--set " + text + ": keys and values are one line, keys without \"[\", \"]\", \";\"", 2);
  for (const auto& computed : kComputedKeys) {
    if (SameNoCase(name, computed.key))
      return Fail(std::string("--set cannot give ") + computed.key + ": publish writes it (see " +
                      computed.option + ")", 2);
  }
  for (const SettableKey& known : kSettableKeys) {
    if (!SameNoCase(name, known.key)) continue;
    if (!item.section.empty() && !SameNoCase(item.section, known.section))
      return Fail(std::string("--set ") + text + ": " + known.key + " belongs in [" + known.section + "]", 2);
    std::string why;
    if (!ValueFits(known.kind, item.value, why))
      return Fail(std::string("--set ") + known.key + " " + why + ": " + item.value, 2);
    item.section = known.section;
    item.key = known.key;
    return 0;
  }
  if (item.section.empty())
    return Fail("--set " + name + ": not a key agents read; write Section." + name +
                    "=Value to add it anyway", 2);
  item.key = name;
  return 0;
}

int ParsePublishArgs(const Args& args, PublishArgs& a) {
  const std::map<std::string, std::string*> values = {
      {"--key", &a.keyPath},           {"--setup", &a.setupPath},
      {"--info", &a.infoName},         {"--version", &a.version},
      {"--out", &a.outFolder},         {"--stamp", &a.stamp},
      {"--expires-days", &a.expiresDays}, {"--update-url", &a.updateUrl},
      {"--inform", &a.informPath},     {"--inform-version", &a.informVersion},
      {"--previous", &a.previousPath},
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string opt = args[i];
    std::string value;
    const bool hasValue = SplitInlineValue(opt, value);
    if (opt == "--rotate") {
      a.rotate = true;
      continue;
    }
    const bool isSet = opt == "--set";
    if (!isSet && !values.count(opt))
      return Fail("unknown option for publish: " + opt + " (see varnel-pack --help)", 2);
    if (!hasValue) {
      if (i + 1 >= args.size()) return Fail("option " + opt + " needs a value", 2);
      value = args[++i];
    }
    if (isSet) a.sets.push_back(value);
    else *values.at(opt) = value;
  }
  if (a.keyPath.empty()) return Fail("publish needs --key NAME.key", 2);
  if (a.outFolder.empty()) return Fail("publish needs --out FOLDER", 2);
  if (!a.informPath.empty() && a.informVersion.empty())
    return Fail("--inform needs --inform-version N: the version the notice announces", 2);
  if (a.informPath.empty() && !a.informVersion.empty())
    return Fail("--inform-version needs --inform FILE", 2);
  if (a.informPath.empty() && a.version.empty())
    return Fail("publish needs --version N: the version of the new setup", 2);
  return 0;
}

// The value of `key` in `section` of an INI text; "" when absent.
std::string IniValue(const std::string& text, const std::string& section, const std::string& key) {
  bool inSection = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty() && line[0] == '[') {
      inSection = SameNoCase(line, "[" + section + "]");
    } else if (inSection && line.size() > key.size() && line[key.size()] == '=' &&
               SameNoCase(line.substr(0, key.size()), key)) {
      return line.substr(key.size() + 1);
    }
  }
  return {};
}

std::string UtcText(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
#ifdef _WIN32
  if (gmtime_s(&tm, &t) != 0) return "?";
#else
  if (!gmtime_r(&t, &tm)) return "?";
#endif
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
  return text;
}

// The current time, or SOURCE_DATE_EPOCH when set (reproducible output,
// and a .INFO published "in the past" for tests of expiry).
int Now(std::int64_t& now) {
  const char* fixed = std::getenv("SOURCE_DATE_EPOCH");
  if (fixed && *fixed) {
    if (!ParseWhole(fixed, 0, 253402300799, now))
      return Fail(std::string("SOURCE_DATE_EPOCH is not a time in seconds: ") + fixed, 2);
    return 0;
  }
  now = static_cast<std::int64_t>(std::time(nullptr));
  return 0;
}

// The package that installed agents come from: --previous, or the setup
// that the update folder's current .INFO names.
std::string PreviousPackagePath(const PublishArgs& a, const std::string& infoName) {
  if (!a.previousPath.empty()) return a.previousPath;
  std::string current;
  if (infoName.empty() || !ReadWholeFile(JoinPath(a.outFolder, infoName), current)) return {};
  const std::string name = BaseName(IniValue(current, "NewSetup", "NameOfUpdateFile"));
  if (name.empty()) return {};
  const std::string path = JoinPath(a.outFolder, name);
  return FileExists(path) ? path : std::string();
}

// Signs `bytes` with `key` and checks the signature against the key's
// public half (a key file whose halves disagree would sign for nobody).
int SignBytes(const PrivateKey& key, const Digest& digest, Signature& signature) {
  std::string error;
  if (!SignDigest(key, digest, signature, error)) return Fail(error);
  if (!VerifyDigest(key.publicKey, digest, signature, error))
    return Fail("the key file's private and public halves do not belong together");
  return 0;
}

std::string InfoText(const std::vector<InfoItem>& items) {
  std::vector<std::string> sections;
  for (const InfoItem& item : items) {
    bool known = false;
    for (const std::string& s : sections) known = known || SameNoCase(s, item.section);
    if (!known) sections.push_back(item.section);
  }
  std::string text;
  for (const std::string& section : sections) {
    text += "[" + section + "]\r\n";
    for (const InfoItem& item : items)
      if (SameNoCase(item.section, section)) text += item.key + "=" + item.value + "\r\n";
  }
  return text;
}

// Adds or replaces a key (a later --set wins over an earlier one).
void SetItem(std::vector<InfoItem>& items, const InfoItem& item) {
  for (InfoItem& existing : items) {
    if (SameNoCase(existing.section, item.section) && SameNoCase(existing.key, item.key)) {
      existing.value = item.value;
      return;
    }
  }
  items.push_back(item);
}

int CopyInto(const std::string& source, const std::string& bytes, const std::string& target) {
  if (FileExists(target) && SameFile(source, target)) return 0;
  if (!ReplaceFile(target, bytes)) return Fail("cannot write " + target);
  return 0;
}

}  // namespace

int RunPublish(const Args& args) {
  PublishArgs a;
  if (int rc = ParsePublishArgs(args, a)) return rc;
  const bool notice = !a.informPath.empty();
  const bool withSetup = !a.setupPath.empty();

  std::int64_t version = 0, informVersion = 0, stamp = 0, expiresDays = kDefaultExpiresDays, now = 0;
  if (!a.version.empty() && !ParseWhole(a.version, 1, kMaxInt32, version))
    return Fail("--version needs a whole number from 1 to 2147483647: " + a.version, 2);
  if (notice && !ParseWhole(a.informVersion, 1, kMaxInt32, informVersion))
    return Fail("--inform-version needs a whole number from 1 to 2147483647: " + a.informVersion, 2);
  if (notice && !a.version.empty() && version != informVersion)
    return Fail("a notice's .INFO has one VersionNew: --version " + a.version + " and --inform-version " +
                    a.informVersion + " differ", 2);
  if (!a.stamp.empty() && !ParseWhole(a.stamp, 1, kMaxInt32, stamp))
    return Fail("--stamp needs a whole number from 1 to 2147483647: " + a.stamp, 2);
  if (!a.expiresDays.empty() && !ParseWhole(a.expiresDays, 1, 36500, expiresDays))
    return Fail("--expires-days needs a whole number of days from 1 to 36500: " + a.expiresDays, 2);
  std::vector<InfoItem> sets;
  for (const std::string& text : a.sets) {
    InfoItem item;
    if (int rc = ParseSet(text, item)) return rc;
    sets.push_back(item);
  }
  if (int rc = Now(now)) return rc;

  PrivateKey key;
  if (int rc = LoadPrivateKeyFile(a.keyPath, key)) return rc;
  std::string error;
  const std::string fingerprint = Fingerprint(key.publicKey, error);
  if (fingerprint.empty()) return Fail(error);

  // The package installed agents come from: its token is what they ask of
  // the new files, its key what they verify the .INFO with.
  std::string infoGuess = BaseName(a.infoName);
  if (infoGuess.empty() && withSetup) infoGuess = TGFileInfo::Create(a.setupPath).GetInfoFileName();
  const std::string previousPath = PreviousPackagePath(a, infoGuess);
  if (previousPath.empty())
    return Fail("publish needs --previous OLD_SETUP: the setup (or agent file) installed copies came "
                "from, to check the new files against its update token", 2);
  if (!FileExists(previousPath)) return Fail("cannot read " + previousPath);
  const TGFileInfo previous = TGFileInfo::Create(previousPath);
  if (!previous.IsPackage()) return Fail(previousPath + " is not a setup or agent file (no package trailer)");
  if (previous.GetUpdateToken(false).empty())
    return Fail(previousPath + " carries no update token: its agents accept no update");
  const std::string token = previous.GetUpdateToken(true);
  PublicKey previousKey;
  switch (ReadEmbeddedKey(previous.UpdateBlock(), previousKey)) {
    case EmbeddedKey::kNone:
      break;
    case EmbeddedKey::kDamaged:
      return Fail(previousPath + ": its update key item is damaged");
    case EmbeddedKey::kKey:
      if (previousKey != key.publicKey) {
        return Fail("agents installed from " + previousPath + " check update key " +
                    Fingerprint(previousKey, error) + ", but " + a.keyPath + " is " + fingerprint +
                    ": sign with the key they have");
      }
      break;
  }

  // The .INFO's name: the one the installed agents fetch.
  const std::string infoName = previous.GetInfoFileName();
  if (infoName.empty() || infoName == ".info")
    return Fail(previousPath + " names no update information file (build --info-file)");
  if (!a.infoName.empty() && !SameNoCase(BaseName(a.infoName), infoName))
    return Fail("agents installed from " + previousPath + " fetch " + infoName + ", not " +
                BaseName(a.infoName), 2);
  std::string updateUrl = a.updateUrl;
  if (updateUrl.empty()) {
    updateUrl = previous.GetUpdateUrl();
    if (updateUrl.empty() || updateUrl == "http:")
      return Fail("publish needs --update-url URL: where agents will fetch the new files", 2);
  }

  std::vector<InfoItem> items;
  items.push_back({"General", "ExpiresUTC", std::to_string(now + expiresDays * kSecondsPerDay)});
  if (notice) items.push_back({"General", "AutoInform", "1"});
  items.push_back({"NewSetup", "DownloadURL_UPDATE", updateUrl});

  // The new setup: a package with the agents' token, carrying the signing
  // key (or, with --rotate, the next one).
  std::string setupBytes, setupName;
  Digest setupDigest{};
  if (withSetup) {
    if (!ReadWholeFile(a.setupPath, setupBytes)) return Fail("cannot read setup " + a.setupPath);
    const TGFileInfo setup = TGFileInfo::Create(a.setupPath);
    if (!setup.IsPackage()) return Fail(a.setupPath + " is not a setup file (no package trailer)");
    if (setup.MoreDisksFollow())
      return Fail(a.setupPath + " is the first of several disk files: an update is one file");
    if (setupBytes.size() > static_cast<std::uint64_t>(kMaxInt32))
      return Fail(a.setupPath + " is larger than SizeOfUpdateFile can say (2 GiB)");
    if (setup.GetUpdateToken(false).empty() || setup.GetUpdateToken(true) != token)
      return Fail(a.setupPath + " does not carry the update token of " + previousPath +
                  ": installed agents would refuse it (build it with the same --update-token)");
    PublicKey setupKey;
    const EmbeddedKey embedded = ReadEmbeddedKey(setup.UpdateBlock(), setupKey);
    if (embedded == EmbeddedKey::kDamaged) return Fail(a.setupPath + ": its update key item is damaged");
    if (embedded == EmbeddedKey::kNone && !a.rotate)
      return Fail(a.setupPath + " carries no update key: its agent would take unsigned updates "
                  "(build it with --update-key, or give --rotate to drop the key)");
    if (embedded == EmbeddedKey::kKey && setupKey != key.publicKey && !a.rotate)
      return Fail(a.setupPath + " carries update key " + Fingerprint(setupKey, error) + ", not " +
                  fingerprint + " of " + a.keyPath + " (give --rotate to hand agents the new key)");
    if (embedded == EmbeddedKey::kKey && ReadEmbeddedKey(previous.UpdateBlock(), previousKey) == EmbeddedKey::kNone)
      std::printf("note: agents installed from %s check no signatures; agents that install %s will\n",
                  BaseName(previousPath).c_str(), BaseName(a.setupPath).c_str());
    if (a.rotate) {
      std::printf("rotate: agents that install %s will check %s\n", BaseName(a.setupPath).c_str(),
                  embedded == EmbeddedKey::kKey ? ("update key " + Fingerprint(setupKey, error)).c_str()
                                                : "no signatures any more");
    }
    if (!Sha256(setupBytes, setupDigest, error)) return Fail(error);
    setupName = BaseName(a.setupPath);
    if (SameNoCase(setupName, infoName)) return Fail("the setup and the .INFO would have one name: " + setupName);
    items.push_back({"NewSetup", "NameOfUpdateFile", setupName});
    items.push_back({"NewSetup", "SizeOfUpdateFile", std::to_string(setupBytes.size())});
    items.push_back({"NewSetup", "SHA256OfUpdateFile", HexText(setupDigest)});
  }

  // Every publish gets a new stamp unless one is given: at least the time,
  // and above the stamp of the .INFO it replaces.
  if (a.stamp.empty()) {
    stamp = now;
    std::string current;
    std::int64_t old = 0;
    if (ReadWholeFile(JoinPath(a.outFolder, infoName), current) &&
        ParseWhole(IniValue(current, "NewSetup", "Stamp"), 0, kMaxInt32, old) && old >= stamp)
      stamp = old + 1;
    if (stamp > kMaxInt32) return Fail("no stamp left: give --stamp N", 2);
  }
  items.push_back({"NewSetup", "VersionNew", std::to_string(notice ? informVersion : version)});
  items.push_back({"NewSetup", "Stamp", std::to_string(stamp)});

  // The notice text travels in the INFORM form with the agents' token; a
  // file already in that form is taken as it is.
  std::string informBytes, informName;
  if (notice) {
    std::string text;
    if (!ReadWholeFile(a.informPath, text)) return Fail("cannot read INFORM file " + a.informPath);
    std::string carried, rest;
    UnscrambleTokenText(text, carried, rest);
    informBytes = carried == token ? text : "Notice|" + previous.GetUpdateToken(false) + "|||" + text;
    if (informBytes.size() > static_cast<std::uint64_t>(kMaxInt32))
      return Fail(a.informPath + " is larger than SizeOfInformFile can say (2 GiB)");
    informName = BaseName(a.informPath);
    if (SameNoCase(informName, infoName) || SameNoCase(informName, setupName))
      return Fail("the INFORM file would share its name with another file of the folder: " + informName);
    Digest informDigest;
    if (!Sha256(informBytes, informDigest, error)) return Fail(error);
    items.push_back({"AutoInform", "NameOfInformFile", informName});
    items.push_back({"AutoInform", "SizeOfInformFile", std::to_string(informBytes.size())});
    items.push_back({"AutoInform", "SHA256OfInformFile", HexText(informDigest)});
  }
  for (const InfoItem& item : sets) SetItem(items, item);

  const std::string infoText = InfoText(items);
  Digest infoDigest;
  Signature infoSignature;
  if (!Sha256(infoText, infoDigest, error)) return Fail(error);
  if (int rc = SignBytes(key, infoDigest, infoSignature)) return rc;

  // The files first, the .INFO last: a folder read half-way through never
  // offers a file that is not there yet.
  if (!MakeFolders(a.outFolder)) return Fail("cannot create folder " + a.outFolder);
  if (withSetup) {
    Signature setupSignature;
    if (int rc = SignBytes(key, setupDigest, setupSignature)) return rc;
    const std::string target = JoinPath(a.outFolder, setupName);
    if (int rc = CopyInto(a.setupPath, setupBytes, target)) return rc;
    if (!ReplaceFile(target + ".sig", SignatureLine(setupSignature)))
      return Fail("cannot write " + target + ".sig");
    std::printf("wrote %s (%llu bytes, SHA-256 %s)\n", target.c_str(),
                static_cast<unsigned long long>(setupBytes.size()), HexText(setupDigest).c_str());
    std::printf("wrote %s.sig\n", target.c_str());
  }
  if (notice) {
    const std::string target = JoinPath(a.outFolder, informName);
    if (int rc = CopyInto(a.informPath, informBytes, target)) return rc;
    std::printf("wrote %s (%llu bytes)\n", target.c_str(), static_cast<unsigned long long>(informBytes.size()));
  }
  const std::string infoPath = JoinPath(a.outFolder, infoName);
  if (!ReplaceFile(infoPath, infoText + SignatureLine(infoSignature))) return Fail("cannot write " + infoPath);
  std::printf("wrote %s: %s version %lld, stamp %lld, expires %s, signed by %s\n", infoPath.c_str(),
              notice ? "notice for" : withSetup ? "update to" : "no setup file,",
              static_cast<long long>(notice ? informVersion : version), static_cast<long long>(stamp),
              UtcText(now + expiresDays * kSecondsPerDay).c_str(), fingerprint.c_str());
  std::printf("agents fetch the files from %s (upload the .INFO last)\n", updateUrl.c_str());
  return 0;
}

}  // namespace varnel::pack
