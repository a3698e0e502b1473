#include "update/test_mode.h"

namespace varnel {

// Test mode is read with the agent's settings; until then it is off.
bool CheckTestMode(bool force) { return false; }

}  // namespace varnel
