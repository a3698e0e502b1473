// From process entry to process exit: start banners, the process-wide package
// reader, the role decision and the hand-over to the routine of that role.
#pragma once
#include <string>

namespace varnel {

// The whole start-up routine: banners, reader, DoRunStubWin, end banners.
void RunStubStartup();

// Role dispatch: sets the window class name, stops when a window of that
// class already exists, and otherwise runs the role of this start.
void DoRunStubWin();

// Copies the running executable to the temporary folder as "Y_" + its name
// and starts the copy with "/SpanCdLvl=2"; this process then ends.
void StartSpanDiskCopy();

// The package of the running executable is an update agent.
bool ThisIs_AutoUpdateProg();
// A window of the agent's X_ copy exists.
bool X_ExeIsRunning();
// Running under the agent file name / under "X_" + the agent file name.
bool ThisIs_Plain_AutoUpdate_Exe();
bool ThisIs_X_AutoUpdate_Exe();
// The agent's file name from the package as path text: UTF-8, as paths are
// (a package made by an older tool names it in the ANSI code page).
std::string AgentFileName();

}  // namespace varnel
