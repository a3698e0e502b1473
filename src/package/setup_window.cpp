#include "package/setup_window.h"

namespace varnel {
namespace {

// Stands in before start-up attaches the stub window (and in programs
// without one): shows nothing, steps nothing, never closed.
class NoWindow : public SetupWindow {
 public:
  HWND Handle() override { return nullptr; }
  HWND StatusLabel() override { return nullptr; }
  void Show(bool) override {}
  void LetBeSeen() override {}
  void ShowActivityBar(bool) override {}
  ProgressCallbackFn ProgressSink() override { return &Ignore; }
  void ProgressSteps(ProgressCallbackFn progress, int count) override {
    for (; progress && count > 0; --count) progress(kProgressStep, 0, 0, std::string(), 1);
  }
  void RefuseAutoPlay() override {}
  bool CloseRequested() override { return false; }

 private:
  static void Ignore(int, int, int, const std::string&, int) {}
};

struct SetupRunState {
  NoWindow noWindow;
  SetupWindow* window = nullptr;
  SetupRunFacts facts;
};

SetupRunState& State() {
  static SetupRunState state;
  return state;
}

}  // namespace

void AttachSetupWindow(SetupWindow* window, const SetupRunFacts& facts) {
  State().window = window;
  State().facts = facts;
}

SetupWindow& CurrentSetupWindow() {
  SetupRunState& s = State();
  return s.window ? *s.window : s.noWindow;
}

const SetupRunFacts& CurrentSetupRun() { return State().facts; }

}  // namespace varnel
