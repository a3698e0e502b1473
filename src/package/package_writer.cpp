#include "package/package_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

#include "package/member_blocks.h"
#include "package/package_trailer.h"
#include "utils/text_format.h"

namespace varnel {
namespace {

void PutU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void SetU32(std::string& out, std::size_t offset, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string Block(const std::string& bytes, std::int32_t length) {
  std::string out;
  out.reserve(bytes.size() + 4);
  PutU32(out, static_cast<std::uint32_t>(length));
  out += bytes;
  return out;
}

std::string HeaderBlock(const std::string& text) {
  return Block(text, static_cast<std::int32_t>(text.size()));
}

bool Deflate(const std::string& data, int level, std::string& out) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  out.assign(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(&out[0]), &size,
                reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                level) != Z_OK)
    return false;
  out.resize(size);
  return true;
}

std::uint64_t RoundUp(std::uint64_t size, std::uint64_t unit) {
  return (size + unit - 1) / unit * unit;
}

std::uint32_t Clamp32(std::uint64_t v) {
  return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

std::string FoldCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string PieceName(const std::string& name, int index) {
  char digits[16];
  FormatText(digits, sizeof digits, ".%05d", index);
  return name + digits;
}

// Text that goes into a "|"-separated header block item.
bool CheckItem(const std::string& what, const std::string& value, std::string& error) {
  if (value.find('|') != std::string::npos || value.find('\0') != std::string::npos) {
    error = what + " may not contain \"|\" or a zero byte: " + value;
    return false;
  }
  return true;
}

bool CheckLanguages(const std::vector<LanguageSection>& languages, std::string& error) {
  for (const auto& section : languages) {
    std::vector<const std::string*> texts{&section.name};
    for (const auto& item : section.items) texts.push_back(&item);
    for (const std::string* text : texts) {
      if (text->find_first_of(std::string("\x01\x02", 2)) != std::string::npos) {
        error = "language " + section.name + ": text holds a list separator byte (0x01 or 0x02)";
        return false;
      }
    }
    if (section.name.empty()) {
      error = "language section without a name";
      return false;
    }
  }
  return true;
}

constexpr std::uint64_t kWebInstallerSalt = 0x5745424953544C52ull;

struct Prepared {
  std::string headers;                 // the header blocks, framed
  std::uint8_t headerCount = 2;
  std::vector<std::string> blocks;     // the member blocks, framed
  SpaceTable space;
};

std::string DecimalSize(std::uint64_t v) { return std::to_string(v); }

bool PrepareHeaders(const BuildOptions& o, std::uint64_t downloadSizeGuess, bool withDownload,
                    TokenRandom& random, Prepared& p, std::string& error) {
  if (!CheckLanguages(o.languages, error)) return false;
  UpdateSettings update = o.update;
  if (update.token.empty() && !o.updateTokenValue.empty())
    update.token = ScrambleToken(o.updateTokenValue, random);
  if (!CheckItem("update URL", update.url, error) ||
      !CheckItem("update info file", update.infoFile, error) ||
      !CheckItem("update agent file", update.agentFile, error) ||
      !CheckItem("update token", update.token, error) ||
      !CheckItem("run-hidden value", update.runHidden, error) ||
      !CheckItem("update key", update.publicKey, error))
    return false;
  p.headers = HeaderBlock(EncodeLanguageList(o.languages)) + HeaderBlock(EncodeUpdateBlock(update));
  p.headerCount = 2;
  if (withDownload) {
    DownloadSettings download = o.download;
    if (download.token.empty() && !o.downloadTokenValue.empty())
      download.token = ScrambleToken(o.downloadTokenValue, random);
    if (download.setupFileSize == "auto") download.setupFileSize = DecimalSize(downloadSizeGuess);
    if (!CheckItem("download URL", download.url, error) ||
        !CheckItem("setup file name", download.setupFileName, error) ||
        !CheckItem("no-local-copy value", download.noLocalCopy, error) ||
        !CheckItem("download token", download.token, error) ||
        !CheckItem("setup file size", download.setupFileSize, error) ||
        !CheckItem("setup file hash", download.setupHash, error))
      return false;
    p.headers += HeaderBlock(EncodeDownloadBlock(download));
    p.headerCount = 3;
  }
  return true;
}

bool PrepareMembers(const BuildOptions& o, Prepared& p, std::string& error) {
  std::vector<const InputFile*> all;
  std::set<std::string> names;
  auto claim = [&](const std::string& name) {
    if (!names.insert(FoldCase(name)).second) {
      error = "two members would be named " + name;
      return false;
    }
    return true;
  };

  struct Entry {
    const InputFile* file;
    std::string nameItem;
  };
  std::vector<Entry> entries;
  if (!o.engine.name.empty()) {
    std::string problem = MemberNameProblem(o.engine.name);
    if (!problem.empty()) {
      error = "engine " + problem;
      return false;
    }
    if (o.engineArgs.find('|') != std::string::npos ||
        o.engineArgs.find('\0') != std::string::npos) {
      error = "engine arguments may not contain \"|\" or a zero byte";
      return false;
    }
    if (o.engine.content.size() > kPieceSize) {
      error = "engine " + o.engine.name + " is larger than " + std::to_string(kPieceSize) +
              " bytes and would be stored in pieces";
      return false;
    }
    entries.push_back({&o.engine, o.engine.name + "*" + o.engineArgs});
  }
  for (const auto& f : o.files) {
    std::string problem = MemberNameProblem(f.name);
    if (!problem.empty()) {
      error = problem;
      return false;
    }
    entries.push_back({&f, f.name});
  }

  for (const auto& e : entries) {
    all.push_back(e.file);
    const auto payloads = MemberPayloads(e.nameItem, e.file->name, e.file->content, e.file->time);
    for (std::size_t i = 0; i < payloads.size(); ++i) {
      if (!claim(i == 0 ? e.file->name : PieceName(e.file->name, static_cast<int>(i + 1))))
        return false;
      if (e.file->store) {
        p.blocks.push_back(Block(payloads[i], -static_cast<std::int32_t>(payloads[i].size())));
      } else {
        std::string z;
        if (!Deflate(payloads[i], o.level, z)) {
          error = "compression failed for " + e.file->name;
          return false;
        }
        p.blocks.push_back(Block(z, static_cast<std::int32_t>(z.size())));
      }
    }
  }
  p.space = ComputeSpaceTable(all);
  return true;
}

Trailer BaseTrailer(const BuildOptions& o, const Prepared& p) {
  Trailer t;
  t.build = o.buildByte;
  t.headerCount = p.headerCount;
  t.magic = kPackageMagic;
  t.checksum = o.checksum;
  std::memcpy(t.reserved20, o.reserved20, 8);
  for (int i = 0; i < kSpaceTableEntries; ++i) t.space[i] = p.space.entries[i];
  t.reserved64 = o.reserved64;
  t.options = o.options;
  t.webInstaller = o.webInstaller;
  t.askBeforeDownload = o.askBeforeDownload;
  t.writeUpdateAgent = o.writeUpdateAgent;
  t.updateAgent = o.updateAgent;
  t.length = kTrailerSize;
  return t;
}

// One package file: prefix (stub image or nothing), header blocks, member
// blocks [first, last), trailer; with the end pointer and appended data
// when asked (only for a file that starts with the stub).
std::string AssembleFile(const std::string& prefix, const Prepared& p, std::size_t first,
                         std::size_t last, Trailer t, bool endPointer,
                         const std::string& appended) {
  std::string out = prefix;
  t.packageStart = static_cast<std::uint32_t>(prefix.size());
  out += p.headers;
  for (std::size_t i = first; i < last; ++i) out += p.blocks[i];
  out += EncodeTrailer(t);
  if (!prefix.empty()) {
    const std::uint64_t end = (endPointer || !appended.empty()) ? out.size() : 0;
    SetU32(out, kEndPointerHighOffset, static_cast<std::uint32_t>(end >> 32));
    SetU32(out, kEndPointerLowOffset, static_cast<std::uint32_t>(end));
    out += appended;
  }
  return out;
}

// Replaces the stored checksum of an assembled file by the one a reader
// computes, where the file is small enough to be checked at all.
void StoreComputedChecksum(std::string& file) {
  const MemorySource source(file);
  Trailer t;
  if (!ReadTrailer(source, t)) return;
  const std::uint32_t sum = FileChecksum(source, t.length);
  if (sum == kNoChecksum || sum == 0) return;
  SetU32(file, LocatePackageEnd(source) - t.length + kTrOffChecksum, sum);
}

bool CheckStub(const BuildOptions& o, std::string& error) {
  std::string problem = StubImageProblem(o.stub);
  if (!problem.empty()) {
    error = "stub: " + problem;
    return false;
  }
  return true;
}

bool PrepareHeadersSeeded(const BuildOptions& o, std::uint64_t downloadSize,
                          std::uint64_t randomSalt, Prepared& p, std::string& error) {
  TokenRandom random(o.seed ^ randomSalt);
  return PrepareHeaders(o, downloadSize, o.withDownloadBlock, random, p, error);
}

std::vector<const InputFile*> MemberFiles(const BuildOptions& o) {
  std::vector<const InputFile*> all;
  if (!o.engine.name.empty()) all.push_back(&o.engine);
  for (const auto& f : o.files) all.push_back(&f);
  return all;
}

void FinishFiles(const BuildOptions& o, std::vector<BuiltFile>& files) {
  if (!o.computeChecksum) return;
  for (auto& f : files) StoreComputedChecksum(f.bytes);
}

bool BuildOneFile(const BuildOptions& o, const Prepared& p, std::vector<BuiltFile>& files) {
  Trailer t = BaseTrailer(o, p);
  t.memberCount = static_cast<std::uint32_t>(p.blocks.size());
  files.push_back({"", AssembleFile(o.stub, p, 0, p.blocks.size(), t, o.endPointer, o.appended)});
  FinishFiles(o, files);
  return true;
}

bool BuildSpanned(const BuildOptions& o, const Prepared& p, std::vector<BuiltFile>& files,
                  std::string& error) {
  // Split the member blocks over disks; disk 1 starts with the stub.
  std::vector<std::pair<std::size_t, std::size_t>> disks;
  std::size_t next = 0;
  do {
    const std::uint64_t prefix = disks.empty() ? o.stub.size() : 0;
    const std::uint64_t fixed = prefix + p.headers.size() + kTrailerSize;
    if (fixed >= o.spanSize) {
      error = "span size " + std::to_string(o.spanSize) + " leaves no room for members on disk " +
              std::to_string(disks.size() + 1);
      return false;
    }
    std::uint64_t room = o.spanSize - fixed;
    const std::size_t first = next;
    while (next < p.blocks.size() && p.blocks[next].size() <= room) room -= p.blocks[next++].size();
    if (next == first && next < p.blocks.size()) {
      error = "span size " + std::to_string(o.spanSize) + " is too small for member block " +
              std::to_string(next + 1) + " (" + std::to_string(p.blocks[next].size()) + " bytes)";
      return false;
    }
    disks.push_back({first, next});
  } while (next < p.blocks.size());

  const bool numbered = o.spanNaming == SpanNaming::kNumbered;
  if (numbered) {
    // The file the user starts carries the header blocks only and restarts
    // from a temporary copy that reads the disks.
    Trailer t = BaseTrailer(o, p);
    t.options |= kOptRestartFromTempCopy;
    t.memberCount = static_cast<std::uint32_t>(p.blocks.size());
    files.push_back({"", AssembleFile(o.stub, p, 0, 0, t, o.endPointer, o.appended)});
  }
  for (std::size_t d = 0; d < disks.size(); ++d) {
    Trailer t = BaseTrailer(o, p);
    if (d + 1 < disks.size()) t.options |= kOptMoreDisks;
    // Disk 1 carries the whole package's member count: it sets the range of
    // the extraction's progress bar.
    t.memberCount = static_cast<std::uint32_t>(d == 0 ? p.blocks.size()
                                                      : disks[d].second - disks[d].first);
    const bool first = d == 0;
    char suffix[16];
    FormatText(suffix, sizeof suffix, ".%03d", static_cast<int>(d + 1));
    const bool isSetupFile = first && !numbered;
    files.push_back({isSetupFile ? std::string() : std::string(suffix),
                     AssembleFile(first ? o.stub : std::string(), p, disks[d].first,
                                  disks[d].second, t, isSetupFile && o.endPointer,
                                  isSetupFile ? o.appended : std::string())});
  }
  FinishFiles(o, files);
  return true;
}

}  // namespace

std::uint32_t TokenRandom::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
}

std::string ScrambleToken(const std::string& value, TokenRandom& random) {
  // Layout of the n bytes: B0 random, p, q, p padding bytes, the value,
  // q - 1 padding bytes, checksum, B[n-1] random; bytes 1 .. n-3 are XORed
  // with B0 ^ B[n-1]. p + q fills a value of up to 12 bytes to 17 bytes.
  const std::size_t spare = value.size() < 13 ? 13 - value.size() : 1;
  const std::uint32_t p = random.Below(static_cast<std::uint32_t>(spare));
  const std::uint32_t q = static_cast<std::uint32_t>(spare) - p;
  std::string plain;
  plain.push_back(static_cast<char>(p));
  plain.push_back(static_cast<char>(q));
  for (std::uint32_t i = 0; i < p; ++i) plain.push_back(static_cast<char>(random.Below(256)));
  plain += value;
  for (std::uint32_t i = 0; i + 1 < q; ++i) plain.push_back(static_cast<char>(random.Below(256)));

  const std::uint8_t first = static_cast<std::uint8_t>(random.Below(256));
  const std::uint8_t last = static_cast<std::uint8_t>(random.Below(256));
  const std::uint8_t key = first ^ last;
  std::string bytes;
  bytes.push_back(static_cast<char>(first));
  for (char c : plain) bytes.push_back(static_cast<char>(static_cast<std::uint8_t>(c) ^ key));
  std::uint32_t sum = last;
  for (char c : bytes) sum += static_cast<std::uint8_t>(c);
  bytes.push_back(static_cast<char>(sum & 0xFF));
  bytes.push_back(static_cast<char>(last));

  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (char c : bytes) {
    const std::uint8_t b = static_cast<std::uint8_t>(c);
    text.push_back(static_cast<char>(kHex[b >> 4] + 50));
    text.push_back(static_cast<char>(kHex[b & 15] + 50));
  }
  return text;
}

std::string NewTokenValue(TokenRandom& random) {
  static const char kChars[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
  std::string value;
  for (int i = 0; i < 8; ++i) value.push_back(kChars[random.Below(sizeof kChars - 1)]);
  return value;
}

std::string EncodeLanguageList(const std::vector<LanguageSection>& languages) {
  std::string out(1, kLanguageListSeparator);
  for (const auto& section : languages) {
    out += kLanguageSectionSeparator;
    out += section.name;
    out += kLanguageSectionSeparator;
    for (const auto& item : section.items) {
      out += item;
      out += kLanguageSectionSeparator;
    }
    out += kLanguageListSeparator;
  }
  return out;
}

bool ParseLanguageText(const std::string& text, const std::string& defaultName,
                       LanguageSection& section, std::string& error) {
  section = LanguageSection();
  section.name = defaultName;
  bool first = true;
  std::size_t lineNo = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (lineNo == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    std::size_t lead = line.find_first_not_of(" \t");
    if (lead == std::string::npos || line[lead] == '#' || line[lead] == ';') continue;
    if (line.find_first_of(std::string("\x01\x02\0", 3)) != std::string::npos) {
      error = "line " + std::to_string(lineNo) + ": holds a control byte 0x00, 0x01 or 0x02";
      return false;
    }
    std::size_t last = line.find_last_not_of(" \t");
    if (first && line[lead] == '[' && line[last] == ']') {
      section.name = line.substr(lead + 1, last - lead - 1);
      first = false;
      continue;
    }
    first = false;
    if (line.find('=') == std::string::npos) {
      error = "line " + std::to_string(lineNo) + ": expected key=value";
      return false;
    }
    section.items.push_back(line);
  }
  if (section.name.empty()) {
    error = "language section has no name";
    return false;
  }
  return true;
}

std::string EncodeUpdateBlock(const UpdateSettings& u) {
  std::string block = "|" + u.url + "|" + u.infoFile + "|" + u.agentFile + "|" + u.token + "|" +
                      u.runHidden + "|";
  if (!u.publicKey.empty()) block += u.publicKey + "|";
  return block;
}

std::string EncodeDownloadBlock(const DownloadSettings& d) {
  std::string block = "|" + d.url + "|" + d.setupFileName + "|" + d.noLocalCopy + "|" + d.token +
                      "|" + d.setupFileSize + "|";
  if (!d.setupHash.empty()) block += d.setupHash + "|";
  return block;
}

std::uint32_t PackDosTime(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1980 || year > 2107) return 0;
  const std::uint32_t date = static_cast<std::uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  const std::uint32_t time = static_cast<std::uint32_t>((hour << 11) | (minute << 5) | (second / 2));
  return date << 16 | time;
}

std::string MemberNameProblem(const std::string& name) {
  if (name.empty()) return "member name is empty";
  if (name.find('\0') != std::string::npos) return "member name holds a zero byte: " + name.substr(0, name.find('\0'));
  if (name.find_first_of("/\\") != std::string::npos)
    return "member name has a folder part: " + name;
  if (name.find('*') != std::string::npos) return "member name holds \"*\": " + name;
  if (name.find('|') != std::string::npos) return "member name holds \"|\": " + name;
  if (name.size() + 32 > kMaxMemberHeader) return "member name is too long";
  if (!IsSafeMemberName(name)) return "member name cannot be written as a file: " + name;
  return {};
}

std::string MemberHeaderText(const std::string& nameItem, std::uint32_t time) {
  return "|" + nameItem + "|" + std::to_string(time) + "|";
}

std::vector<std::string> MemberPayloads(const std::string& nameItem, const std::string& piecesName,
                                        const std::string& content, std::uint32_t time) {
  std::vector<std::string> out;
  std::size_t offset = 0;
  int index = 1;
  do {
    const std::size_t size = std::min<std::size_t>(kPieceSize, content.size() - offset);
    std::string payload =
        MemberHeaderText(index == 1 ? nameItem : PieceName(piecesName, index), time);
    payload.push_back('\0');
    payload.append(content, offset, size);
    out.push_back(std::move(payload));
    offset += size;
    ++index;
  } while (offset < content.size());
  return out;
}

SpaceTable ComputeSpaceTable(const std::vector<const InputFile*>& files) {
  std::uint64_t sums[kSpaceTableEntries] = {};
  auto add = [&](std::uint64_t size) {
    sums[0] += size;
    for (int k = 1; k < kSpaceTableEntries; ++k) sums[k] += RoundUp(size, 256ull << k);
  };
  for (const InputFile* f : files) {
    const std::uint64_t size = f->content.size();
    if (size > kPieceSize) {
      for (std::uint64_t offset = 0; offset < size; offset += kPieceSize)
        add(std::min<std::uint64_t>(kPieceSize, size - offset));
    }
    add(size);
  }
  SpaceTable table;
  for (int k = 0; k < kSpaceTableEntries; ++k) table.entries[k] = Clamp32(sums[k]);
  return table;
}

std::string StubImageProblem(const std::string& stub) {
  if (stub.size() < 2 || stub.compare(0, 2, "MZ") != 0) return "not a Windows image (no \"MZ\")";
  if (stub.size() < kPeHeaderOffset + 4 || stub.compare(kPeHeaderOffset, 4, std::string("PE\0\0", 4)) != 0)
    return "no \"PE\" header at offset 0x100";
  MemorySource source(stub);
  Trailer trailer;
  if (ReadTrailer(source, trailer)) return "already carries a package";
  return {};
}

bool BuildSetup(const BuildOptions& o, std::vector<BuiltFile>& files, std::string& error) {
  files.clear();
  error.clear();
  if (!CheckStub(o, error)) return false;
  // A restart from a temporary copy reads the package from the ".001" disk
  // file: a setup that is one file, or whose first disk is the setup file
  // itself, has none, and the copy would end with "Bad CRC!".
  if ((o.options & kOptRestartFromTempCopy) && !(o.spanSize && o.spanNaming == SpanNaming::kNumbered)) {
    error = "restart from a temporary copy needs disk files named .001, .002 ... (--span with --span-naming 001)";
    return false;
  }
  const bool autoSize = o.withDownloadBlock && o.download.setupFileSize == "auto";
  if (autoSize && o.spanSize) {
    error = "a spanned setup cannot name its own size in the download block";
    return false;
  }
  Prepared p;
  if (!PrepareMembers(o, p, error)) return false;
  if (!PrepareHeadersSeeded(o, 0, 0, p, error)) return false;
  if (!autoSize) return o.spanSize ? BuildSpanned(o, p, files, error) : BuildOneFile(o, p, files);

  // The download block names the setup file's own size: rewrite the header
  // blocks until the number written matches the file (a step or two).
  std::uint64_t guess = 0;
  for (int round = 0; round < 8; ++round) {
    if (!PrepareHeadersSeeded(o, guess, 0, p, error)) return false;
    files.clear();
    BuildOneFile(o, p, files);
    const std::uint64_t size = files[0].bytes.size();
    if (size == guess) return true;
    guess = size;
  }
  error = "setup file size did not settle";
  return false;
}

bool BuildWebInstaller(const BuildOptions& o, std::uint64_t fullSetupSize, std::string& bytes,
                       std::string& error) {
  error.clear();
  if (!CheckStub(o, error)) return false;
  if (!o.withDownloadBlock) {
    error = "a web installer needs a download block";
    return false;
  }
  Prepared p;
  if (!PrepareHeadersSeeded(o, fullSetupSize, kWebInstallerSalt, p, error)) return false;
  // The space table describes what the full setup file will extract.
  p.space = ComputeSpaceTable(MemberFiles(o));
  Trailer t = BaseTrailer(o, p);
  t.webInstaller = 1;
  t.memberCount = 0;
  bytes = AssembleFile(o.stub, p, 0, 0, t, o.endPointer, o.appended);
  if (o.computeChecksum) StoreComputedChecksum(bytes);
  return true;
}

std::string MakeUpdateAgentCopy(const std::string& headPart, const Trailer& setupTrailer) {
  std::string out = headPart;
  if (out.size() >= kEndPointerLowOffset + 4) SetU32(out, kEndPointerLowOffset, 0);
  Trailer t = setupTrailer;
  t.updateAgent = 1;
  t.length = kTrailerSize;
  out += EncodeTrailer(t);
  return out;
}

}  // namespace varnel
