// varnel-pack list / extract / verify: reading setup files and disk files
// through the same trailer lookup and block walker that the stub uses.
#include <cstdio>
#include <set>
#include <vector>

#include "pack_commands.h"
#include "pack_keys.h"
#include "package/byte_source.h"
#include "package/member_blocks.h"
#include "package/package_reader.h"
#include "package/package_trailer.h"
#include "tool_files.h"
#include "utils/delimited_list.h"

namespace varnel::pack {
namespace {

// One opened package file: its trailer, package end and header blocks.
struct PackageFile {
  std::string path;
  FileSource source;
  Trailer trailer;
  bool isPackage = false;
  bool headersDamaged = false;  // a trailer, but header blocks the reader refuses
  std::uint64_t end = 0;
  std::string languageList, updateBlock, downloadBlock;

  void Reset() {
    source.Close();
    path.clear();
    trailer = Trailer();
    isPackage = false;
    headersDamaged = false;
    end = 0;
    languageList.clear();
    updateBlock.clear();
    downloadBlock.clear();
  }
};

// Opens `path` and reads its trailer and header blocks. False when the file
// cannot be read; a file that is no package opens with isPackage false.
bool OpenPackage(const std::string& path, PackageFile& p) {
  p.Reset();
  p.path = path;
  if (!FileExists(path) || !p.source.Open(path)) return false;
  p.isPackage = ReadTrailer(p.source, p.trailer);
  p.end = LocatePackageEnd(p.source);
  if (!p.isPackage) return true;
  // The header blocks come through the stub's own package reader.
  const TGFileInfo info = TGFileInfo::Create(p.source);
  p.headersDamaged = !info.IsPackage();
  p.languageList = info.LanguageList();
  p.updateBlock = info.UpdateBlock();
  p.downloadBlock = info.DownloadBlock();
  return true;
}

// The length of the well-formed UTF-8 character of two to four bytes at
// `at`; 0 when the bytes there are not one.
std::size_t Utf8CharAt(const std::string& text, std::size_t at) {
  const unsigned char c = static_cast<unsigned char>(text[at]);
  const std::size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
  if (n == 0 || at + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 0;
  const unsigned char d = static_cast<unsigned char>(text[at + 1]);
  if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d > 0x9F) || (c == 0xF0 && d < 0x90) || (c == 0xF4 && d > 0x8F))
    return 0;
  return n;
}

// True when every byte from 0x80 up belongs to a well-formed UTF-8
// character: the stub reads such a name as UTF-8, any other in the ANSI
// code page.
bool IsUtf8Text(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) < 0x80) continue;
    const std::size_t n = Utf8CharAt(text, i);
    if (n == 0) return false;
    i += n - 1;
  }
  return true;
}

// Printable ASCII and, in a UTF-8 text (member names may hold UTF-8), its
// characters as they are; every other byte (controls, texts in an ANSI
// code page) as \xNN. Windows paths keep their backslashes as they are.
std::string Printable(const std::string& text) {
  std::string out;
  const bool utf8 = IsUtf8Text(text);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (const std::size_t n = utf8 && c >= 0x80 ? Utf8CharAt(text, i) : 0) {
      out.append(text, i, n);
      i += n - 1;
    } else if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

std::string EndsWith001Base(const std::string& path) {
  if (path.size() > 4 && path.compare(path.size() - 4, 4, ".001") == 0)
    return path.substr(0, path.size() - 4);
  return path;
}

std::string DiskPath(const std::string& base, int disk) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, ".%03d", disk);
  return base + suffix;
}

// The disk files of the package that `path` starts: a starter that restarts
// from a temporary copy is followed to its ".001" file; further disks are
// taken while a trailer says another one follows.
class DiskSequence {
 public:
  explicit DiskSequence(const std::string& path) : first_(path) {}

  // Opens the next disk; false when there is none. `error` set on failure.
  bool Next(PackageFile& p, std::string& error) {
    std::string path;
    if (disk_ == 0) {
      path = first_;
    } else {
      if (!(lastOptions_ & kOptMoreDisks)) return false;
      path = DiskPath(base_, disk_ + 1);
    }
    if (!FileExists(path)) {
      error = disk_ == 0 ? "cannot read " + path : "missing disk file " + path;
      return false;
    }
    if (!OpenPackage(path, p)) {
      error = "cannot read " + path;
      return false;
    }
    if (disk_ == 0) {
      base_ = EndsWith001Base(path);
      // A starter carries no members and restarts from its ".001" disk.
      if (p.isPackage && (p.trailer.options & kOptRestartFromTempCopy) &&
          FileExists(path + ".001")) {
        if (p.headersDamaged ||
            !ChecksumPasses(FileChecksum(p.source, p.trailer.length), p.trailer.checksum)) {
          error = path + ": checksum fails or header blocks damaged";
          return false;
        }
        starter_ = path;
        base_ = path;
        path += ".001";
        if (!OpenPackage(path, p)) {
          error = "cannot read " + path;
          return false;
        }
      }
    }
    ++disk_;
    lastOptions_ = p.isPackage ? p.trailer.options : 0;
    return true;
  }

  int Disk() const { return disk_; }
  const std::string& Starter() const { return starter_; }

 private:
  std::string first_, base_, starter_;
  int disk_ = 0;
  std::uint8_t lastOptions_ = 0;
};

void PrintTrailer(const PackageFile& p) {
  const Trailer& t = p.trailer;
  const std::uint32_t computed = FileChecksum(p.source, t.length);
  std::printf("file: %s (%llu bytes)\n", p.path.c_str(),
              static_cast<unsigned long long>(p.source.Size()));
  std::printf("package end: %llu (end pointer %llu)\n", static_cast<unsigned long long>(p.end),
              static_cast<unsigned long long>(GetPackageEnd(p.source)));
  std::printf("trailer: build %u, header blocks %u, package start %u, members %u, length %u\n",
              t.build, t.headerCount, t.packageStart, t.memberCount, t.length);
  std::printf("magic: 0x%08X (%s)\n", t.magic, t.magic == kPackageMagic ? "ok" : "wrong");
  std::printf("checksum: %u (computed %u, %s)\n", t.checksum, computed,
              ChecksumPasses(computed, t.checksum) ? "passes" : "FAILS");
  std::printf("options: 0x%02X", t.options);
  const struct {
    std::uint8_t bit;
    const char* name;
  } bits[] = {{kOptShowTempNotice, "temp-notice"},
              {kOptMoreDisks, "more-disks"},
              {kOptRestartFromTempCopy, "restart-from-temp"},
              {kOptShowActivityBar, "activity-bar"},
              {kOptAgentDownloadLog, "agent-download-log"}};
  for (const auto& b : bits)
    if (t.options & b.bit) std::printf(" %s", b.name);
  std::printf("\n");
  std::printf("web installer %u, ask before download %u, write update agent %u, update agent %u\n",
              t.webInstaller, t.askBeforeDownload, t.writeUpdateAgent, t.updateAgent);
  std::printf("reserved: bytes 20-27");
  for (std::uint8_t b : t.reserved20) std::printf(" %02X", b);
  std::printf(", byte 64 %02X\n", t.reserved64);
  std::printf("space:");
  for (std::uint32_t s : t.space) std::printf(" %u", s);
  std::printf("\n");
}

void PrintHeaders(const PackageFile& p) {
  if (p.headersDamaged) {
    std::printf("header blocks: DAMAGED (the stub reads this file as no package)\n");
    return;
  }
  const std::vector<std::string> sections = LanguageSections(p.languageList);
  std::printf("languages: %zu\n", sections.size());
  for (const std::string& section : sections) {
    std::printf("  [%s]\n", Printable(SUB::ListItem(section, 0)).c_str());
    for (int k = 1; k < SUB::ListCount(section); ++k)
      std::printf("    %s\n", Printable(SUB::ListItem(section, k)).c_str());
  }
  const std::string& u = p.updateBlock;
  const std::string updateToken = SUB::ListItem(u, 3);
  std::printf("update block: url \"%s\", info file \"%s\", agent \"%s\", token \"%s\"%s, hidden \"%s\"\n",
              Printable(SUB::ListItem(u, 0)).c_str(), Printable(SUB::ListItem(u, 1)).c_str(),
              Printable(SUB::ListItem(u, 2)).c_str(), Printable(updateToken).c_str(),
              updateToken.empty() ? ""
                                  : (" = \"" + Printable(UnscrambleToken(updateToken)) + "\"").c_str(),
              Printable(SUB::ListItem(u, 4)).c_str());
  PublicKey key;
  std::string error;
  switch (ReadEmbeddedKey(u, key)) {
    case EmbeddedKey::kNone:
      std::printf("update key: none (updates are not signed)\n");
      break;
    case EmbeddedKey::kKey:
      std::printf("update key: fingerprint %s\n", Fingerprint(key, error).c_str());
      break;
    case EmbeddedKey::kDamaged:
      std::printf("update key: DAMAGED \"%s\" (not 128 hexadecimal digits)\n",
                  Printable(SUB::ListItem(u, 5)).c_str());
      break;
  }
  if (p.trailer.headerCount >= 3) {
    const std::string& d = p.downloadBlock;
    const std::string token = SUB::ListItem(d, 3);
    const std::string plain = token.empty() ? "" : " = \"" + Printable(UnscrambleToken(token)) + "\"";
    std::printf("download block: url \"%s\", setup file \"%s\", no local copy \"%s\", token \"%s\"%s, size \"%s\"\n",
                Printable(SUB::ListItem(d, 0)).c_str(), Printable(SUB::ListItem(d, 1)).c_str(),
                Printable(SUB::ListItem(d, 2)).c_str(), Printable(token).c_str(), plain.c_str(),
                Printable(SUB::ListItem(d, 4)).c_str());
    const std::string hash = SUB::ListItem(d, 5);
    if (!hash.empty()) std::printf("full setup SHA-256: %s\n", Printable(hash).c_str());
  }
}

// Walks the member blocks of one disk, calling `onBlock` for each; false
// (error reported) for a corrupt block.
template <typename OnBlock>
bool WalkMembers(PackageFile& p, OnBlock onBlock) {
  MemberBlockWalker walker(p.source, p.trailer.packageStart, p.trailer.headerCount,
                           TrailerStart(p.source));
  MemberBlock block;
  while (walker.Next(block))
    if (!onBlock(block)) return false;
  if (!walker.Corruption().empty()) {
    Fail(p.path + ": " + walker.Corruption());
    return false;
  }
  return true;
}

int NeedOneFile(const Args& args, const char* command, std::size_t count) {
  if (args.size() != count) {
    return Fail(std::string(command) + " needs " + (count == 1 ? "FILE" : "FILE DIR") +
                    " (see varnel-pack --help)",
                2);
  }
  return 0;
}

}  // namespace

int RunList(const Args& args) {
  if (int rc = NeedOneFile(args, "list", 1)) return rc;
  PackageFile p;
  if (!OpenPackage(args[0], p)) return Fail("cannot read " + args[0]);
  if (!p.isPackage) return Fail(args[0] + " is not a setup or disk file (no package trailer)");
  PrintTrailer(p);
  PrintHeaders(p);
  std::printf("members:\n");
  std::printf("  %-10s %-9s %-10s %-19s %s\n", "offset", "stored", "size", "time", "name");
  int count = 0;
  const bool ok = WalkMembers(p, [&](const MemberBlock& b) {
    ++count;
    const std::string kind = b.storedSize == 0 ? "empty" : (b.compressed ? "z" : "raw");
    if (!b.hasFile) {
      std::printf("  %-10llu %-9s %-10s %-19s (no file: %s)\n",
                  static_cast<unsigned long long>(b.offset),
                  (kind + " " + std::to_string(b.storedSize)).c_str(), "-", "-", kind.c_str());
      return true;
    }
    std::string name = Printable(b.member.name);
    if (b.member.isEngine) name += "  (engine: " + Printable(b.member.engineEntry) + ")";
    std::printf("  %-10llu %-9s %-10zu %-19s %s\n", static_cast<unsigned long long>(b.offset),
                (kind + " " + std::to_string(b.storedSize)).c_str(), b.member.content.size(),
                DosTimeText(b.member.time).c_str(), name.c_str());
    return true;
  });
  std::printf("member blocks: %d\n", count);
  return ok ? 0 : 1;
}

int RunExtract(const Args& args) {
  if (int rc = NeedOneFile(args, "extract", 2)) return rc;
  const std::string& folder = args[1];
  if (!MakeFolders(folder)) return Fail("cannot create folder " + folder);
  DiskSequence disks(args[0]);
  PackageFile p;
  std::string error;
  std::set<std::string> written;
  int files = 0;
  std::uint64_t expected = 0, blocks = 0;
  while (disks.Next(p, error)) {
    if (!p.isPackage) return Fail(p.path + " is not a setup or disk file (no package trailer)");
    if (p.headersDamaged) return Fail(p.path + ": header blocks run past the package end");
    const std::uint32_t computed = FileChecksum(p.source, p.trailer.length);
    if (!ChecksumPasses(computed, p.trailer.checksum)) return Fail(p.path + ": checksum fails");
    if (disks.Disk() == 1) expected = p.trailer.memberCount;
    const bool ok = WalkMembers(p, [&](const MemberBlock& b) {
      ++blocks;
      if (!b.hasFile) return true;
      const Member& m = b.member;
      if (!IsSafeMemberName(m.name)) {
        Fail(p.path + ": refusing unsafe member name \"" + Printable(m.name) + "\"");
        return false;
      }
      const std::string target = JoinPath(folder, m.name);
      // A name met again in the same package extends the file, as the stub does.
      const bool again = !written.insert(m.name).second;
      if (!WriteWholeFile(target, m.content, again)) {
        Fail("cannot write " + target);
        return false;
      }
      if (m.time) SetFileDosTime(target, m.time);
      ++files;
      return true;
    });
    if (!ok) return 1;
  }
  if (!error.empty()) return Fail(error);
  // A disk cut short, swapped or missing members: the package is incomplete.
  if (blocks != expected) {
    return Fail(args[0] + ": trailer counts " + std::to_string(expected) + " member blocks, found " +
                std::to_string(blocks));
  }
  std::printf("extracted %d member(s) from %d disk file(s) into %s\n", files, disks.Disk(),
              folder.c_str());
  return 0;
}

int RunVerify(const Args& args) {
  if (int rc = NeedOneFile(args, "verify", 1)) return rc;
  DiskSequence disks(args[0]);
  PackageFile p;
  std::string error;
  std::uint32_t expected = 0;
  std::uint64_t blocks = 0, files = 0, engines = 0;
  while (disks.Next(p, error)) {
    if (!p.isPackage) return Fail(p.path + ": wrong magic, not a package");
    // The stub restarts such a file from a copy that reads "<file>.001".
    if (disks.Disk() == 1 && disks.Starter().empty() && (p.trailer.options & kOptRestartFromTempCopy))
      return Fail(p.path + ": restarts from a temporary copy, but has no disk file " + p.path + ".001");
    if (p.headersDamaged) return Fail(p.path + ": header blocks run past the package end");
    const std::uint32_t computed = FileChecksum(p.source, p.trailer.length);
    if (!ChecksumPasses(computed, p.trailer.checksum)) {
      return Fail(p.path + ": checksum fails (stored " + std::to_string(p.trailer.checksum) +
                  ", computed " + std::to_string(computed) + ")");
    }
    if (disks.Disk() == 1) expected = p.trailer.memberCount;
    const bool ok = WalkMembers(p, [&](const MemberBlock& b) {
      ++blocks;
      if (b.hasFile) ++files;
      if (b.hasFile && b.member.isEngine) ++engines;
      return true;
    });
    if (!ok) return 1;
  }
  if (!error.empty()) return Fail(error);
  if (blocks != expected) {
    return Fail(args[0] + ": trailer counts " + std::to_string(expected) + " member blocks, found " +
                std::to_string(blocks));
  }
  std::printf("OK: %llu member block(s), %llu file(s), %llu engine member(s), %d disk file(s)\n",
              static_cast<unsigned long long>(blocks), static_cast<unsigned long long>(files),
              static_cast<unsigned long long>(engines), disks.Disk());
  return 0;
}

}  // namespace varnel::pack
