// varnel-pack build: stub + engine + files -> setup file (or disk files),
// optionally with its web installer.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "pack_commands.h"
#include "pack_crypto.h"
#include "pack_keys.h"
#include "package/package_writer.h"
#include "signing_text.h"
#include "tool_files.h"

namespace varnel::pack {
namespace {

struct FileArg {
  std::string path;
  std::string name;  // empty: the file's own name
  bool store = false;
};

struct BuildArgs {
  std::string output;
  std::string stubPath;
  std::string enginePath;
  std::string engineName;
  std::string webInstallerPath;
  std::string updateKeyPath;
  std::vector<FileArg> files;
  std::vector<std::string> languageFiles;
  std::string appendPath;
  std::string timeText;  // empty: each file's own time
  bool storeAll = false;
  bool seedGiven = false;
  bool updateTokenRandom = false;
  bool downloadTokenGiven = false;
  BuildOptions o;
};

std::uint64_t Fnv1a(std::uint64_t h, const std::string& data) {
  for (unsigned char c : data) {
    h ^= c;
    h *= 0x100000001B3ull;
  }
  h ^= 0xFF;  // separates consecutive pieces
  h *= 0x100000001B3ull;
  return h;
}

bool ParseNumber(const std::string& text, std::uint64_t max, std::uint64_t& value) {
  if (text.empty() || text.size() > 20) return false;
  char* end = nullptr;
  const int base = text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0 ? 16 : 10;
  value = std::strtoull(text.c_str(), &end, base);
  return *end == '\0' && text[0] != '-' && value <= max;
}

// A byte count with an optional K, M or G suffix (powers of 1024).
bool ParseSize(std::string text, std::uint64_t& value) {
  std::uint64_t unit = 1;
  if (!text.empty()) {
    const char s = static_cast<char>(std::toupper(static_cast<unsigned char>(text.back())));
    if (s == 'K' || s == 'M' || s == 'G') {
      unit = s == 'K' ? 1024 : s == 'M' ? 1024 * 1024 : 1024ull * 1024 * 1024;
      text.pop_back();
    }
  }
  if (!ParseNumber(text, 0xFFFFFFFFFFull, value)) return false;
  value *= unit;
  return true;
}

bool ParseHexBytes(const std::string& text, std::uint8_t* out, std::size_t count) {
  if (text.size() != count * 2) return false;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint64_t v;
    if (!ParseNumber("0x" + text.substr(2 * i, 2), 255, v)) return false;
    out[i] = static_cast<std::uint8_t>(v);
  }
  return true;
}

// "PATH" or "PATH=NAME"; a whole argument that names a file is a path.
FileArg SplitFileArg(const std::string& text, bool store) {
  const std::size_t eq = text.rfind('=');
  if (FileExists(text) || eq == std::string::npos || eq == 0) return {text, "", store};
  return {text.substr(0, eq), text.substr(eq + 1), store};
}

// Parses the command line into `a`; returns 0, or the exit code of a failure
// already reported.
int ParseBuildArgs(const Args& args, BuildArgs& a) {
  BuildOptions& o = a.o;
  std::map<std::string, std::uint8_t*> byteOptions = {
      {"--build-byte", &o.buildByte},          {"--reserved64", &o.reserved64},
      {"--options", &o.options},
  };
  std::map<std::string, std::pair<std::uint8_t*, std::uint8_t>> flags = {
      {"--temp-notice", {&o.options, kOptShowTempNotice}},
      {"--restart-from-temp", {&o.options, kOptRestartFromTempCopy}},
      {"--activity-bar", {&o.options, kOptShowActivityBar}},
      {"--agent-download-log", {&o.options, kOptAgentDownloadLog}},
      {"--more-disks", {&o.options, kOptMoreDisks}},
      {"--web-installer-flag", {&o.webInstaller, 1}},
      {"--ask-before-download", {&o.askBeforeDownload, 1}},
      {"--write-update-agent", {&o.writeUpdateAgent, 1}},
      {"--update-agent", {&o.updateAgent, 1}},
  };
  std::map<std::string, std::string*> texts = {
      {"--output", &a.output},          {"-o", &a.output},
      {"--stub", &a.stubPath},          {"--engine-args", &o.engineArgs},
      {"--web-installer", &a.webInstallerPath},
      {"--update-url", &o.update.url},  {"--info-file", &o.update.infoFile},
      {"--agent-file", &o.update.agentFile},
      {"--update-key", &a.updateKeyPath},
      {"--update-token-stored", &o.update.token},
      {"--download-url", &o.download.url},
      {"--setup-name", &o.download.setupFileName},
      {"--setup-size", &o.download.setupFileSize},
      {"--download-token-stored", &o.download.token},
      {"--append", &a.appendPath},      {"--time", &a.timeText},
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string opt = args[i];
    std::string value;
    const bool hasValue = SplitInlineValue(opt, value);
    auto take = [&](std::string& out) {
      if (!hasValue) {
        if (i + 1 >= args.size()) return false;
        value = args[++i];
      }
      out = value;
      return true;
    };
    std::string v;
    if (opt.size() < 2 || opt[0] != '-') {
      a.files.push_back(SplitFileArg(opt, false));
      continue;
    }
    if (flags.count(opt)) {
      *flags[opt].first |= flags[opt].second;
      continue;
    }
    if (opt == "--store") { a.storeAll = true; continue; }
    if (opt == "--run-hidden") { o.update.runHidden = "1"; continue; }
    if (opt == "--no-local-copy") { o.download.noLocalCopy = "1"; continue; }
    if (opt == "--end-pointer") { o.endPointer = true; continue; }
    static const std::set<std::string> kValued = {
        "--file", "--stored", "--engine", "--language", "--level", "--seed", "--checksum",
        "--reserved20", "--update-token", "--download-token", "--span", "--span-naming"};
    if (!texts.count(opt) && !byteOptions.count(opt) && !kValued.count(opt))
      return Fail("unknown option for build: " + opt + " (see varnel-pack --help)", 2);
    if (!take(v)) return Fail("option " + opt + " needs a value", 2);
    std::uint64_t n = 0;
    if (texts.count(opt)) {
      *texts[opt] = v;
    } else if (byteOptions.count(opt)) {
      if (!ParseNumber(v, 255, n)) return Fail(opt + " needs a number from 0 to 255: " + v, 2);
      *byteOptions[opt] = static_cast<std::uint8_t>(n);
    } else if (opt == "--file") {
      a.files.push_back(SplitFileArg(v, false));
    } else if (opt == "--stored") {
      a.files.push_back(SplitFileArg(v, true));
    } else if (opt == "--engine") {
      FileArg e = SplitFileArg(v, false);
      a.enginePath = e.path;
      a.engineName = e.name;
    } else if (opt == "--language") {
      a.languageFiles.push_back(v);
    } else if (opt == "--level") {
      if (!ParseNumber(v, 9, n)) return Fail("--level needs a number from 0 to 9: " + v, 2);
      o.level = static_cast<int>(n);
    } else if (opt == "--seed") {
      if (!ParseNumber(v, ~0ull, n)) return Fail("--seed needs a number: " + v, 2);
      o.seed = n;
      a.seedGiven = true;
    } else if (opt == "--checksum") {
      if (v == "compute") {
        o.computeChecksum = true;
      } else {
        if (!ParseNumber(v, 0xFFFFFFFFull, n))
          return Fail("--checksum needs a number or \"compute\": " + v, 2);
        o.checksum = static_cast<std::uint32_t>(n);
      }
    } else if (opt == "--reserved20") {
      if (!ParseHexBytes(v, o.reserved20, 8))
        return Fail("--reserved20 needs 16 hexadecimal digits: " + v, 2);
    } else if (opt == "--update-token") {
      if (v == "random") a.updateTokenRandom = true;
      else o.updateTokenValue = v;
    } else if (opt == "--download-token") {
      a.downloadTokenGiven = true;
      if (v != "random") o.downloadTokenValue = v;
    } else if (opt == "--span") {
      if (!ParseSize(v, n) || n == 0) return Fail("--span needs a size such as 1440K: " + v, 2);
      o.spanSize = n;
    } else if (opt == "--span-naming") {
      if (v == "exe") o.spanNaming = SpanNaming::kSetupExe;
      else if (v == "001") o.spanNaming = SpanNaming::kNumbered;
      else return Fail("--span-naming is \"exe\" or \"001\": " + v, 2);
    } else {
      return Fail("unknown option for build: " + opt + " (see varnel-pack --help)", 2);
    }
  }
  if (a.output.empty()) return Fail("build needs --output FILE", 2);
  if (a.stubPath.empty()) return Fail("build needs --stub FILE", 2);
  if (!a.webInstallerPath.empty() && o.download.url.empty())
    return Fail("--web-installer needs --download-url", 2);
  return 0;
}

int LoadFile(const std::string& path, const std::string& what, std::string& bytes) {
  if (!ReadWholeFile(path, bytes)) return Fail("cannot read " + what + ": " + path);
  return 0;
}

int LoadInputs(BuildArgs& a) {
  BuildOptions& o = a.o;
  std::uint32_t fixedTime = 0;
  const bool timeFixed = !a.timeText.empty();
  if (timeFixed && !ParseDosTime(a.timeText, fixedTime))
    return Fail("--time needs YYYY-MM-DDTHH:MM:SS or a packed DOS value: " + a.timeText, 2);
  auto timeOf = [&](const std::string& path) { return timeFixed ? fixedTime : FileDosTime(path); };

  if (int rc = LoadFile(a.stubPath, "stub", o.stub)) return rc;
  if (!a.enginePath.empty()) {
    if (int rc = LoadFile(a.enginePath, "engine", o.engine.content)) return rc;
    o.engine.name = a.engineName.empty() ? BaseName(a.enginePath) : a.engineName;
    o.engine.time = timeOf(a.enginePath);
    o.engine.store = a.storeAll;
  }
  for (const auto& f : a.files) {
    InputFile in;
    if (int rc = LoadFile(f.path, "file", in.content)) return rc;
    in.name = f.name.empty() ? BaseName(f.path) : f.name;
    in.time = timeOf(f.path);
    in.store = f.store || a.storeAll;
    o.files.push_back(std::move(in));
  }
  for (const auto& path : a.languageFiles) {
    std::string text, error;
    if (int rc = LoadFile(path, "language file", text)) return rc;
    std::string stem = BaseName(path);
    stem = stem.substr(0, stem.find('.'));
    LanguageSection section;
    if (!ParseLanguageText(text, stem, section, error)) return Fail(path + ": " + error);
    o.languages.push_back(std::move(section));
  }
  if (!a.appendPath.empty()) {
    if (int rc = LoadFile(a.appendPath, "appended data", o.appended)) return rc;
  }
  if (!a.updateKeyPath.empty()) {
    PublicKey key;
    if (int rc = LoadPublicKeyFile(a.updateKeyPath, key)) return rc;
    o.update.publicKey = HexText(key);
  }
  return 0;
}

// Without --seed the seed comes from the inputs: the same inputs give the
// same file, different products different tokens.
std::uint64_t InputSeed(const BuildOptions& o) {
  std::uint64_t h = 0xCBF29CE484222325ull;
  h = Fnv1a(h, o.engine.name);
  h = Fnv1a(h, o.engine.content);
  for (const auto& f : o.files) h = Fnv1a(Fnv1a(h, f.name), f.content);
  h = Fnv1a(h, EncodeLanguageList(o.languages));
  h = Fnv1a(h, EncodeUpdateBlock(o.update));
  h = Fnv1a(h, EncodeDownloadBlock(o.download));
  return h;
}

int WriteOutput(const std::string& path, const std::string& bytes) {
  if (!WriteWholeFile(path, bytes)) return Fail("cannot write " + path);
  std::printf("wrote %s (%llu bytes)\n", path.c_str(), static_cast<unsigned long long>(bytes.size()));
  return 0;
}

}  // namespace

int RunBuild(const Args& args) {
  BuildArgs a;
  if (int rc = ParseBuildArgs(args, a)) return rc;
  if (int rc = LoadInputs(a)) return rc;
  BuildOptions& o = a.o;

  if (!a.seedGiven) o.seed = InputSeed(o);
  TokenRandom random(o.seed ^ 0x746F6B656E73ull);
  if (a.updateTokenRandom) o.updateTokenValue = NewTokenValue(random);
  if (!o.download.url.empty()) {
    o.withDownloadBlock = true;
    if (o.download.setupFileName.empty()) o.download.setupFileName = BaseName(a.output);
    if (o.download.setupFileSize.empty()) o.download.setupFileSize = "auto";
    if (o.download.token.empty() && o.downloadTokenValue.empty())
      o.downloadTokenValue = NewTokenValue(random);
  } else if (a.downloadTokenGiven || !o.download.setupFileName.empty()) {
    return Fail("download settings need --download-url", 2);
  }
  std::vector<BuiltFile> files;
  std::string error;
  if (!BuildSetup(o, files, error)) return Fail(error);
  for (const auto& f : files) {
    if (int rc = WriteOutput(a.output + f.suffix, f.bytes)) return rc;
  }
  if (!a.webInstallerPath.empty()) {
    // The web installer runs only the full setup file written above (or,
    // with an update key, one that comes signed by the key); the full file's
    // own download block leaves the hash out.
    Digest digest;
    if (!Sha256(files[0].bytes, digest, error)) return Fail(error);
    o.download.setupHash = HexText(digest);
    std::string web;
    if (!BuildWebInstaller(o, files[0].bytes.size(), web, error))
      return Fail(error);
    if (int rc = WriteOutput(a.webInstallerPath, web)) return rc;
  }
  return 0;
}

}  // namespace varnel::pack
