// Test program for the utilities under Wine. One command per run:
//   trace                      three debug lines, the middle one 300 characters
//   agentlog on|off TAG MSG    one agent log line
//   deleteself [folder] [short]  removes its own file (and folder) after exit
//   sysinfo FILE               system information as name=value lines
//   close-viewer               asks a running debug viewer to close
//   full-writes FOLDER OUT     the file helpers on FOLDER (a full volume):
//                              what each reported, as name=value lines in OUT
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "utils/agent_log.h"
#include "utils/debug_channel.h"
#include "utils/debug_stream.h"
#include "utils/file_helpers.h"
#include "utils/ini_registry.h"
#include "utils/system_info.h"

using namespace varnel;

namespace {

bool Has(int argc, char** argv, const char* word) {
  for (int i = 2; i < argc; ++i)
    if (std::strcmp(argv[i], word) == 0) return true;
  return false;
}

int Trace() {
  std::string longLine;
  for (int i = 0; i < 300; ++i) longLine += static_cast<char>('0' + i % 10);
  DebugLine("%lu ==== PROBE START ====> ", GetCurrentProcessId());
  DebugLine("%s", longLine.c_str());
  DebugLine("- probe end -");
  return 0;
}

int SysInfo(const char* path) {
  WindowsRelease r = GetWindowsName();
  const WindowsVersionRecord& v = GetWindowsVersion();
  std::string text;
  auto add = [&](const char* name, const std::string& value) { text += std::string(name) + "=" + value + "\r\n"; };
  add("version", r.versionText);
  add("name", r.name);
  add("flag", std::to_string(r.flag));
  add("build", std::to_string(v.build));
  add("nt", IsWindowsNT() ? "1" : "0");
  add("xp", IsWindowsXP() ? "1" : "0");
  add("win8orlater", IsWindows8OrLater() ? "1" : "0");
  add("is64", Is64BitWindows() ? "1" : "0");
  add("server", IsServerWindows() ? "1" : "0");
  {
    char system[MAX_PATH];
    UINT n = GetSystemDirectoryA(system, MAX_PATH);
    add("kernel32", GetProductVersion(std::string(system, n) + "\\kernel32.dll"));
  }
  add("user", GetLoggedUserName());
  add("computer", GetComputerNameText());
  add("owner", GetRegisteredOwner());
  add("organization", GetRegisteredOrganization());
  add("domain", GetUserDomainName());
  return WriteFileText(path, text) ? 0 : 2;
}

}  // namespace

int FullWrites(const std::string& folder, const std::string& out) {
  const std::string text(65536, 'x');
  std::string report = "free=";
  report += std::to_string(static_cast<unsigned long long>(DiskFreeBytes(folder)));
  report += "\r\nwrite=";
  report += WriteFileText(folder + "\\written.txt", text) ? "1" : "0";
  report += "\r\nwrite-chunks=";
  report += WriteFileText(folder + "\\chunked.txt", text + text, 0, false, [](std::int64_t, std::int64_t, bool&) {})
                ? "1" : "0";
  report += "\r\nappend=";
  report += AppendFileText(folder + "\\log.txt", text, true) ? "1" : "0";
  report += "\r\nini=";
  report += WriteIniString(folder + "\\settings.ini", "OriginalSetup", "Note", text) ? "1" : "0";
  report += "\r\n";
  return WriteFileText(out, report) ? 0 : 1;
}

int main(int argc, char** argv) {
  InitDebugStream();
  if (argc < 2) return 64;
  std::string command = argv[1];
  if (command == "trace") return Trace();
  if (command == "agentlog" && argc >= 5) {
    SetAgentLogEnabled(std::strcmp(argv[2], "on") == 0);
    SetAgentLogTag(argv[3]);
    AgentLog(argv[4]);
    return 0;
  }
  if (command == "deleteself") {
    DeleteMySelf(Has(argc, argv, "folder"), Has(argc, argv, "short"));
    return 0;
  }
  if (command == "sysinfo" && argc >= 3) return SysInfo(argv[2]);
  if (command == "full-writes" && argc >= 4) return FullWrites(argv[2], argv[3]);
  if (command == "close-viewer") {
    HWND viewer = FindWindowA(kDebugViewerClass, nullptr);
    return viewer && PostMessageA(viewer, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  return 64;
}
