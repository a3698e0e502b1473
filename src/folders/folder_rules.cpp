#include "folders/folder_rules.h"

namespace varnel {
namespace {

struct Resolver {
  FolderSystem& system;

  bool Exists(const std::string& path) { return !path.empty() && system.DirectoryExists(path); }
  std::string Parent(const std::string& path) { return ParentFolder(path, system.LeadBytes()); }
  std::string Windows() { return WithTrailingBackslash(system.WindowsFolder(), false, system.LeadBytes()); }
  std::string Query(int id) { return WithTrailingBackslash(system.FolderPathQuery(id), false, system.LeadBytes()); }
  std::string Special(int id) { return WithTrailingBackslash(system.SpecialFolderQuery(id), false, system.LeadBytes()); }

  // The first source's result when it exists, else the fallback.
  std::string Or(const std::string& first, const std::string& fallback) { return Exists(first) ? first : fallback; }

  std::string UserFolder() {
    const std::string documents = Query(csidl::kPersonal);
    return Or(Exists(documents) ? Parent(documents) : std::string(), ProfileFallback(system));
  }
  std::string AllUsersFolder() {
    const std::string common = Query(csidl::kCommonAppData);
    return Or(Exists(common) ? Parent(common) : std::string(), Windows());
  }
  // A per-user menu or desktop folder: the shell's, else the user's, else
  // the all-users one (the last is not checked).
  std::string UserShellFolder(int id, const std::string& tail) {
    std::string result = Special(id);
    if (!Exists(result)) result = UserFolder() + tail;
    if (!Exists(result)) result = AllUsersFolder() + tail;
    return result;
  }
};

}  // namespace

std::string ProfileFallback(FolderSystem& system) {
  Resolver r{system};
  const std::string profile = r.Windows() + "\\Profiles\\" + system.UserName();
  return r.Or(profile, r.Windows());
}

std::string UserFolderFrom(FolderSystem& system, UserFolder which) {
  Resolver r{system};
  switch (which) {
    case UserFolder::MyDocuments:
      return r.Or(r.Query(csidl::kPersonal), ProfileFallback(system) + "\\My Documents");
    case UserFolder::User:
      return r.UserFolder();
    case UserFolder::DocumentsAndSettings: {
      std::string result = r.Query(csidl::kPersonal);
      if (r.Exists(result)) {
        result = r.Parent(result);
        if (r.Exists(result)) result = r.Parent(result);
      }
      return r.Or(result, ProfileFallback(system));
    }
    case UserFolder::AllUsers:
      return r.AllUsersFolder();
    case UserFolder::UserAppData:
      return r.Or(r.Query(csidl::kAppData), ProfileFallback(system) + "\\Application Data");
    case UserFolder::UserLocalAppData:
      return r.Or(r.Query(csidl::kLocalAppData), ProfileFallback(system) + "\\Application Data");
    case UserFolder::AllUsersAppData:
      return r.Or(r.Query(csidl::kCommonAppData), r.Windows() + "\\Application Data");
    case UserFolder::AllUsersDocuments:
      return r.Or(r.Query(csidl::kCommonDocuments), r.Windows() + "\\Documents");
    case UserFolder::UserStartMenu:
      return r.UserShellFolder(csidl::kStartMenu, "\\Start Menu");
    case UserFolder::AllUsersStartMenu:
      return r.Or(r.Special(csidl::kCommonStartMenu), r.AllUsersFolder() + "\\Start Menu");
    case UserFolder::UserPrograms:
      return r.UserShellFolder(csidl::kPrograms, "\\Start Menu\\Programs");
    case UserFolder::AllUsersPrograms:
      return r.Or(r.Special(csidl::kCommonPrograms), r.AllUsersFolder() + "\\Start Menu\\Programs");
    case UserFolder::UserDesktop:
      return r.UserShellFolder(csidl::kDesktopDirectory, "\\Desktop");
    case UserFolder::AllUsersDesktop:
      return r.Or(r.Special(csidl::kCommonDesktopDirectory), r.AllUsersFolder() + "\\Desktop");
  }
  return std::string();
}

std::string System16FolderFrom(FolderSystem& system) {
  Resolver r{system};
  const std::string systemFolder = WithTrailingBackslash(system.SystemFolder(), false, system.LeadBytes());
  const std::size_t at = systemFolder.rfind("32");
  if (at != std::string::npos) {
    const std::string without32 = systemFolder.substr(0, at) + systemFolder.substr(at + 2);
    if (r.Exists(without32)) return without32;
  }
  const std::string windowsSystem = r.Windows() + "\\System";
  return r.Or(windowsSystem, systemFolder);
}

std::string FontsFolderFrom(FolderSystem& system) {
  Resolver r{system};
  return r.Or(system.RegistryFolderValue(RegistryFolder::Fonts), r.Windows() + "\\Fonts");
}

}  // namespace varnel
