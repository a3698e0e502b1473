#include "folders/folder_rules.h"

#include "utils/text_rules.h"

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
  std::string UserShellFolder(int id, const char* tail) {
    std::string result = Special(id);
    if (!Exists(result)) {
      result = UserFolder();
      result += tail;
    }
    if (!Exists(result)) {
      result = AllUsersFolder();
      result += tail;
    }
    return result;
  }
};

}  // namespace

std::string ProfileFallback(FolderSystem& system) {
  Resolver r{system};
  std::string profile = r.Windows();
  profile += "\\Profiles\\";
  profile += system.UserName();
  return r.Or(profile, r.Windows());
}

namespace {

// How a user folder is found: the shell's folder (by CSIDL) when it
// exists, else a fallback folder followed by a tail.
enum class Fallback : unsigned char {
  Profile,        // the folder query, else the profile fallback + tail
  Windows,        // the folder query, else the Windows folder + tail
  AllUsersShell,  // the shell's special folder, else the all-users folder + tail
  UserShell,      // see Resolver::UserShellFolder
};

struct UserFolderRule {
  UserFolder which;
  Fallback fallback;
  int id;
  const char* tail;
};

constexpr UserFolderRule kUserFolderRules[] = {
    {UserFolder::MyDocuments, Fallback::Profile, csidl::kPersonal, "\\My Documents"},
    {UserFolder::UserAppData, Fallback::Profile, csidl::kAppData, "\\Application Data"},
    {UserFolder::UserLocalAppData, Fallback::Profile, csidl::kLocalAppData, "\\Application Data"},
    {UserFolder::AllUsersAppData, Fallback::Windows, csidl::kCommonAppData, "\\Application Data"},
    {UserFolder::AllUsersDocuments, Fallback::Windows, csidl::kCommonDocuments, "\\Documents"},
    {UserFolder::UserStartMenu, Fallback::UserShell, csidl::kStartMenu, "\\Start Menu"},
    {UserFolder::AllUsersStartMenu, Fallback::AllUsersShell, csidl::kCommonStartMenu, "\\Start Menu"},
    {UserFolder::UserPrograms, Fallback::UserShell, csidl::kPrograms, "\\Start Menu\\Programs"},
    {UserFolder::AllUsersPrograms, Fallback::AllUsersShell, csidl::kCommonPrograms, "\\Start Menu\\Programs"},
    {UserFolder::UserDesktop, Fallback::UserShell, csidl::kDesktopDirectory, "\\Desktop"},
    {UserFolder::AllUsersDesktop, Fallback::AllUsersShell, csidl::kCommonDesktopDirectory, "\\Desktop"},
};

}  // namespace

std::string UserFolderFrom(FolderSystem& system, UserFolder which) {
  Resolver r{system};
  switch (which) {
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
    default:
      break;
  }
  for (const UserFolderRule& rule : kUserFolderRules) {
    if (rule.which != which) continue;
    if (rule.fallback == Fallback::UserShell) return r.UserShellFolder(rule.id, rule.tail);
    std::string found = rule.fallback == Fallback::AllUsersShell ? r.Special(rule.id) : r.Query(rule.id);
    if (r.Exists(found)) return found;
    found = rule.fallback == Fallback::Profile   ? ProfileFallback(system)
            : rule.fallback == Fallback::Windows ? r.Windows()
                                                 : r.AllUsersFolder();
    found += rule.tail;
    return found;
  }
  return std::string();
}

std::string System16FolderFrom(FolderSystem& system) {
  Resolver r{system};
  const std::string systemFolder = WithTrailingBackslash(system.SystemFolder(), false, system.LeadBytes());
  const std::size_t at = systemFolder.rfind("32");
  if (at != std::string::npos) {
    std::string without32 = systemFolder;
    without32.erase(at, 2);
    if (r.Exists(without32)) return without32;
  }
  return r.Or(JoinPath(r.Windows(), "System"), systemFolder);
}

std::string FontsFolderFrom(FolderSystem& system) {
  Resolver r{system};
  return r.Or(system.RegistryFolderValue(RegistryFolder::Fonts), JoinPath(r.Windows(), "Fonts"));
}

}  // namespace varnel
