// Shows message boxes and runs the temporary-folder routines for the
// end-to-end scenarios, one job per start, writing what it saw to a file
// (Wine programs' output cannot be captured through a pipe).
//
//   DialogsProbe.exe box KIND OUT [TIMEOUT_MS]     KIND: error, confirm, rtl,
//                                                  yesnocancel; OUT gets the
//                                                  result; exit code = result
//   DialogsProbe.exe setup-folder OUT RELEASE      takes the setup folder, puts
//                                                  a file in it, waits until
//                                                  RELEASE exists (60 s bound)
//   DialogsProbe.exe choose-drive OUT              ChooseTempDrive and the
//                                                  alternative folder
//   DialogsProbe.exe space FOLDER NEEDED FREE NOTICE OUT
//                                                  the free-space question
//   DialogsProbe.exe package-space PACKAGE OUT     HasTempSpace and
//                                                  ConfirmTempSpace for a
//                                                  setup file's package
#include <windows.h>

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
  if (kind == "yesnocancel") {
    return MsgBoxShow(kMsgOwnerActive, "Yes, No or Cancel?", "Choose", kMsgBoxButtonList, 0,
                      0x23, timeoutMs);
  }
  return -1;
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
    const std::string folder = GetSetupTempFolder();
    const bool room = HasTempSpace(folder, argv[2]);
    const bool go = ConfirmTempSpace(folder, argv[2], reader);
    Write(argv[3], std::string("room=") + (room ? "1" : "0") + "\nneeded=" +
                       Num(reader.GetSpaceNeeded(folder)) + "\ngo=" + (go ? "1" : "0") + "\n");
    return go ? 0 : 1;
  }
  std::fprintf(stderr, "usage: DialogsProbe.exe box|setup-folder|choose-drive|space|package-space ...\n");
  return 2;
}
