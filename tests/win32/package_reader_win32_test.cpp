#include "package/package_reader.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace varnel;

TEST(PackageReaderWin32, ClusterSizeOfADrive) {
  const std::uint32_t cluster = GetClusterSize("C:\\Windows");
  EXPECT_GT(cluster, 0u);
  EXPECT_EQ(cluster % 512, 0u);
  EXPECT_EQ(GetClusterSize("Q:\\no\\such\\drive"), 0u);
  EXPECT_EQ(GetClusterSize(""), 0u);
}

TEST(PackageReaderWin32, SpaceNeededUsesTheDrivesCluster) {
  // A reader without a package needs nothing on any drive.
  EXPECT_EQ(TGFileInfo().GetSpaceNeeded("C:\\"), 0.0);
}

TEST(PackageReaderWin32, ThreadLocaleNamesALanguage) {
  UseThreadLocale();
  EXPECT_EQ(SystemLanguageName(), SystemLanguageNameFor(GetThreadLocale()));
  EXPECT_FALSE(SystemLanguageName().empty());
  SetLocaleIdSource(nullptr);
}

TEST(PackageReaderWin32, OriginalFilePathBesideTheExecutable) {
  char exe[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string folder(exe);
  folder.erase(folder.find_last_of('\\') + 1);
  EXPECT_EQ(GetOriginalFilePath(), folder + ".original");
}

}  // namespace
