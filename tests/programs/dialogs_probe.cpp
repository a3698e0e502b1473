// Shows message boxes and runs the temporary-folder routines for the
// end-to-end scenarios, one job per start, writing what it saw to a file
// (Wine programs' output cannot be captured through a pipe).
//
//   dialogs-probe.exe box KIND OUT [TIMEOUT_MS]     KIND: error, confirm, rtl,
//                                                  entry, yesnocancel; OUT gets the
//                                                  result; exit code = result
//   dialogs-probe.exe read OUT                     describes the shown box
//                                                  from outside: title=,
//                                                  window=, client=, text=
//                                                  (CR LF as \r\n), area=,
//                                                  button= lines, greyed=,
//                                                  handle= (the box's window
//                                                  handle: a box shown again
//                                                  is another window)
//   dialogs-probe.exe setup-folder OUT RELEASE      takes the setup folder, puts
//                                                  a file in it, waits until
//                                                  RELEASE exists (60 s bound)
//   dialogs-probe.exe choose-drive OUT              ChooseTempDrive and the
//                                                  alternative folder
//   dialogs-probe.exe space FOLDER NEEDED FREE NOTICE OUT
//                                                  the free-space question
//   dialogs-probe.exe package-space PACKAGE OUT [FOLDER]
//                                                  HasTempSpace and
//                                                  ConfirmTempSpace for a
//                                                  setup file's package (in
//                                                  the setup folder or FOLDER)
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dialogs/message_box.h"
#include "package/package_reader.h"
#include "package/temp_folder.h"
#include "utils/file_helpers.h"
#include "utils/message_pump.h"

using namespace varnel;

namespace {

bool Write(const std::string& path, const std::string& text) { return WriteFileText(path, text); }

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int ShowBox(const std::string& kind, unsigned timeoutMs) {
  if (kind == "error") {
    MsgBoxError(kMsgOwnerWithHeading,
                "The setup file could not be read.<P>Please download it again and restart "
                "the installation.");
    return kIdOk;
  }
  if (kind == "confirm") {
    return MsgBoxConfirm(kMsgOwnerWithHeading,
                         "Do you want to install <b>Varnel Demo 2.0</b> now?<P><P>"
                         "Space required:<T><b>38.0 MB</b><P>"
                         "Space available:<T>2.50 MB<P>",
                         "", "", 0, timeoutMs)
               ? kIdYes
               : kIdNo;
  }
  if (kind == "rtl") {
    return MsgBoxShow(kMsgOwnerWithHeading, "Right-to-left reading: (1) first, 2) second.",
                      "Attention", kMsgBoxButtonList, 177, 0x34, timeoutMs);
  }
  if (kind == "entry") {
    return MsgBoxConfirm(kMsgOwnerActive, "Do you want to store the new Entry in the list?", "",
                         "", 0, timeoutMs)
               ? kIdYes
               : kIdNo;
  }
  if (kind == "yesnocancel") {
    return MsgBoxShow(kMsgOwnerActive, "Yes, No or Cancel?", "Choose", kMsgBoxButtonList, 0,
                      0x23, timeoutMs);
  }
  return -1;
}

std::string Rect(HWND parent, HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  if (parent) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," +
         std::to_string(r.right - r.left) + "," + std::to_string(r.bottom - r.top);
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  return out;
}

std::string TextOf(HWND w) {
  // WM_GETTEXT crosses process boundaries; GetWindowText would not.
  char buf[8192] = {};
  SendMessageA(w, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf));
  return buf;
}

bool DescribeBox(const std::string& out) {
  HWND box = FindWindowA(kMsgBoxClass, nullptr);
  if (!box) return false;
  RECT client;
  GetClientRect(box, &client);
  std::string d = "title=" + TextOf(box) + "\nwindow=" + Rect(nullptr, box) + "\nclient=" +
                  std::to_string(client.right) + "," + std::to_string(client.bottom) + "\n";
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    char cls[64] = {};
    GetClassNameA(c, cls, sizeof cls);
    if (lstrcmpiA(cls, "RICHEDIT") == 0) {
      d += "text=" + Escaped(TextOf(c)) + "\narea=" + Rect(box, c) + "\n";
    } else if (lstrcmpiA(cls, "Button") == 0) {
      const bool def = (GetWindowLongA(c, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
      d += "button=" + TextOf(c) + "|" + Rect(box, c) + "|" + (def ? "1" : "0") + "\n";
    }
  }
  const UINT state = GetMenuState(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND);
  d += std::string("greyed=") + (state != static_cast<UINT>(-1) && (state & MF_GRAYED) ? "1" : "0") + "\n";
  d += "handle=" + std::to_string(reinterpret_cast<std::uintptr_t>(box)) + "\n";
  return Write(out, d);
}

std::string Num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.0f", v);
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string job = argc > 1 ? argv[1] : "";
  if (job == "box" && argc >= 4) {
    const int result = ShowBox(argv[2], argc > 4 ? std::atoi(argv[4]) : 0);
    Write(argv[3], std::to_string(result));
    return result;
  }
  if (job == "read" && argc >= 3) return DescribeBox(argv[2]) ? 0 : 1;
  if (job == "setup-folder" && argc >= 4) {
    const std::string folder = GetSetupTempFolder();
    Write(folder + "\\engine.txt", "running");
    Write(argv[2], folder);
    for (int i = 0; i < 600 && !Exists(argv[3]); ++i) WaitPumping(100);
    return 0;
  }
  if (job == "choose-drive" && argc >= 3) {
    const bool chosen = ChooseTempDrive();
    const std::string alt = GetAltTempFolder();
    std::string out = std::string("chosen=") + (chosen ? "1" : "0") + "\nalt=" + alt + "\n";
    out += std::string("made=") + (!alt.empty() && Exists(alt) ? "1" : "0") + "\n";
    RemoveAltTempFolder();
    out += std::string("removed=") + (alt.empty() || !Exists(alt) ? "1" : "0") + "\n";
    Write(argv[2], out);
    return 0;
  }
  if (job == "space" && argc >= 7) {
    const bool go = ConfirmTempSpaceWith(argv[2], std::atof(argv[3]), std::atof(argv[4]),
                                         std::atoi(argv[5]) != 0, nullptr, 0);
    Write(argv[6], go ? "go" : "stop");
    return go ? 0 : 1;
  }
  if (job == "package-space" && argc >= 4) {
    const TGFileInfo reader = TGFileInfo::Create(argv[2]);
    const std::string folder = argc > 4 ? argv[4] : GetSetupTempFolder();
    const bool room = HasTempSpace(folder, argv[2]);
    const bool go = ConfirmTempSpace(folder, argv[2], reader);
    Write(argv[3], std::string("room=") + (room ? "1" : "0") + "\nneeded=" +
                       Num(reader.GetSpaceNeeded(folder)) + "\ngo=" + (go ? "1" : "0") + "\n");
    // The setup folder was made only to be measured: nothing is extracted.
    if (argc <= 4) RemoveDirectoryA(folder.c_str());
    return go ? 0 : 1;
  }
  std::fprintf(stderr, "usage: dialogs-probe.exe box|read|setup-folder|choose-drive|space|package-space ...\n");
  return 2;
}
