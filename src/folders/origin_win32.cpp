// The origin of the setup run, kept apart from the folder lookups: start-up
// hands over the switch, and the stub should not link the lookups for it.
#include "folders/system_folders.h"
#include "utils/file_helpers.h"

namespace varnel {
namespace {

struct OriginState {
  std::string originSwitch;
  bool fixed = false;
  std::string exe;
  std::string folder;
};

OriginState& State() {
  static OriginState state;
  return state;
}

}  // namespace

void SetOriginExeSwitch(const std::string& value) { State().originSwitch = value; }

std::string GetOriginExe() {
  OriginState& s = State();
  if (!s.fixed) {
    s.fixed = true;
    s.exe = s.originSwitch.empty() ? ExePath(false) : s.originSwitch;
    s.folder = OriginFolderFrom(s.exe, ExeFolder(false), nullptr);
  }
  return s.exe;
}

std::string GetOriginFolder() {
  GetOriginExe();
  return State().folder;
}

}  // namespace varnel
