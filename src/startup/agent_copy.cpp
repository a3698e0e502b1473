#include "startup/agent_copy.h"

#include <windows.h>

#include "utils/agent_log.h"
#include "utils/debug_stream.h"

namespace varnel {

// The agent's transient copy comes with the update cycle; until then the
// installed agent only records that it was started.
bool CreateAndRun_X_Exe(bool xWasRunning) {
  AgentLog("CreateAndRun_X_Exe() --- Start");
  DebugLine("%lu CreateAndRun_X_Exe - no agent copy is made yet", GetCurrentProcessId());
  AgentLog("CreateAndRun_X_Exe() --- End");
  return xWasRunning;
}

bool HandleParamOK(bool xWasRunning) {
  AgentLog("HandleParamOK() --- Start");
  AgentLog("HandleParamOK() --- End");
  return false;
}

}  // namespace varnel
