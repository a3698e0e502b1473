// Stand-in for the setup engine, for tests and the demo. It keeps the
// engine's contract with the stub: it is started with the stub's command
// line, deletes the global atom "AutoUpdateAtomTokenByVarnel" + the value of
// "/TH_ID=" when it has finished, may show a window of class
// ".SDialog_Class_Name." + that value, and its exit code becomes the stub's.
//
// Its own options (put after "*" in the engine member's name, so the stub
// appends them to the engine's command line; values with blanks in quotes):
//   --record=FILE        write what the engine saw to FILE (below) at start
//                        and append "Exit=N" when it ends
//   --exit=N             end with exit code N (default 0)
//   --keep-atom          leave the atom in place (the stub then sees failure)
//   --dialog-ms=N        show the engine dialog window for N ms
//   --linger-dialog-ms=N start a copy of this program that shows the dialog
//                        window for N ms after this process has ended
//   --install=DIR        copy every file beside the engine (not the engine
//                        itself) into DIR, creating it
//   --hold-until=FILE    wait until FILE exists (at most 120 s) before ending
//   --dialog-only=N      (internal) show the dialog for N ms and end
//
// Record file (UTF-8), one "Key=Value" per line:
//   CommandLine=<raw command line>
//   Folder=<folder of the engine>
//   TH_ID=<value of /TH_ID=>
//   OriginExe=<value of /OriginExe=, without its quotes>
//   AtomFound=1|0        the atom existed when the engine started
//   File=<name>|<size>   one line per file beside the engine, sorted by name
//   Exit=<code>          appended at the end
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "startup/command_line.h"

#include "common/test_tool_helpers.h"

namespace {

using test_tools::OwnPath;
using varnel::Utf8;
using varnel::Wide;
using test_tools::Tokens;

constexpr char kAtomPrefix[] = "AutoUpdateAtomTokenByVarnel";
constexpr char kDialogClassPrefix[] = ".SDialog_Class_Name.";
constexpr DWORD kHoldLimitMs = 120000;

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  std::size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct Options {
  std::string record, install, holdUntil, threadTag, originExe;
  int exitCode = 0;
  bool keepAtom = false;
  long dialogMs = -1, lingerDialogMs = -1, dialogOnlyMs = -1;
};

Options ReadOptions(const std::vector<std::string>& tokens) {
  Options o;
  for (const std::string& t : tokens) {
    auto value = [&](const char* key) -> const char* {
      std::size_t n = std::char_traits<char>::length(key);
      return t.compare(0, n, key) == 0 ? t.c_str() + n : nullptr;
    };
    if (const char* v = value("--record=")) o.record = v;
    else if (const char* v = value("--install=")) o.install = v;
    else if (const char* v = value("--hold-until=")) o.holdUntil = v;
    else if (const char* v = value("--exit=")) o.exitCode = std::atoi(v);
    else if (const char* v = value("--dialog-ms=")) o.dialogMs = std::atol(v);
    else if (const char* v = value("--linger-dialog-ms=")) o.lingerDialogMs = std::atol(v);
    else if (const char* v = value("--dialog-only=")) o.dialogOnlyMs = std::atol(v);
    else if (t == "--keep-atom") o.keepAtom = true;
    else if (const char* v = value("/TH_ID=")) o.threadTag = v;
    else if (const char* v = value("/OriginExe=")) o.originExe = v;
  }
  return o;
}

struct FileEntry {
  std::string name;
  std::uint64_t size;
};

std::vector<FileEntry> FilesBeside(const std::string& folder) {
  std::vector<FileEntry> files;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(Wide(folder + "\\*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return files;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    files.push_back({Utf8(fd.cFileName), (std::uint64_t(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow});
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  std::sort(files.begin(), files.end(),
            [](const FileEntry& a, const FileEntry& b) { return a.name < b.name; });
  return files;
}

void AppendText(const std::string& path, const std::string& text) {
  HANDLE f = CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(f);
}

void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

void ShowDialog(const std::string& tag, long ms) {
  const std::string cls = kDialogClassPrefix + tag;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = cls.c_str();
  RegisterClassA(&wc);
  HWND dialog = CreateWindowExA(0, cls.c_str(), "Test engine", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE,
                                100, 100, 320, 120, nullptr, nullptr, wc.hInstance, nullptr);
  PumpFor(static_cast<DWORD>(ms));
  if (dialog) DestroyWindow(dialog);
}

void StartLingeringDialog(const std::string& tag, long ms) {
  std::string command = "\"" + OwnPath() + "\" /TH_ID=" + tag +
                        " --dialog-only=" + std::to_string(ms);
  std::wstring wide = Wide(command);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (CreateProcessW(nullptr, &wide[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    // Give the copy time to put up its window before this process ends.
    WaitForInputIdle(pi.hProcess, 5000);
    for (int i = 0; i < 100 && !FindWindowA((kDialogClassPrefix + tag).c_str(), nullptr); ++i)
      Sleep(20);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

void InstallFiles(const std::string& folder, const std::string& target) {
  // Create the target with its parents.
  for (std::size_t at = target.find('\\', 3); ; at = target.find('\\', at + 1)) {
    CreateDirectoryW(Wide(target.substr(0, at)).c_str(), nullptr);
    if (at == std::string::npos) break;
  }
  const std::string self = NameOf(OwnPath());
  for (const FileEntry& f : FilesBeside(folder)) {
    if (lstrcmpiW(Wide(f.name).c_str(), Wide(self).c_str()) == 0) continue;
    CopyFileW(Wide(folder + "\\" + f.name).c_str(), Wide(target + "\\" + f.name).c_str(), FALSE);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string raw = test_tools::CommandLineText();
  const std::string self = OwnPath();
  const std::string args = varnel::ArgumentTextOf(raw, self);
  const Options o = ReadOptions(Tokens(args));
  const std::string& tag = o.threadTag;

  if (o.dialogOnlyMs >= 0) {
    ShowDialog(tag, o.dialogOnlyMs);
    return 0;
  }

  const std::string atomName = kAtomPrefix + tag;
  const ATOM atom = GlobalFindAtomA(atomName.c_str());
  const std::string folder = FolderOf(self);

  if (!o.record.empty()) {
    std::string text = "CommandLine=" + raw + "\r\nFolder=" + folder + "\r\nTH_ID=" + tag +
                       "\r\nOriginExe=" + o.originExe +
                       "\r\nAtomFound=" + (atom ? "1" : "0") + "\r\n";
    for (const FileEntry& f : FilesBeside(folder))
      text += "File=" + f.name + "|" + std::to_string(f.size) + "\r\n";
    DeleteFileW(Wide(o.record).c_str());
    AppendText(o.record, text);
  }
  if (!o.install.empty()) InstallFiles(folder, o.install);
  if (o.dialogMs >= 0) ShowDialog(tag, o.dialogMs);
  if (!o.holdUntil.empty()) {
    const DWORD start = GetTickCount();
    while (GetFileAttributesW(Wide(o.holdUntil).c_str()) == INVALID_FILE_ATTRIBUTES &&
           GetTickCount() - start < kHoldLimitMs)
      PumpFor(50);
  }
  if (o.lingerDialogMs >= 0) StartLingeringDialog(tag, o.lingerDialogMs);
  if (atom && !o.keepAtom) GlobalDeleteAtom(atom);
  if (!o.record.empty()) AppendText(o.record, "Exit=" + std::to_string(o.exitCode) + "\r\n");
  return o.exitCode;
}
