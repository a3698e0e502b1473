// The path rules of the folders, in a file of their own: the stub's start-up
// needs them for the origin folder without the folder lookups.
#include "folders/folder_rules.h"

namespace varnel {
namespace {

// Position of the last "\" that is a character of its own (not the second
// byte of a double-byte character); npos when there is none.
std::size_t LastBackslash(const std::string& path, LeadByteTest isLead) {
  std::size_t last = std::string::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (isLead && isLead(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if (path[i] == '\\') last = i;
  }
  return last;
}

}  // namespace

std::string WithTrailingBackslash(const std::string& path, bool add, LeadByteTest isLead) {
  std::string p = path;
  if (p.size() > 2 && LastBackslash(p, isLead) == p.size() - 1) p.pop_back();
  if (add) p += '\\';
  return p;
}

std::string ParentFolder(const std::string& path, LeadByteTest isLead) {
  const std::size_t slash = LastBackslash(path, isLead);
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string OriginFolderFrom(const std::string& originExe, const std::string& exeFolder, LeadByteTest isLead) {
  const std::string folder = WithTrailingBackslash(ParentFolder(originExe, isLead), false, isLead);
  return folder.empty() ? WithTrailingBackslash(exeFolder, false, isLead) : folder;
}

}  // namespace varnel
