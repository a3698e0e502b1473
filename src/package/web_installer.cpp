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

namespace varnel {
namespace {

// The mark of a cancel by the user; never shown.
constexpr const char* kCancelled = "!";
// The folder of this run, inside the setup folder, that a download goes to:
// never the shared temporary folder, where two runs would take each other's
// file. Member names have no folder part, so no member lands here.
constexpr const char* kDownloadFolder = "~web";

bool IsFile(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

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
  if (!InternetConnected(reason)) {
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
  HTTP_DownloadFile_Incremental(run.hidden ? nullptr : run.window.Handle(), url, target, error, &progress,
                                content);
  if (DownloadAbort()) {
    // The user closed the window: nothing further is shown.
    outcome.Fail(kCancelled, kExitCancelled);
    run.window.Show(false);
    return;
  }
  if (!error.empty()) outcome.Fail(error, kExitDownloadFailed);
  // The bar shows the download's end; the extraction sets it up anew at
  // once. No time is waited here: a shown window is kept up long enough by
  // the extraction (LetBeSeen), a hidden run has nobody to wait for.
  run.window.ProgressSink()(kProgressInit, 10, 10, std::string(), 1);
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
  std::string target = LocalSetupPath(baseUrl, fileName);
  if (!IsFile(target)) {
    const std::string folder = LocalSetupPath(tempFolder, kDownloadFolder);
    CreateDirectoryA(folder.c_str(), nullptr);
    target = LocalSetupPath(folder, fileName);
    const DWORD started = GetTickCount();
    DownloadSetupFile(run, url, target, outcome);
    deleteAfter = outcome.error.empty();
    DebugLine("WebInstall: download %lu MS", static_cast<unsigned long>(GetTickCount() - started));
  }
  DebugEvent("WebInstall: %s -> %s", url.c_str(), target.c_str());

  if (outcome.error.empty()) {
    // The file must carry the web installer's own (non-empty) token.
    const DWORD started = GetTickCount();
    const TGFileInfo setup = TGFileInfo::Create(target);
    if (reader.GetDownloadToken(true).empty() || !setup.SameDownloadToken(reader))
      outcome.Fail(HTTP_404Message(target, std::string(), url, "Bad Secret Token!"), kExitWrongSetupFile);
    DebugLine("WebInstall: token check %lu MS", static_cast<unsigned long>(GetTickCount() - started));
  }
  if (outcome.error.empty()) ExtractAndLaunch(tempFolder, target, std::string(), run.argumentText, !run.hidden);
  if (deleteAfter) DeleteFileA(target.c_str());

  if (outcome.error.empty()) return;
  SetProcessExitCode(outcome.exitCode);
  if (outcome.error == kCancelled) return;
  DebugEvent("WebInstall failed: %s", outcome.error.c_str());
  // A hidden install has nobody to answer a box: the debug stream and the
  // exit code tell.
  if (!run.hidden)
    MsgBoxError(nullptr, outcome.error, LangText(reader, "Error"), LangText(reader, "BtnText"), reader.GetCharset());
}

}  // namespace varnel
