// The parts of the package reader that ask the system: the cluster size of
// a drive and the path of the running executable.
#include <windows.h>

#include "package/package_reader.h"
#include "utils/wide_text_win32.h"

namespace varnel {

std::uint32_t GetClusterSize(const std::string& path) {
  const std::string root = path.substr(0, 3);
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!GetDiskFreeSpaceW(Wide(root).c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &totalClusters))
    return 0;
  return sectorsPerCluster * bytesPerSector;
}

double TGFileInfo::GetSpaceNeeded(const std::string& folder) const {
  return SpaceNeededForCluster(GetClusterSize(folder));
}

std::string GetOriginalFilePath() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  return OriginalFilePathFor(Utf8(path, length), ProcessReader());
}

}  // namespace varnel
