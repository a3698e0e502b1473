#include "package/web_installer.h"

#include <windows.h>

#include "dialogs/message_box.h"
#include "download/http_download.h"
#include "package/engine_launch.h"
#include "package/exit_code.h"
#include "package/language_strings.h"
#include "package/package_reader.h"
#include "package/setup_window.h"
#include "package/web_install_rules.h"
#include "utils/debug_stream.h"
#include "utils/file_helpers.h"
#include "utils/info_signature.h"
#include "utils/message_pump.h"
#include "utils/signature_check.h"
#include "utils/text_format.h"
#include "utils/text_rules.h"
#include "utils/wide_text_win32.h"
#include "utils/win_handles.h"

namespace varnel {
namespace {

// The mark of a cancel by the user; never shown.
constexpr const char* kCancelled = "!";
// The download goes into a new folder of this run inside the setup folder:
// never the shared temporary folder, where two runs would take each other's
// file, and never a folder that was there before the run. Member names have
// no folder part, so no member lands there.
constexpr const char* kDownloadFolder = "~web";
constexpr unsigned kDownloadFolderTries = 100;

// A folder made by this call (the system makes a folder only under a name
// that was free), "~web", "~web1", ...; empty when none could be made.
std::string NewDownloadFolder(const std::string& tempFolder) {
  for (unsigned n = 0; n < kDownloadFolderTries; ++n) {
    std::string name = kDownloadFolder;
    if (n > 0) name += DecimalText(n);
    const std::string folder = LocalSetupPath(tempFolder, name);
    if (CreateDirectoryW(Wide(folder).c_str(), nullptr)) return folder;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  return std::string();
}

// The setup file held open from its check to the end of its run: others may
// read it, but nobody can write, rename or delete it, so the file that is
// checked is the file that is extracted. The check reads through this
// handle.
class HeldFile : public ByteSource {
 public:
  explicit HeldFile(const std::string& path)
      : file_(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {
    LARGE_INTEGER size;
    if (file_ && GetFileSizeEx(file_.get(), &size)) size_ = static_cast<std::uint64_t>(size.QuadPart);
  }
  bool IsOpen() const { return static_cast<bool>(file_); }
  HANDLE Handle() const { return file_.get(); }
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, void* out, std::size_t count) const override {
    if (!file_ || offset > size_ || count > size_ - offset) return false;
    char* at = static_cast<char*>(out);
    while (count > 0) {
      OVERLAPPED where = {};
      where.Offset = static_cast<DWORD>(offset);
      where.OffsetHigh = static_cast<DWORD>(offset >> 32);
      const DWORD ask = count > (1u << 30) ? (1u << 30) : static_cast<DWORD>(count);
      DWORD got = 0;
      if (!ReadFile(file_.get(), at, ask, &got, &where) || got == 0) return false;
      at += got;
      offset += got;
      count -= got;
    }
    return true;
  }

 private:
  FileHandle file_;
  std::uint64_t size_ = 0;
};

bool IsFile(const std::string& path) {
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string PathText(const std::string& name) { return Utf8(Wide(name)); }

struct Outcome {
  std::string error;  // empty, kCancelled, or the text for the user
  int exitCode = kExitSuccess;
  void Fail(const std::string& text, int code) {
    error = text;
    exitCode = code;
  }
};

// Steps 4.1 to 4.6: the question, the connection check and the download of
// url into target.
void DownloadSetupFile(const WebInstallRun& run, const std::string& url, const std::string& target,
                       Outcome& outcome) {
  const TGFileInfo& reader = run.reader;
  SetStatusText(run.window.StatusLabel(), LangText(reader, "s10"), reader.GetFontName(), reader.GetCharset(),
                reader.GetFontSize());
  if (reader.AskBeforeDownload() && !run.hidden) {
    const std::string question = DownloadQuestion(LangText(reader, "s11"), reader.GetSetupFileSize());
    if (!MsgBoxConfirm(nullptr, question, LangText(reader, "Confirm"), LangText(reader, "BtnText"),
                       reader.GetCharset()))
      outcome.Fail(kCancelled, kExitCancelled);
  }
  std::string reason;
  const DWORD asked = GetTickCount();
  const bool connected = InternetConnected(reason);
  DebugLine("WebInstall: connection check %lu MS", static_cast<unsigned long>(GetTickCount() - asked));
  if (!connected) {
    std::string text = LangText(reader, "s12");
    if (!reason.empty()) {
      text += "<P><P>";
      text += reason;
    }
    outcome.Fail(text, kExitDownloadFailed);
  }
  if (!outcome.error.empty()) return;

  SetDownloadAbort(false);
  TProgBar& progress = DownloadProgressBar(run.window.ProgressSink());
  std::string error;
  std::string content;
  // The full setup has the size the download block names, when it names one.
  DownloadLimits limits;
  limits.expectedBytes = SetupFileBytes(reader.GetSetupFileSize());
  limits.resume = true;
  HTTP_DownloadFile_Incremental(run.hidden ? nullptr : run.window.Handle(), url, target, error, &progress,
                                content, limits);
  if (DownloadAbort()) {
    // The user closed the window: nothing further is shown.
    outcome.Fail(kCancelled, kExitCancelled);
    run.window.Show(false);
    return;
  }
  // A file that could not be written in full ends the run as any setup
  // file cut short does; the rest are transfer failures.
  if (!error.empty()) outcome.Fail(error, DownloadWriteFailed() ? kExitWriteFailed : kExitDownloadFailed);
  // The bar shows the download's end; the extraction sets it up anew at
  // once. No time is waited here: a shown window is kept up long enough by
  // the extraction (LetBeSeen), a hidden run has nobody to wait for.
  run.window.ProgressSink()(kProgressInit, 10, 10, std::string(), 1);
}

// A ".sig" sidecar holds one line; anything longer is not one.
constexpr std::int64_t kMaxSidecarBytes = 4096;

// The setup's ".sig" sidecar: beside a local setup, or downloaded from the
// setup's address + ".sig" next to the downloaded one (and removed again).
std::string SidecarText(const std::string& target, bool downloaded, const std::string& url) {
  const std::string sidecar = target + ".sig";
  if (downloaded) {
    std::string error, content;
    DownloadLimits limits;
    limits.capBytes = kMaxSidecarBytes;
    if (!HTTP_DownloadFile_Incremental(nullptr, url + ".sig", sidecar, error, nullptr, content, limits))
      return std::string();
  }
  std::string text = ReadFilePart(sidecar, kMaxSidecarBytes);
  if (downloaded) DeleteFileW(Wide(sidecar).c_str());
  return text;
}

// Built with a key, the web installer runs any full setup signed by it;
// built with its full setup's SHA-256, only that file. The file is read in
// one pass through `held`, which keeps it from changing until it has run.
// "" when the file passes (or the web installer asks for neither).
std::string SetupRefusal(const TGFileInfo& reader, HANDLE held, const std::string& target, bool downloaded,
                         const std::string& url) {
  PublicKey key;
  const KeyItemState keyState = ParseKeyItem(reader.GetUpdateKey(), key);
  const std::string hashItem = TrimText(reader.GetSetupHash());
  if (keyState == KeyItemState::absent && hashItem.empty()) return std::string();
  Sha256Digest digest{};
  std::int64_t size = 0;
  if (!held || !Sha256OfFile(held, digest.data(), size)) return "the file could not be read";
  if (keyState == KeyItemState::damaged) return "the web installer's key is damaged";
  if (keyState == KeyItemState::valid) {
    const SignedBuffer sidecar = SplitSignedBuffer(SidecarText(target, downloaded, url));
    if (!sidecar.isSigned || sidecar.signedBytes != 0) return "no signature (.sig) beside it";
    if (!VerifyP256(key.data(), digest.data(), sidecar.signature.data())) return "not signed by the publisher's key";
    return std::string();
  }
  Sha256Digest built{};
  if (!ParseHexBytes(hashItem, built.data(), built.size()) || built != digest)
    return "not the setup file built with this web installer";
  return std::string();
}

}  // namespace

void WebInstall(const WebInstallRun& run, const std::string& tempFolder, const std::string& baseUrl,
                const std::string& fileName) {
  const TGFileInfo& reader = run.reader;
  std::string url = baseUrl;
  url += '/';
  url += fileName;
  Outcome outcome;
  bool deleteAfter = false;
  std::string folder;
  // Paths are UTF-8; a package made by an older tool names the file in the
  // ANSI code page. The address keeps the name as the package has it.
  const std::string pathName = PathText(fileName);
  std::string target = LocalSetupPath(baseUrl, pathName);
  if (!IsFile(target)) {
    // The served name may carry folders; the file here takes its last part.
    const std::string name = ServedFileName(pathName);
    folder = name.empty() ? std::string() : NewDownloadFolder(tempFolder);
    if (name.empty()) outcome.Fail(RefusedNameText(fileName), kExitDownloadFailed);
    else if (folder.empty()) outcome.Fail(NoDownloadFolderText(tempFolder), kExitDownloadFailed);
    else {
      target = LocalSetupPath(folder, name);
      const DWORD started = GetTickCount();
      DownloadSetupFile(run, url, target, outcome);
      deleteAfter = outcome.error.empty();
      DebugLine("WebInstall: download %lu MS", static_cast<unsigned long>(GetTickCount() - started));
    }
  }
  DebugEvent("WebInstall: %s -> %s", url.c_str(), target.c_str());

  {
    const HeldFile held(target);
    if (outcome.error.empty()) {
      // The file must carry the web installer's own (non-empty) token.
      const DWORD started = GetTickCount();
      const TGFileInfo setup = TGFileInfo::Create(held);
      if (!held.IsOpen() || reader.GetDownloadToken(true).empty() || !setup.SameDownloadToken(reader))
        outcome.Fail(HTTP_404Message(target, std::string(), url, "Bad Secret Token!"), kExitWrongSetupFile);
      DebugLine("WebInstall: token check %lu MS", static_cast<unsigned long>(GetTickCount() - started));
    }
    if (outcome.error.empty()) {
      // Its SHA-256 or signature, read through the same held handle.
      const DWORD started = GetTickCount();
      const std::string refusal = SetupRefusal(reader, held.Handle(), target, deleteAfter, url);
      if (!refusal.empty()) {
        std::string text = target;
        text.append("<P><P>").append(refusal);
        outcome.Fail(text, kExitUnverifiedSetup);
      }
      DebugLine("WebInstall: file check %lu MS", static_cast<unsigned long>(GetTickCount() - started));
    }
    // Extracted through the same held handle: the file checked is the file
    // run.
    if (outcome.error.empty())
      ExtractAndLaunch(tempFolder, target, std::string(), run.argumentText, !run.hidden, &held);
  }
  if (deleteAfter) DeleteFileW(Wide(target).c_str());
  if (!folder.empty()) RemoveDirectoryW(Wide(folder).c_str());

  if (outcome.error.empty()) return;
  SetProcessExitCode(outcome.exitCode);
  if (outcome.error == kCancelled) return;
  DebugEvent("WebInstall failed: %s", outcome.error.c_str());
  // A hidden install has nobody to answer a box: the debug stream and the
  // exit code tell. The box shows the paths in its text in the system's
  // code page (a text from the package, in that code page, stays as it is).
  if (!run.hidden)
    MsgBoxError(nullptr, AnsiText(outcome.error), LangText(reader, "Error"), LangText(reader, "BtnText"), reader.GetCharset());
}

}  // namespace varnel
