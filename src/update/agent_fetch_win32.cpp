// DownloadFileAU: the agent's .info, UPDATE and INFORM files from the
// update folder (HTTP, a local folder or a share) into the agent folder.
#include "dialogs/message_box.h"
#include "download/http_download.h"
#include "package/engine_launch.h"
#include "package/package_reader.h"
#include "package/setup_window.h"
#include "update/test_mode.h"
#include "update/update_agent.h"
#include "update/update_decision.h"
#include "utils/agent_log.h"
#include "utils/debug_stream.h"
#include "utils/file_helpers.h"
#include "utils/info_signature.h"
#include "utils/ini_registry.h"
#include "utils/message_pump.h"
#include "utils/signature_check.h"
#include "utils/text_rules.h"
#include "utils/wide_text_win32.h"
#include "utils/win_handles.h"

namespace varnel {
namespace {

constexpr DWORD kCopyChunk = 64 * 1024;
constexpr int kImitationSteps = 10;
constexpr std::uint32_t kImitationStepMs = 300;
constexpr const char* kBadToken = "Bad Secret Token!";
// Suffix of the name under which a file is fetched before it is proved.
constexpr const char* kFetchSuffix = ".fetching";

bool IsFile(const std::string& path) { return ExistingFileLength(path) >= 0; }

// Copies a file chunk by chunk (a setup may be larger than a 32-bit
// process can hold in memory), dispatching messages between chunks. `to` is
// created anew; false, with `to` removed, on any failure, when nothing was
// copied, or when the transfer is aborted or the agent is ending.
bool CopyInChunks(const std::string& from, const std::string& to) {
  bool ok = false;
  DeleteFileW(Wide(to).c_str());
  {
    FileHandle in(CreateFileW(Wide(from).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in) return false;
    FileHandle out(CreateFileW(Wide(to).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return false;
    std::string buffer(kCopyChunk, '\0');
    std::int64_t total = 0;
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(in.get(), &buffer[0], kCopyChunk, &got, nullptr)) break;
      if (got == 0) {
        ok = total > 0;
        break;
      }
      DWORD written = 0;
      if (!WriteFile(out.get(), buffer.data(), got, &written, nullptr) || written != got) break;
      total += got;
      if (!YieldX(0) || DownloadAbort()) break;
    }
  }
  if (!ok) DeleteFileW(Wide(to).c_str());
  return ok;
}

// Seconds since 1970-01-01 00:00 UTC.
std::uint64_t UtcSeconds() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks = static_cast<std::uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
  constexpr std::uint64_t kTicksTo1970 = 116444736000000000ull;
  return ticks < kTicksTo1970 ? 0 : (ticks - kTicksTo1970) / 10000000u;
}

// The package's key; its state says whether there is one to verify with.
KeyItemState PackageKey(PublicKey& key) { return ParseKeyItem(ProcessReader().GetUpdateKey(), key); }

// Why a fetched .info is not signed by the package's key; "" when it is (or
// the package has no key).
std::string InfoSignatureRefusal(const std::string& content) {
  PublicKey key;
  const KeyItemState state = PackageKey(key);
  if (state == KeyItemState::absent) return std::string();
  if (state == KeyItemState::damaged) return "damaged key in the package";
  const SignedBuffer split = SplitSignedBuffer(content);
  if (!split.isSigned) return "no signature";
  if (!VerifyP256Bytes(key.data(), content.data(), split.signedBytes, split.signature.data()))
    return "wrong signature";
  return std::string();
}

// Puts `text` at `path` through a temporary file beside it and a rename,
// so that a reader sees the old file or the new one, never half a file.
// With a key, the .info's expiry is read from the temporary file (by the
// same INI functions that read it later) and an expired one goes no
// further: `refusal` says why.
bool ReplaceWithText(const std::string& path, const std::string& text, std::string& refusal) {
  const std::string temporary = path + kFetchSuffix;
  if (!WriteFileText(temporary, text)) {
    DeleteFileW(Wide(temporary).c_str());
    return false;
  }
  if (AgentVerifiesUpdates()) refusal = ExpiryRefusal(ReadIniString(temporary, "General", "ExpiresUTC", ""), UtcSeconds());
  if (!refusal.empty() ||
      !MoveFileExW(Wide(temporary).c_str(), Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(Wide(temporary).c_str());
    return false;
  }
  return true;
}

void LogError(const std::string& text) { AgentLog("ERROR: ", text); }

// The error text of a fetched file that could not take its place.
std::string UnableToWrite(const std::string& target) { return "Unable to write " + target; }

// The .info text of a file; "" with an error text when the file is larger
// than any real .info.
std::string ReadInfoText(const std::string& path, std::string& errorText) {
  std::string text = ReadFilePart(path, kMaxInfoFileBytes + 1);
  if (static_cast<std::int64_t>(text.size()) <= kMaxInfoFileBytes) return text;
  errorText = path + " --- File too large";
  return std::string();
}

// The file carries the same secret token as the agent's own package.
bool TokenProof(int kind, const std::string& file) {
  if (!IsFile(file)) return false;
  const std::string own = ProcessReader().GetUpdateToken(false);
  if (kind == kFetchUpdate) return TokensMatch(own, TGFileInfo::Create(file).GetUpdateToken(false));
  std::string text;
  return ReadInformFile(file, text) && TokensMatch(own, InformFileRawToken(text));
}

// A copy from a folder gives no progress of its own: the bar moves through
// ten steps while the user watches.
void ImitateProgress(ProgressCallbackFn progress) {
  if (!progress) return;
  const std::string noText;
  progress(kProgressInit, 0, kImitationSteps, noText, 1);
  for (int i = 0; i < kImitationSteps; ++i) {
    progress(kProgressStep, 0, 0, noText, 1);
    WaitPumping(kImitationStepMs);
  }
  progress(kProgressInit, 0, 0, noText, 0);
}

}  // namespace

bool ReadInformFile(const std::string& path, std::string& text) {
  text = ReadFilePart(path, kMaxInformFileBytes + 1);
  if (static_cast<std::int64_t>(text.size()) <= kMaxInformFileBytes) return true;
  text.clear();
  return false;
}

bool ProveAgentFile(int kind, const std::string& path) { return TokenProof(kind, path); }

bool AgentVerifiesUpdates() {
  PublicKey key;
  return PackageKey(key) != KeyItemState::absent;
}

bool SignedFileMatches(int kind, HANDLE file, const std::string& path) {
  if (!AgentVerifiesUpdates()) return true;
  const AgentSettings& settings = UpdateAgentSettings();
  const bool update = kind == kFetchUpdate;
  Sha256Digest digest{};
  std::int64_t size = -1;
  std::string reason;
  if (!Sha256OfFile(file, digest.data(), size)) {
    reason = "unable to read it";
  } else {
    reason = SignedFileRefusal(update ? settings.SignedSizeOfUpdateFile() : settings.SignedSizeOfInformFile(),
                               update ? settings.SHA256OfUpdateFile() : settings.SHA256OfInformFile(), size,
                               digest.data());
  }
  if (reason.empty()) return true;
  std::string line = "ERROR: refused (";
  line.append(reason).append("): ").append(path);
  AgentLog(line);
  return false;
}

bool DownloadFileAU(const std::string& folderGiven, const std::string& fileName, int kind, std::string& errorText) {
  AgentSettings& settings = UpdateAgentSettings();
  SetupWindow& window = CurrentSetupWindow();
  bool result = false;
  std::string content;
  errorText.clear();

  const bool testMode = TestModeOn();
  const std::string& folder = testMode ? TestFolder() : folderGiven;
  // A setup or notice lives under one checked name; the .info under its own.
  const std::string name = kind == kFetchInfo ? LastPathElement(fileName) : AgentFetchName(fileName);
  std::string path = JoinPath(folder, name);
  DebugLine("%lu DownloadFileAU: %s", GetCurrentProcessId(), path.c_str());
  AgentLog("TestMode=", TrueFalse(testMode));
  AgentLog("Download START: ", path);
  if (name.empty()) {
    errorText = "Refused file name: " + fileName;
    LogError(errorText);
    return false;
  }

  // Read once: it decides the progress window and the attention box.
  const bool confirmDownload = kind != kFetchInfo && settings.RequestConfirmationBeforeDownload();
  const bool show = kind == kFetchUpdate && confirmDownload && CycleModeValue() != kCycleUserCheck;
  if (show) window.Show(true);
  SetStatusText(window.StatusLabel(), settings.AutoUpdateText(FetchCaptionKey(kind)), settings.FontName(),
                settings.CharSet(), settings.FontSize());

  // Files arrive under a temporary name: an UPDATE or INFORM file takes its
  // real name only once its token is proved, a .info only when it is good.
  // The setup and the notice text go into the agent's private download
  // folder, never among the files of the agent or the product.
  const std::string& into = kind == kFetchInfo ? AgentFilePaths().folder : AgentDownloadFolder();
  if (into.empty()) {
    errorText = "No download folder";
    LogError(errorText);
    if (show) window.Show(false);
    return false;
  }
  const std::string target = into + name;
  const std::string arriving = target + kFetchSuffix;
  const bool fileSystemAllowed = testMode || FileSystemFolderAllowed(ProcessReader().GetUpdateUrl());
  std::string connectionError;
  const std::string none;  // a part HTTP_404Message is not given

  if (fileSystemAllowed && IsFile(path)) {
    if (kind == kFetchInfo) {
      content = ReadInfoText(path, errorText);
    } else if (kind == kFetchInform && ExistingFileLength(path) > kMaxInformFileBytes) {
      errorText = path + " --- File too large";
    } else if (!CopyInChunks(path, arriving)) {
      errorText = path + " --- Unable to copy the file";
    }
    if (show) ImitateProgress(window.ProgressSink());
  } else if (!testMode && InternetConnected(connectionError)) {
    path = JoinPath(folder, name, '/');
    SetDownloadAbort(false);
    HWND owner = CycleModeValue() == kCycleUserCheck ? window.Handle() : nullptr;
    // A .info comes through a file too. The small files are capped; the
    // setup must have the size the .info announces, when it announces one.
    // A setup that breaks off continues; its partial file stays for the
    // next check when it can't be finished now.
    // A signed size is exact; an unsigned SizeOfUpdateFile keeps the
    // decision's tolerance (the file may be up to 99 bytes larger or
    // smaller), so it only bounds the body from above.
    DownloadLimits limits;
    limits.resume = kind == kFetchUpdate;
    const std::int64_t announced = settings.SizeOfUpdateFile();
    if (kind != kFetchUpdate) limits.capBytes = kSmallFileCapBytes;
    else if (announced > 0 && AgentVerifiesUpdates()) limits.expectedBytes = static_cast<std::uint64_t>(announced);
    else if (announced > 0) limits.capBytes = static_cast<std::uint64_t>(announced) + kSizeToleranceBytes - 1;
    HTTP_DownloadFile_Incremental(owner, path, arriving, errorText, &DownloadProgressBar(window.ProgressSink()),
                                  content, limits);
    if (kind == kFetchInfo) {
      if (errorText.empty()) content = ReadInfoText(arriving, errorText);
      DeleteFileW(Wide(arriving).c_str());
    }
    // A shown window (the fetch's own, or the owner a download showed)
    // stays up long enough to be seen; a hidden fetch waits for nobody.
    window.LetBeSeen();
  }

  if (show) window.Show(false);
  AgentLog("Download END:   ", path);

  if (kind == kFetchInfo) {
    if (errorText.empty() && !content.empty()) errorText = HTTP_404Message(none, content, path, none);
    result = errorText.empty() && !content.empty();
    // Only a good .info replaces the last good one; with a key, only one
    // signed by it that has not expired. A refused one is a failed fetch.
    std::string refusal;
    if (result) refusal = InfoSignatureRefusal(content);
    if (result && refusal.empty() && !ReplaceWithText(target, content, refusal) && refusal.empty()) {
      result = false;
      errorText = UnableToWrite(target);
    }
    if (!refusal.empty()) {
      result = false;
      errorText = ".INFO refused (";
      errorText.append(refusal).append("): ").append(path);
      LogError(errorText);
    }
    return result;
  }

  if (errorText.empty()) {
    result = TokenProof(kind, arriving);
    if (!result) {
      const std::string message = HTTP_404Message(arriving, none, path, kBadToken);
      DeleteFileW(Wide(arriving).c_str());
      LogError(message);
      AgentMsgBox(kAgentBoxError, kMsgOwnerWithHeading, message);
    } else if (!MoveFileExW(Wide(arriving).c_str(), Wide(target).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      result = false;
      errorText = UnableToWrite(target);
      DeleteFileW(Wide(arriving).c_str());
      LogError(errorText);
    }
  } else {
    DeleteFileW(Wide(arriving).c_str());
    if (path.size() > 2 && confirmDownload) {
      const std::string message = FetchAttentionText(path, DownloadAbort(), settings);
      AgentLog("ATTENTION: ", message);
      AgentMsgBox(kAgentBoxAttention, kMsgOwnerWithHeading, message);
    }
  }
  return result;
}

}  // namespace varnel
