#include "package/temp_folder.h"

#include <windows.h>

#include <random>

#include "dialogs/message_box.h"
#include "package/language_strings.h"
#include "package/package_reader.h"
#include "package/temp_space.h"
#include "utils/debug_stream.h"
#include "utils/file_helpers.h"
#include "utils/private_folder.h"
#include "utils/text_format.h"
#include "utils/text_rules.h"
#include "utils/wide_text_win32.h"
#include "utils/win_handles.h"

namespace varnel {
namespace {

struct TempFolderState {
  bool setupMade = false;
  std::string setupFolder;
  FileHandle setupLock;  // held until the process ends
  std::string altBase;
  bool altMade = false;
  std::string altFolder;
  FileHandle altHold;  // keeps the alternative folder from being renamed or removed
};
TempFolderState g_temp;

bool FolderExists(const std::string& path) {
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::string& path) {
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

void CreateFolderPath(const std::string& folder) {
  if (folder.empty() || FolderExists(folder)) return;
  const size_t slash = folder.find_last_of('\\');
  if (slash != std::string::npos && slash > 2) CreateFolderPath(folder.substr(0, slash));
  CreateDirectoryW(Wide(folder).c_str(), nullptr);
}

// Time-of-day half of the packed DOS time stamp of the file's last write.
WORD FileDosTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  FILETIME local{};
  WORD dosDate = 0, dosTime = 0;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToDosDateTime(&local, &dosDate, &dosTime);
  return dosTime;
}

int RandomFolderNumber() {
  static std::minstd_rand rng(GetTickCount() ^ (GetCurrentProcessId() << 16));
  return std::uniform_int_distribution<int>(10000, 100000)(rng);
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
  const std::wstring whole = Wide(s), start = Wide(prefix);
  return whole.size() >= start.size() &&
         CompareStringW(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, whole.c_str(),
                        static_cast<int>(start.size()), start.c_str(),
                        static_cast<int>(start.size())) == CSTR_EQUAL;
}

// How a candidate setup folder stands: free to take, or held by another
// running setup (its lock file is open there).
enum class LockResult { Taken, InUse, NoLock };

LockResult TakeFolderLock(const std::string& folder, FileHandle& lock) {
  std::string lockPath = folder;
  lockPath += ".lock";
  lock.reset(CreateFileW(Wide(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (lock) return LockResult::Taken;
  const DWORD err = GetLastError();
  return err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED ? LockResult::InUse
                                                                     : LockResult::NoLock;
}

}  // namespace

const std::string& GetSetupTempFolder() {
  if (g_temp.setupMade) return g_temp.setupFolder;
  const std::string exe = ExePath(false);
  std::string base = TempFolder(true);
  base += SetupFolderName(FileDosTime(exe));
  // Every candidate held by another running setup leaves none: emptying
  // one of theirs would pull the files from under a running engine.
  std::string chosen;
  for (int n = 0; n < 100; ++n) {
    const std::string candidate = SetupFolderCandidate(base, n);
    // A span copy runs from inside the folder its first start made: that
    // folder is its own even while the first start still holds the lock.
    const bool ownFolder = StartsWithNoCase(exe, JoinPath(candidate, ""));
    FileHandle lock;
    const LockResult r = TakeFolderLock(candidate, lock);
    if (r == LockResult::InUse && !ownFolder) {
      DebugEvent("Temp folder in use by another setup: %s", candidate.c_str());
      continue;
    }
    g_temp.setupLock = std::move(lock);
    chosen = candidate;
    break;
  }
  g_temp.setupMade = true;
  if (chosen.empty()) {
    DebugEvent("No free setup folder beside %s", base.c_str());
    return g_temp.setupFolder;
  }
  if (FolderExists(chosen)) DeleteFolderTree(chosen, true);
  CreateFolderPath(chosen);
  g_temp.setupFolder = std::move(chosen);
  return g_temp.setupFolder;
}

bool ChooseTempDrive() {
  if (!g_temp.altBase.empty()) return true;
  std::array<double, 3> freeCDE{};
  for (int i = 0; i < 3; ++i) {
    char root[] = "C:\\";
    root[0] = static_cast<char>('C' + i);
    if (GetDriveTypeW(Wide(root).c_str()) != DRIVE_FIXED) continue;
    std::string probe = root;
    probe += "TEMP";
    // Never touch an existing TEMP folder: probe in a fresh sub-folder.
    if (FolderExists(probe)) {
      probe += "\\TEMP";
      AppendDecimal(probe, static_cast<unsigned>(RandomFolderNumber()));
    }
    CreateFolderPath(probe);
    const std::string file = JoinPath(probe, "~aa.tmp");
    WriteFileText(file, "aa");
    if (FileExists(file)) freeCDE[i] = DiskFreeBytes(probe);
    DeleteFolderTree(probe, false);
    DebugEvent("Temp drive %c: free %.0f", 'C' + i, freeCDE[i]);
  }
  const std::string temp = TempFolder(true);
  const char best = ChooseTempDriveLetter(temp.empty() ? 0 : temp[0], freeCDE);
  if (best != 0) {
    char base[] = "C:\\TEMP";
    base[0] = best;
    g_temp.altBase = base;
    if (FolderExists(g_temp.altBase)) g_temp.altBase += "\\TEMP";
  }
  return !g_temp.altBase.empty();
}

const std::string& GetAltTempFolder() {
  if (g_temp.altMade || g_temp.altBase.empty()) return g_temp.altFolder;
  g_temp.altMade = true;
  // The base lies in a drive root that other users can write: a folder
  // found there may have been made by someone else, with their files in
  // it. Only a folder this process creates itself, readable by this user
  // alone, is used; a name that exists is passed over.
  for (int tries = 0; tries < 100; ++tries) {
    std::string folder = g_temp.altBase;
    folder += '_';
    AppendDecimal(folder, static_cast<unsigned>(RandomFolderNumber()));
    if (CreateFreshPrivateFolder(folder, g_temp.altHold)) {
      g_temp.altFolder = folder;
      break;
    }
  }
  return g_temp.altFolder;
}

void RemoveAltTempFolder() {
  g_temp.altHold.reset();
  if (!g_temp.altFolder.empty() && FolderExists(g_temp.altFolder))
    DeleteFolderTree(g_temp.altFolder, false);
}

void ForgetSetupTempFolders() {
  RemoveAltTempFolder();
  TempFolderState& t = g_temp;
  t.setupLock.reset();
  t.setupMade = false;
  t.setupFolder.clear();
  t.altBase.clear();
  t.altMade = false;
  t.altFolder.clear();
}

bool HasTempSpace(const std::string& folder, const std::string& packagePath) {
  return HasTempSpace(folder, TGFileInfo::Create(packagePath));
}

bool HasTempSpace(const std::string& folder, const TGFileInfo& reader) {
  const double needed = reader.GetSpaceNeeded(folder);
  const double freeBytes = DiskFreeBytes(folder);
  DebugEvent("Temp space: needed %.0f, free %.0f in %s", needed,
            freeBytes, folder.c_str());
  return needed < freeBytes && FolderExists(folder);
}

bool ConfirmTempSpace(const std::string& folder, const std::string& packagePath,
                      const TGFileInfo& reader) {
  return ConfirmTempSpaceWith(folder, reader.GetSpaceNeeded(folder), DiskFreeBytes(folder),
                              reader.ShowTempNotice(),
                              [&](const char* key) { return LangText(reader, key); },
                              reader.GetCharset());
}

bool ConfirmTempSpaceWith(const std::string& folder, double needed, double freeBytes,
                          bool showNotice, const std::function<std::string(const char*)>& lang,
                          int charset) {
  auto text = [&](const char* key) { return lang ? lang(key) : std::string(LangDefault(key)); };
  // The folder goes into a box text in the system's code page.
  const std::string question = TempSpaceQuestion(AnsiText(folder), needed, freeBytes, showNotice, text);
  if (question.empty()) return true;
  return MsgBoxConfirm(kMsgOwnerWithHeading, question, text("Confirm"), text("BtnText"), charset, 0);
}

}  // namespace varnel
