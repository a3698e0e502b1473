// Test program for the agent's file fetch under Wine. One command per run:
//   fetch PACKAGE AGENT_FOLDER KIND FOLDER NAME OUT
//       runs DownloadFileAU as an agent whose own package is PACKAGE and
//       whose folder is AGENT_FOLDER; writes "result=", "error=" and
//       "testmode=" lines to OUT. Boxes it shows wait for a person (or the
//       scenario) to close them.
//   decide PACKAGE AGENT_FOLDER OUT
//       runs GetOkToPerformAU on the agent folder's .info and .original as
//       after a successful .info fetch; writes "stage=" and "reason=".
//   inform PACKAGE TEXT OUT
//       writes an INFORM file carrying PACKAGE's update token and TEXT.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "package/package_reader.h"
#include "update/test_mode.h"
#include "update/update_agent.h"
#include "utils/file_helpers.h"

using namespace varnel;

int main(int argc, char** argv) {
  const std::string job = argc > 1 ? argv[1] : "";
  if (job == "fetch" && argc >= 8) {
    InitProcessReader(argv[2]);
    InitUpdateAgent(SetTrailingBackslash(argv[3], true));
    const bool testMode = CheckTestMode(true);
    std::string errorText;
    const bool result = DownloadFileAU(argv[5], argv[6], std::atoi(argv[4]), errorText);
    WriteFileText(argv[7], std::string("result=") + (result ? "1" : "0") + "\r\nerror=" + errorText +
                               "\r\ntestmode=" + (testMode ? "1" : "0") + "\r\n");
    ReleaseProcessReader();
    return 0;
  }
  if (job == "decide" && argc >= 5) {
    InitProcessReader(argv[2]);
    InitUpdateAgent(SetTrailingBackslash(argv[3], true));
    CheckTestMode(true);
    int stage = 0;
    std::string reason;
    GetOkToPerformAU(true, stage, reason);
    WriteFileText(argv[4], "stage=" + std::to_string(stage) + "\r\nreason=" + reason + "\r\n");
    ReleaseProcessReader();
    return 0;
  }
  if (job == "inform" && argc >= 5) {
    const std::string token = TGFileInfo::Create(argv[2]).GetUpdateToken(false);
    return WriteFileText(argv[4], std::string("Notice|") + token + "|||" + argv[3]) ? 0 : 1;
  }
  std::fprintf(stderr, "usage: agent-fetch-probe.exe fetch|inform ...\n");
  return 2;
}
