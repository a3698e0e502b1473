// Test mode of the update agent (registry values under the product key).
#pragma once

namespace varnel {

// Refreshes and returns test mode; `force` re-reads the registry.
bool CheckTestMode(bool force);

}  // namespace varnel
