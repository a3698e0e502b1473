#include "package/extraction.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cmath>
#include <cstring>

#include "package/package_trailer.h"
#include "utils/debug_stream.h"
#include "utils/text_format.h"
#include "utils/text_rules.h"

namespace varnel {
namespace {


struct ExtractionState {
  int saveErrors = 0;  // member files that could not be written, process-wide
};
ExtractionState& State() {
  static ExtractionState state;
  return state;
}

std::string FileNamePart(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whole number, rounded half to even like "%.0f" (the stub links no
// floating-point printf).
std::string Decimal(double value) {
  return DecimalText(static_cast<long long>(std::nearbyint(value)));
}

// The text for a file that could not be written in full: what the system
// said, how much was to be written, how much the file holds and how much the
// volume holding it has free.
std::string SaveErrorText(ExtractionHost& host, const std::string& target, std::size_t dataSize) {
  const std::string why = host.LastErrorText();
  ++State().saveErrors;
  std::string text = host.ShownPath(target);
  text += "<P><P>Unable to save Extracted File!<P><P>";
  text += why;
  text += "<P>  Data Size: <T>";
  text += DecimalText(dataSize);
  text += " Bytes<P>  File Size:  <T>";
  text += DecimalText(host.FileSize(target));
  text += " Bytes<P>  Bytes Free: <T>";
  text += Decimal(host.DiskFreeBytes(target));
  text += " Bytes";
  return text;
}

// Writes one member file (or skips one with an unsafe name). True when the
// member is now in the folder under its own name; a member that could not
// be written in full leaves its error text in `failure`.
bool WriteMember(ExtractionHost& host, const ExtractRequest& request, const Member& member,
                 std::string& failure) {
  if (!IsSafeMemberName(member.name)) {
    DebugLine("%lu Skipped member with unsafe name: %s", host.ProcessId(), member.name.c_str());
    return false;
  }
  const std::string target = JoinPath(request.destFolder, host.NameFromPackage(member.name));
  // A new file steps the progress; appending to one that is already there
  // (a second run into the same folder) does not.
  bool created = false;
  const bool written = host.AppendToFile(target, member.content, member.time, created);
  if (created || (!written && !host.FileExists(target))) host.ProgressStep();
  if (!written) failure = SaveErrorText(host, target, member.content.size());
  return written;
}

// Writes the update agent: the setup file up to its first member block,
// with no package end pointer, followed by the trailer marked as an agent's.
// An agent that could not be written in full leaves its error in `failure`.
void WriteUpdateAgent(ExtractionHost& host, const ExtractRequest& request, const ByteSource& source,
                      std::uint64_t firstMemberPosition, std::string& failure) {
  Trailer trailer;
  std::string copy;
  ReadTrailer(source, trailer);
  if (firstMemberPosition == 0 ||
      !source.ReadString(0, static_cast<std::size_t>(firstMemberPosition), copy))
    return;
  if (copy.size() >= kEndPointerLowOffset + 4) std::memset(&copy[kEndPointerLowOffset], 0, 4);
  trailer.updateAgent = 1;
  trailer.length = kTrailerSize;
  copy += EncodeTrailer(trailer);
  const std::string agentPath =
      JoinPath(request.destFolder, host.NameFromPackage(FileNamePart(request.agentName)));
  if (!host.ReplaceFile(agentPath, copy, request.packagePath)) {
    failure = SaveErrorText(host, agentPath, copy.size());
    return;
  }
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
  FormatText(digits, sizeof digits, ".%03d", number);
  return basePath + digits;
}

std::string DiskPromptText(const std::string& prompt, int number) {
  static const char kPlaceholder[] = "<DISK_NUM>";  // matched in any case
  const std::size_t placeholderSize = sizeof kPlaceholder - 1;
  std::string out;
  std::size_t at = 0;
  while (at < prompt.size()) {
    std::size_t n = 0;
    while (n < placeholderSize && at + n < prompt.size() &&
           std::toupper(static_cast<unsigned char>(prompt[at + n])) == kPlaceholder[n])
      ++n;
    if (n == placeholderSize) {
      out += DecimalText(number);
      at += n;
    } else {
      out += prompt[at++];
    }
  }
  return out;
}

int SaveErrorCount() { return State().saveErrors; }

SetupEnd SetupEndFor(const ExtractResult& result) {
  if (!result.corruptMember.empty()) return SetupEnd::kCorruptMember;
  if (!result.writeFailure.empty()) return SetupEnd::kWriteFailed;
  if (result.cancelled) return SetupEnd::kCancelled;
  if (!result.checksumOk) return SetupEnd::kBadChecksum;
  if (!result.packageFound || result.damaged || result.engineEntry.empty()) return SetupEnd::kDamaged;
  return SetupEnd::kStartEngine;
}

ExtractResult ExtractPackageWith(ExtractionHost& host, const ExtractRequest& request) {
  ExtractResult result;
  const std::uint32_t started = host.TickCount();
  const std::string basePath = SpanBasePath(request.packagePath);
  int disk = 1;
  bool carryOn = true;
  std::string path = request.packagePath;
  host.ProgressInit(0);

  std::uint64_t expectedBlocks = 0, blocksRead = 0;
  for (;;) {
    bool moreDisks = false;
    const ByteSource* held = disk == 1 ? request.firstDisk : nullptr;
    if (held || host.FileExists(path)) {
      std::unique_ptr<ByteSource> opened;
      if (!held) opened = host.OpenPackageFile(path);
      const ByteSource* source = held ? held : opened.get();
      if (!source) break;  // unreadable: reported like a failed checksum
      Trailer trailer;
      const bool isPackage = ReadTrailer(*source, trailer);
      if (disk == 1) DebugLine("FileInfo.FilesCount=%lu", static_cast<unsigned long>(trailer.memberCount));

      const std::uint64_t end = LocatePackageEnd(*source);
      DebugLine("FileLen=%s", DecimalText(end).c_str());
      // A file without a valid package (cut short, empty, foreign) has no
      // checksum or flags to trust: it contributes nothing and asks for no
      // further disk. The first file then carries no package; a later one
      // leaves the package incomplete.
      if (!isPackage) {
        result.checksumOk = true;
        if (disk > 1) {
          DebugEvent("Damaged disk file: %s", path.c_str());
          result.damaged = true;
        }
        break;
      }
      result.checksumOk = ChecksumPasses(FileChecksum(*source, trailer.length), trailer.checksum);
      if (!result.checksumOk) break;
      if (disk == 1) {
        result.packageFound = true;
        expectedBlocks = trailer.memberCount;
        host.ProgressInit(static_cast<int>(trailer.memberCount));
      }
      if (!host.CreateFolderTree(request.destFolder)) {
        result.writeFailure = host.ShownPath(request.destFolder);
        result.writeFailure += "<P><P>Unable to create Directory!<P><P>";
        result.writeFailure += host.LastErrorText();
        break;
      }

      MemberBlockWalker walker(*source, trailer.packageStart, trailer.headerCount, TrailerStart(*source));
      walker.SetPump([&host] { host.Pump(); });
      MemberBlock block;
      host.Pump();
      while (walker.Next(block)) {
        if (host.StopRequested()) {
          carryOn = false;
          break;
        }
        ++blocksRead;
        if (block.hasFile) {
          // Only a member that is in the folder under its checked name may
          // be started as the engine.
          const bool written = WriteMember(host, request, block.member, result.writeFailure);
          if (block.member.isEngine && written)
            result.engineEntry = host.NameFromPackage(block.member.engineEntry);
          // A member cut short (a full disk) ends the setup: nothing may
          // run on a partial folder.
          if (!result.writeFailure.empty()) break;
        }
        host.Pump();
      }
      if (!walker.Corruption().empty()) result.corruptMember = walker.Corruption();
      if (!result.corruptMember.empty() || !result.writeFailure.empty()) {
        result.engineEntry.clear();
        return result;
      }
      if (!carryOn) break;
      if (disk == 1 && !FileNamePart(request.agentName).empty() &&
          (EndsWithAsciiNoCase(request.packagePath, ".exe") || EndsWithAsciiNoCase(request.packagePath, ".exe.001"))) {
        WriteUpdateAgent(host, request, *source, walker.FirstMemberPosition(), result.writeFailure);
        if (!result.writeFailure.empty()) {
          result.engineEntry.clear();
          return result;
        }
      }
      moreDisks = (trailer.options & kOptMoreDisks) != 0;
    }
    if (!moreDisks) break;

    // Disk change.
    host.RegisterAutoPlayRefusal();
    ++disk;
    path = SpanDiskPath(basePath, disk);
    if (request.hidden) {
      // Nobody is there to insert a disk.
      if (!host.FileExists(path)) {
        DebugEvent("Missing disk file: %s", path.c_str());
        carryOn = false;
      }
    } else if (request.forcePrompt || !host.FileExists(path)) {
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

  // Every member block that the first disk announces must have been read:
  // a disk cut short, swapped or missing its members leaves a package that
  // must not be installed.
  if (carryOn && result.checksumOk && result.packageFound && !result.damaged &&
      blocksRead != expectedBlocks) {
    DebugEvent("Package incomplete: %s of %s member blocks", DecimalText(blocksRead).c_str(),
               DecimalText(expectedBlocks).c_str());
    result.damaged = true;
  }
  if (result.damaged) result.engineEntry.clear();
  if (!carryOn) {
    result.engineEntry.clear();
    result.cancelled = true;
  }
  DebugLine("UnCompressTime: %lu MS", static_cast<unsigned long>(host.TickCount() - started));
  DebugLine("%s", "");
  // Hands the last progress steps to the bars; no time is spent on top.
  host.WaitPumping(0);
  return result;
}

}  // namespace varnel
