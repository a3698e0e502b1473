#include "package/exit_code.h"

namespace varnel {
namespace {
struct ExitCodeState {
  int code = kExitSuccess;
};
ExitCodeState& State() {
  static ExitCodeState state;
  return state;
}
}  // namespace

int ProcessExitCode() { return State().code; }
void SetProcessExitCode(int code) { State().code = code; }

}  // namespace varnel
