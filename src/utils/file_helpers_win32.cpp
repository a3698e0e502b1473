#include <windows.h>
#include <sddl.h>
#include <shellapi.h>
#include <winioctl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "utils/debug_stream.h"
#include "utils/file_helpers.h"
#include "utils/message_pump.h"
#include "utils/private_folder.h"
#include "utils/self_delete_script.h"
#include "utils/wide_text_win32.h"
#include "utils/system_helpers.h"
#include "utils/win_handles.h"
#include "utils/text_rules.h"
#include "utils/wide_text_win32.h"

namespace varnel {
namespace {

constexpr std::size_t kMaxChunk = 1048576;
constexpr std::size_t kMinChunk = 1024;

struct FileHelperState {
  bool searchStop = false;
  int extendedFreeSpace = -1;  // -1 unknown, 0 absent, 1 offered
};

FileHelperState& FileState() {
  static FileHelperState state;
  return state;
}

bool FileExists(const std::string& path) {
  DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// A junction or symbolic link (to a folder or a file).
bool IsReparsePoint(const std::string& path) {
  DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

void SetDate(HANDLE file, FileDate date) {
  if (date == 0) return;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(date);
  ft.dwHighDateTime = static_cast<DWORD>(date >> 32);
  SetFileTime(file, &ft, &ft, &ft);
}

bool IsDots(const wchar_t* name) { return !lstrcmpW(name, L".") || !lstrcmpW(name, L".."); }

std::string DriveRoot(const std::string& path) {
  if (path.empty()) return std::string();
  char root[] = "C:\\";
  root[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
  return root;
}

// Depth first: each folder is tested before its sub-folders.
template <typename Test>
std::string SearchTree(const std::string& folder, const Test& test) {
  if (FileState().searchStop) return std::string();
  std::string hit = test(folder);
  if (!hit.empty()) return hit;
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW(Wide(JoinPath(folder, "*")).c_str(), &data));
  if (!find) return std::string();
  do {
    YieldX(0);
    if (FileState().searchStop) return std::string();
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsDots(data.cFileName)) continue;
    hit = SearchTree(JoinPath(folder, Utf8(data.cFileName)), test);
    if (!hit.empty()) return hit;
  } while (FindNextFileW(find.get(), &data));
  return std::string();
}

template <typename Test>
std::string SearchDrives(unsigned driveType, const Test& test) {
  FileState().searchStop = false;
  std::string hit;
  for (char letter = 'C'; letter <= 'Z' && hit.empty() && !FileState().searchStop; ++letter) {
    char root[] = "C:\\";
    root[0] = letter;
    if (GetDriveTypeW(Wide(root).c_str()) != driveType) continue;
    root[2] = '\0';
    hit = SearchTree(root, test);
  }
  FileState().searchStop = false;
  return hit;
}

std::string ShortPath(const std::string& path) {
  wchar_t buffer[MAX_PATH + 1];
  DWORD n = GetShortPathNameW(Wide(path).c_str(), buffer, MAX_PATH + 1);
  return (n > 0 && n < MAX_PATH + 1) ? Utf8(buffer, n) : path;
}

}  // namespace

std::string ReadFilePart(const std::string& path, std::int64_t maxLength, bool trim, std::int64_t start) {
  if (!FileExists(path)) return std::string();
  FileHandle file(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::string();
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || start < 0 || start >= size.QuadPart) return std::string();
  std::int64_t count = size.QuadPart - start;
  if (maxLength > 0 && count > maxLength) count = maxLength;
  // A string is the result: a range beyond what one read can take fails.
  if (count <= 0 || count > 0x7FFFFFF0) return std::string();
  LARGE_INTEGER offset;
  offset.QuadPart = start;
  if (!SetFilePointerEx(file.get(), offset, nullptr, FILE_BEGIN)) return std::string();
  // The stub has no exceptions and ends when an allocation fails: a range
  // that memory cannot hold is refused before the string is made.
  void* probe = std::malloc(static_cast<std::size_t>(count));
  if (!probe) return std::string();
  std::free(probe);
  std::string bytes;
  bytes.resize(static_cast<std::size_t>(count));
  DWORD got = 0;
  if (!ReadFile(file.get(), &bytes[0], static_cast<DWORD>(count), &got, nullptr) || got != count)
    return std::string();
  return trim ? TrimText(bytes) : bytes;
}

namespace {

bool WriteFileWith(const std::string& path, const std::string& text, FileDate date, bool append,
                   const WriteProgress* progress) {
  FileHandle file(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  if (append) SetFilePointer(file.get(), 0, nullptr, FILE_END);
  std::size_t written = 0;
  if (progress || text.size() > kMaxChunk) {
    std::size_t chunk = std::max(kMinChunk, std::min(kMaxChunk, text.size() / 10));
    const auto total = static_cast<std::int64_t>(text.size());
    bool stop = false;
    if (progress) (*progress)(total, 0, stop);
    while (written < text.size() && !stop) {
      const std::size_t want = std::min(chunk, text.size() - written);
      if (!WriteWhole(file.get(), text.data() + written, want)) break;
      written += want;
      if (progress) (*progress)(total, static_cast<std::int64_t>(written), stop);
    }
  } else if (WriteWhole(file.get(), text.data(), text.size())) {
    written = text.size();
  }
  bool all = written == text.size();
  if (all) SetDate(file.get(), date);
  return all;
}

}  // namespace

bool WriteFileText(const std::string& path, const std::string& text, FileDate date, bool append) {
  return WriteFileWith(path, text, date, append, nullptr);
}

bool WriteFileText(const std::string& path, const std::string& text, FileDate date, bool append,
                   const WriteProgress& progress) {
  return WriteFileWith(path, text, date, append, &progress);
}

bool AppendFileText(const std::string& path, const std::string& text, bool addLineEnd, FileDate date) {
  std::string line = addLineEnd ? text + "\r\n" : text;
  FileHandle file(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  SetFilePointer(file.get(), 0, nullptr, FILE_END);
  bool all = WriteWhole(file.get(), line.data(), line.size());
  SetDate(file.get(), date);
  return all;
}

double DiskFreeBytes(const std::string& path) {
  using FreeSpaceExFn = BOOL(WINAPI*)(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  static FreeSpaceExFn freeSpaceEx = nullptr;
  FileHelperState& s = FileState();
  if (s.extendedFreeSpace < 0) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    freeSpaceEx = kernel ? reinterpret_cast<FreeSpaceExFn>(
                               reinterpret_cast<void*>(GetProcAddress(kernel, "GetDiskFreeSpaceExW")))
                         : nullptr;
    s.extendedFreeSpace = freeSpaceEx ? 1 : 0;
  }
  if (path.empty()) return 0;
  if (freeSpaceEx) {
    // The volume that holds the path: asked on the path as a folder, else
    // on the nearest folder above it that is there. A volume mounted in a
    // folder answers for itself that way, not the drive root's.
    ULARGE_INTEGER available, total, free;
    std::string query = SetTrailingBackslash(path, true);
    for (int depth = 0; !query.empty() && depth < 256; ++depth) {
      if (freeSpaceEx(Wide(query).c_str(), &available, &total, &free)) return static_cast<double>(available.QuadPart);
      query = ParentFolderForQuery(query);
    }
    if (freeSpaceEx(Wide(DriveRoot(path)).c_str(), &available, &total, &free))
      return static_cast<double>(available.QuadPart);
    return 0;
  }
  DWORD sectorsPerCluster, bytesPerSector, freeClusters, clusters;
  if (!GetDiskFreeSpaceW(Wide(DriveRoot(path)).c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
    return 0;
  return static_cast<double>(sectorsPerCluster) * bytesPerSector * freeClusters;
}

std::string FindFileOnDrives(const std::string& fileName, unsigned driveType) {
  return SearchDrives(driveType, [&](const std::string& folder) {
    std::string candidate = JoinPath(folder, fileName);
    return FileExists(candidate) ? candidate : std::string();
  });
}

std::string FindFolderOnDrives(const std::string& folder, unsigned driveType) {
  bool absolute = folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':' &&
                  folder[2] == '\\';
  if (absolute) {
    FileState().searchStop = false;
    return (GetDriveTypeW(Wide(DriveRoot(folder)).c_str()) == driveType && FolderExists(folder)) ? folder
                                                                                             : std::string();
  }
  std::string tail = "\\";
  tail += folder;
  return SearchDrives(driveType, [&](const std::string& candidate) {
    return EndsWithAsciiNoCase(candidate, tail.c_str()) ? candidate : std::string();
  });
}

void StopDriveSearch() { FileState().searchStop = true; }

bool DeleteFilesByMask(const std::string& mask, bool clearAttributes) {
  std::size_t slash = mask.find_last_of('\\');
  std::string folder = slash == std::string::npos ? std::string() : mask.substr(0, slash + 1);
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW(Wide(mask).c_str(), &data));
  if (!find) return false;
  bool attempted = false;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::string path = folder + Utf8(data.cFileName);
    if (clearAttributes) SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(Wide(path).c_str());
    attempted = true;
  } while (FindNextFileW(find.get(), &data));
  return attempted;
}

namespace {

bool DeleteTree(const std::string& folderIn, bool clearAttributes, const DeleteProgress* progress) {
  std::string folder = SetTrailingBackslash(folderIn, false);
  bool existed = FolderExists(folder);
  if (!existed) return false;
  if (IsReparsePoint(folder)) {
    RemoveDirectoryW(Wide(folder).c_str());
    return !FolderExists(folder);
  }
  DeleteFilesByMask(JoinPath(folder, "*.*"), clearAttributes);
  std::vector<std::string> subfolders;
  {
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileW(Wide(JoinPath(folder, "*")).c_str(), &data));
    if (find) {
      do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsDots(data.cFileName))
          subfolders.push_back(JoinPath(folder, Utf8(data.cFileName)));
      } while (FindNextFileW(find.get(), &data));
    }
  }
  bool stop = false;
  for (const std::string& sub : subfolders) {
    // A junction or symbolic link is removed as the link itself: descending
    // into it would delete whatever it points at.
    if (!IsReparsePoint(sub)) DeleteTree(sub, clearAttributes, progress);
    if (progress) (*progress)(sub, stop);
    if (clearAttributes) SetFileAttributesW(Wide(sub).c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(Wide(sub).c_str());
    WaitPumping(10);
    if (stop) break;
  }
  if (clearAttributes) SetFileAttributesW(Wide(folder).c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(Wide(folder).c_str());
  return !FolderExists(folder);
}

}  // namespace

bool DeleteFolderTree(const std::string& folder, bool clearAttributes) {
  return DeleteTree(folder, clearAttributes, nullptr);
}

bool DeleteFolderTree(const std::string& folder, bool clearAttributes, const DeleteProgress& progress) {
  return DeleteTree(folder, clearAttributes, &progress);
}

bool CreateFreshPrivateFolder(const std::string& path, FileHandle& hold) {
  hold.reset();
  // The current user's SID, for an access list of one entry.
  HANDLE rawToken = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return false;
  KernelHandle token(rawToken);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return false;
  std::vector<char> user(size);
  if (!GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) return false;
  char* sidText = nullptr;
  if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sidText)) return false;
  // Protected (nothing inherited from the drive root), full control for
  // this user, passed on to files and sub-folders.
  std::string sddl = "D:P(A;OICI;FA;;;";
  sddl += sidText;
  sddl += ')';
  LocalFree(sidText);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  // CreateDirectory fails for a name that exists: the folder is ours only
  // when this call made it.
  const BOOL made = CreateDirectoryW(Wide(path).c_str(), &attributes);
  LocalFree(descriptor);
  if (!made) return false;
  hold.reset(CreateFileW(Wide(path).c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return true;
}

bool EjectCD(const std::string& pathOnDrive) {
  if (pathOnDrive.empty()) return false;
  char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(pathOnDrive[0])));
  if (letter < 'A' || letter > 'Z') return false;
  char device[] = "\\\\.\\C:\\";  // the volume "\\.\C:"; with the backslash, its root
  device[4] = letter;
  if (GetDriveTypeW(Wide(device + 4).c_str()) != DRIVE_CDROM) return false;
  device[6] = '\0';
  FileHandle handle(CreateFileW(Wide(device).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
  DebugLine("EjectCD-2: %s %p", device, handle.get());
  if (!handle) {
    handle.reset(CreateFileW(Wide(device).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr));
    DebugLine("EjectCD-3: %s %p", device, handle.get());
  }
  if (!handle) return false;
  DWORD returned = 0;
  return DeviceIoControl(handle.get(), IOCTL_STORAGE_EJECT_MEDIA, nullptr, 0, nullptr, 0, &returned, nullptr) != 0;
}

void DeleteMySelf(bool removeFolder, bool shortNames) {
  // One batch file per process: two copies deleting themselves at the same
  // time must not overwrite each other's script.
  std::string batch = TempFolder(true);
  batch += SelfDeleteBatchName(GetCurrentProcessId());
  std::string quote = "\"";
  std::string exe = ExePath(false);
  std::string folder = ExeFolder(false);
  DebugLine("[ExeName]  [%s]", exe.c_str());
  if (shortNames) {
    // The batch file must exist for its short name to be known.
    WriteFileText(batch, "ABC\r\n");
    quote.clear();
    batch = ShortPath(batch);
    exe = ShortPath(exe);
    folder = ShortPath(folder);
    DeleteFileW(Wide(batch).c_str());
  }
  // Paths beyond ASCII reach the script through the environment, which the
  // script's interpreter inherits (see BuildSelfDeleteScript).
  SetEnvironmentVariableW(Wide(kSelfDeleteExeVariable).c_str(), Wide(exe).c_str());
  SetEnvironmentVariableW(Wide(kSelfDeleteFolderVariable).c_str(), Wide(folder).c_str());
  std::string script = BuildSelfDeleteScript(exe, folder, batch, removeFolder, quote);
  // The folder to be removed must not be this process's current folder.
  SetCurrentDirectoryW(Wide(TempFolder(false)).c_str());
  // A script cut short (a full disk) could run half a command line: only a
  // whole one is started.
  if (!WriteFileText(batch, script)) {
    DebugLine("[DeleteMySelf] script not written: %s", batch.c_str());
    DeleteFileW(Wide(batch).c_str());
    return;
  }
  ShellExecuteW(nullptr, nullptr, Wide(batch).c_str(), nullptr, nullptr, SW_HIDE);
}

std::string SetTrailingBackslash(const std::string& path, bool add) {
  std::string p = path;
  // UTF-8: a "\" byte is always the character itself, never part of another.
  if (p.size() > 2 && p.back() == '\\') p.pop_back();
  if (add) p += '\\';
  return p;
}

std::string ExePath(bool stripExtension) {
  wchar_t buffer[MAX_PATH * 2];
  DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH * 2);
  if (n == 0 || n >= MAX_PATH * 2) return std::string();
  std::string path = Utf8(buffer, n);
  if (stripExtension) {
    std::size_t dot = path.find_last_of('.');
    std::size_t slash = path.find_last_of('\\');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) path.erase(dot);
  }
  return path;
}

std::string ExeFolder(bool addBackslash) {
  std::string exe = ExePath(false);
  std::size_t slash = exe.find_last_of('\\');
  return SetTrailingBackslash(slash == std::string::npos ? exe : exe.substr(0, slash + 1), addBackslash);
}

std::string TempFolder(bool addBackslash) {
  wchar_t buffer[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH) return std::string();
  return SetTrailingBackslash(Utf8(buffer, n), addBackslash);
}

}  // namespace varnel
