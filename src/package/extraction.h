// Extraction of a package into a folder: every member block of every disk
// file of a (possibly spanned) package, with the checksum check, progress,
// the disk prompt and the update agent written on the way.
//
// The algorithm is platform-free; everything it needs of the system (files,
// folders, message dispatching, questions to the user) goes through
// ExtractionHost, which the Win32 side implements (extraction_win32.cpp) and
// tests replace with a fake.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "package/byte_source.h"
#include "package/member_blocks.h"
#include "download/progress_sink.h"

namespace varnel {

class ExtractionHost {
 public:
  virtual ~ExtractionHost() = default;

  virtual bool FileExists(const std::string& path) = 0;
  // The package file opened for reading (sharing read and write), or null.
  virtual std::unique_ptr<ByteSource> OpenPackageFile(const std::string& path) = 0;
  // Creates the folder with all missing parents; false with LastErrorText().
  virtual bool CreateFolderTree(const std::string& path) = 0;
  // Appends `data` to the file, creating it when missing (`created` tells);
  // true when every byte was written. A non-zero DOS time is then set as the
  // last-write time.
  virtual bool AppendToFile(const std::string& path, const std::string& data,
                            std::uint32_t dosTime, bool& created) = 0;
  // Writes `data` as the whole file, replacing any, with the last-write time
  // of `timeSource`; true when every byte was written (else LastErrorText()).
  virtual bool ReplaceFile(const std::string& path, const std::string& data,
                           const std::string& timeSource) = 0;
  virtual std::uint64_t FileSize(const std::string& path) = 0;
  virtual double DiskFreeBytes(const std::string& path) = 0;
  // The system's text for the last error (empty when none).
  virtual std::string LastErrorText() = 0;
  // A path as the boxes show it: their texts are in the system's code page.
  virtual std::string ShownPath(const std::string& path) { return path; }
  // A member or agent name from the package as a path part: paths are
  // UTF-8, while packages made by older tools name files in the ANSI code
  // page.
  virtual std::string NameFromPackage(const std::string& name) { return name; }

  // Dispatches pending window messages; cheap enough to call often.
  virtual void Pump() = 0;
  // Hands pending progress steps to the bars, then waits the given time
  // (0: none) while dispatching messages.
  virtual void WaitPumping(unsigned milliseconds) = 0;
  virtual std::uint32_t TickCount() = 0;
  virtual unsigned long ProcessId() = 0;

  virtual void ProgressInit(int total) = 0;
  virtual void ProgressStep() = 0;

  // Disk change: refuse AutoPlay from now on, eject a CD drive's medium.
  virtual void RegisterAutoPlayRefusal() = 0;
  virtual void EjectMedium(const std::string& path) = 0;
  // The disk prompt; true for OK.
  virtual bool AskOkCancel(const std::string& text, const std::string& title,
                           const std::string& buttons, int charset) = 0;
  // True once the user has closed the stub window: the setup is over, its
  // folder is being removed, so nothing more is written.
  virtual bool StopRequested() { return false; }
};

struct ExtractRequest {
  std::string packagePath;  // setup executable or first disk file "….001"
  // The first disk file already open and held by the caller (the web
  // installer's checked download): read through it, never reopened by
  // packagePath, so the file that was checked is the file extracted. Null:
  // packagePath is opened.
  const ByteSource* firstDisk = nullptr;
  std::string destFolder;
  std::string agentName;    // update agent to write, or empty
  std::string diskPrompt;   // "<DISK_NUM>" is replaced by the disk number
  std::string promptTitle;
  std::string buttons;
  int charset = 0;
  bool forcePrompt = false; // ask for every further disk even when present
  // An unattended run: no box waits for a person. A disk that is not there
  // ends the extraction like a cancelled prompt.
  bool hidden = false;
};

struct ExtractResult {
  bool checksumOk = false;  // false for a failed checksum or a missing first file
  std::string engineEntry;  // the engine member's name as stored; empty when cancelled
  bool cancelled = false;   // the user cancelled a disk prompt or closed the window
  bool packageFound = false;  // the first file exists and carries a valid package
  // A later disk without a valid trailer, or fewer or more member blocks
  // than the first disk's trailer announces: the package is incomplete and
  // engineEntry is empty.
  bool damaged = false;
  // Not empty when a corrupt member block stopped the extraction (members
  // already written stay): what was wrong with it. engineEntry is empty.
  std::string corruptMember;
  // Not empty when the folder could not be made, or a member or the update
  // agent could not be written in full (a full disk, for one): the error
  // text for the user. The extraction stopped there; engineEntry is empty.
  std::string writeFailure;
};

// How a setup goes on after its extraction.
enum class SetupEnd {
  kStartEngine,  // every member is there, the engine among them
  kCorruptMember,  // a member's compressed data is corrupt
  kWriteFailed,  // the folder, a member or the update agent could not be written in full
  kCancelled,    // the user cancelled (or, hidden, a disk file was missing)
  kBadChecksum,  // a package file failed its checksum, or the first is missing
  kDamaged,      // no package, an incomplete or damaged one, or no engine member
};
SetupEnd SetupEndFor(const ExtractResult& result);

// Runs the extraction. A corrupt member or a file that could not be written
// stops it at once (see ExtractResult::corruptMember, writeFailure); nothing
// is shown here but the disk prompt: the caller tells the user.
ExtractResult ExtractPackageWith(ExtractionHost& host, const ExtractRequest& request);

// The base path of a spanned package: the path without a final ".001".
std::string SpanBasePath(const std::string& packagePath);
// The path of disk `number` (2 and up): base + "." + three digits.
std::string SpanDiskPath(const std::string& basePath, int number);
// The disk prompt with every "<DISK_NUM>" (any case) replaced by the number.
std::string DiskPromptText(const std::string& prompt, int number);

#ifdef _WIN32
// The extraction on the real system: files, the stub window's progress
// (`progress`, may be null), message dispatching and the message boxes.
ExtractResult ExtractPackage(const ExtractRequest& request, ProgressCallbackFn progress);
#endif

// How many files could not be written by extractions in this process.
int SaveErrorCount();

}  // namespace varnel
