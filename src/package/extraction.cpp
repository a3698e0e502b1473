#include "package/extraction.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "utils/debug_stream.h"

namespace varnel {
namespace {

// ---- trailer access (stop-gap until the shared trailer helpers land) ----
std::uint32_t U32At(const unsigned char* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}
void PutU32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
bool IsPeImageSource(const ByteSource& s) {
  char mz[2], pe[2];
  return s.ReadAt(0, mz, 2) && s.ReadAt(kPeHeaderOffset, pe, 2) && mz[0] == 'M' && mz[1] == 'Z' &&
         pe[0] == 'P' && pe[1] == 'E';
}
std::uint64_t PackageEndOf(const ByteSource& s) {
  std::uint32_t hi = 0, lo = 0;
  if (IsPeImageSource(s) && s.ReadU32(kEndPointerHighOffset, hi) && s.ReadU32(kEndPointerLowOffset, lo)) {
    const std::uint64_t end = (std::uint64_t(hi) << 32) | lo;
    if (end != 0 && end <= s.Size()) return end;
  }
  return s.Size();
}
// The 74 trailer bytes as stored (zero-filled beyond a shorter trailer,
// length field set to the bytes read).
bool ReadTrailerBytes(const ByteSource& s, unsigned char (&raw)[kTrailerSize]) {
  std::memset(raw, 0, sizeof raw);
  const std::uint64_t end = PackageEndOf(s);
  std::uint32_t length = 0;
  if (end < 4 || !s.ReadU32(end - 4, length) || length < 4 || length > end) return false;
  const std::uint32_t used = std::min<std::uint32_t>(length, kTrailerSize);
  if (!s.ReadAt(end - length, raw, used - 4)) return false;
  PutU32(raw + kTrOffLength, used);
  return true;
}
Trailer DecodeTrailerBytes(const unsigned char* raw) {
  Trailer t;
  t.build = raw[0];
  t.headerCount = raw[kTrOffHeaderCount] ? raw[kTrOffHeaderCount] : 2;
  t.packageStart = U32At(raw + kTrOffPackageStart);
  t.memberCount = U32At(raw + kTrOffMemberCount);
  t.magic = U32At(raw + kTrOffMagic);
  t.checksum = U32At(raw + kTrOffChecksum);
  t.options = raw[kTrOffOptions];
  t.length = U32At(raw + kTrOffLength);
  return t;
}
// ---- end of stop-gap ----

struct ExtractionState {
  int saveErrors = 0;  // member files that could not be written, process-wide
};
ExtractionState& State() {
  static ExtractionState state;
  return state;
}

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  if (text.size() < tail.size()) return false;
  return std::equal(tail.begin(), tail.end(), text.end() - tail.size(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

std::string FileNamePart(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Decimal(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0f", value);
  return text;
}

// Writes one member file (or skips it); reports the first save error of the
// process.
void WriteMember(ExtractionHost& host, const ExtractRequest& request, const Member& member) {
  if (!IsSafeMemberName(member.name)) {
    DebugLine("%lu Skipped member with unsafe name: %s", host.ProcessId(), member.name.c_str());
    return;
  }
  const std::string target = request.destFolder + "\\" + member.name;
  if (!host.FileExists(target)) host.ProgressStep();
  if (host.AppendToFile(target, member.content, member.time)) return;
  const std::string why = host.LastErrorText();
  if (++State().saveErrors != 1) return;
  host.ShowError(target + "<P><P>Unable to save Extracted File!<P><P>" + why + "<P>" +
                 "  Data Size: <T>" + std::to_string(member.content.size()) + " Bytes<P>" +
                 "  File Size:  <T>" + std::to_string(host.FileSize(target)) + " Bytes<P>" +
                 "  Bytes Free: <T>" + Decimal(host.DiskFreeBytes(target)) + " Bytes");
}

// Writes the update agent: the setup file up to its first member block,
// with no package end pointer, followed by the trailer marked as an agent's.
void WriteUpdateAgent(ExtractionHost& host, const ExtractRequest& request, const ByteSource& source,
                      std::uint64_t firstMemberPosition) {
  const std::string agentFile = FileNamePart(request.agentName);
  unsigned char raw[kTrailerSize];
  std::string copy;
  if (!ReadTrailerBytes(source, raw) || firstMemberPosition == 0 ||
      !source.ReadString(0, static_cast<std::size_t>(firstMemberPosition), copy))
    return;
  if (copy.size() >= kEndPointerLowOffset + 4) std::memset(&copy[kEndPointerLowOffset], 0, 4);
  raw[kTrOffUpdateAgent] = 1;
  PutU32(raw + kTrOffLength, kTrailerSize);
  copy.append(reinterpret_cast<const char*>(raw), kTrailerSize);
  const std::string agentPath = request.destFolder + "\\" + agentFile;
  host.ReplaceFile(agentPath, copy, request.packagePath);
  DebugLine("%lu New AU-Agent: %s", host.ProcessId(), agentPath.c_str());
}

}  // namespace

std::string SpanBasePath(const std::string& packagePath) {
  if (packagePath.size() >= 4 && packagePath.compare(packagePath.size() - 4, 4, ".001") == 0)
    return packagePath.substr(0, packagePath.size() - 4);
  return packagePath;
}

std::string SpanDiskPath(const std::string& basePath, int number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, ".%03d", number);
  return basePath + digits;
}

std::string DiskPromptText(const std::string& prompt, int number) {
  static const std::string kPlaceholder = "<DISK_NUM>";
  const std::string value = std::to_string(number);
  std::string out;
  std::size_t from = 0;
  for (;;) {
    auto it = std::search(prompt.begin() + from, prompt.end(), kPlaceholder.begin(),
                          kPlaceholder.end(), [](char a, char b) {
                            return std::toupper(static_cast<unsigned char>(a)) == b;
                          });
    if (it == prompt.end()) break;
    const std::size_t at = it - prompt.begin();
    out.append(prompt, from, at - from);
    out += value;
    from = at + kPlaceholder.size();
  }
  out.append(prompt, from, std::string::npos);
  return out;
}

int SaveErrorCount() { return State().saveErrors; }

ExtractResult ExtractPackageWith(ExtractionHost& host, const ExtractRequest& request) {
  ExtractResult result;
  const std::uint32_t started = host.TickCount();
  const std::string basePath = SpanBasePath(request.packagePath);
  int disk = 1;
  bool carryOn = true;
  std::string path = request.packagePath;
  host.ProgressInit(0);

  for (;;) {
    bool moreDisks = false;
    if (host.FileExists(path)) {
      std::unique_ptr<ByteSource> source = host.OpenPackageFile(path);
      if (!source) break;  // unreadable: reported like a failed checksum
      unsigned char raw[kTrailerSize];
      ReadTrailerBytes(*source, raw);
      const Trailer trailer = DecodeTrailerBytes(raw);
      if (disk == 1) DebugLine("FileInfo.FilesCount=%lu", static_cast<unsigned long>(trailer.memberCount));

      const std::uint32_t sum = host.PackageChecksum(path, trailer.length);
      result.checksumOk = sum == trailer.checksum || sum == kNoChecksum || trailer.checksum == kNoChecksum;
      if (!result.checksumOk) break;

      const std::uint64_t end = PackageEndOf(*source);
      DebugLine("FileLen=%llu", static_cast<unsigned long long>(end));
      // A file without a valid package has no trustworthy flags either:
      // it contributes nothing and asks for no further disk.
      if (trailer.magic != kPackageMagic) break;
      if (disk == 1) {
        result.packageFound = true;
        host.ProgressInit(static_cast<int>(trailer.memberCount));
      }
      if (!host.CreateFolderTree(request.destFolder)) {
        host.ShowError(request.destFolder + "<P><P>Unable to create Directory!<P><P>" +
                       host.LastErrorText());
      }

      MemberBlockWalker walker(*source, trailer.packageStart, trailer.headerCount, end);
      walker.SetPump([&host] { host.Pump(); });
      MemberBlock block;
      host.Pump();
      while (walker.Next(block)) {
        if (block.hasFile) {
          if (block.member.isEngine) result.engineEntry = block.member.engineEntry;
          WriteMember(host, request, block.member);
        }
        host.Pump();
      }
      if (disk == 1 && !FileNamePart(request.agentName).empty() &&
          (EndsWithNoCase(request.packagePath, ".exe") || EndsWithNoCase(request.packagePath, ".exe.001")))
        WriteUpdateAgent(host, request, *source, walker.FirstMemberPosition());
      moreDisks = (trailer.options & kOptMoreDisks) != 0;
    }
    if (!moreDisks) break;

    // Disk change.
    host.RegisterAutoPlayRefusal();
    ++disk;
    path = SpanDiskPath(basePath, disk);
    if (request.forcePrompt || !host.FileExists(path)) {
      host.EjectMedium(path);
      do {
        carryOn = host.AskOkCancel(DiskPromptText(request.diskPrompt, disk), request.promptTitle,
                                   request.buttons, request.charset);
        host.WaitPumping(500);
      } while (!host.FileExists(path) && carryOn);
    }
    host.ProgressStep();
    if (!carryOn) break;
  }

  if (!carryOn) {
    result.engineEntry.clear();
    result.cancelled = true;
  }
  DebugLine("UnCompressTime: %lu MS", static_cast<unsigned long>(host.TickCount() - started));
  DebugLine("%s", "");
  host.WaitPumping(500);
  return result;
}

}  // namespace varnel
