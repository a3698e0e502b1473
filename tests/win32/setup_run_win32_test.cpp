// The setup run's Win32 parts under Wine: waiting for the engine and the
// choice of the setup folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "package/engine_launch.h"
#include "package/temp_folder.h"
#include "package/temp_space.h"
#include "utils/file_helpers.h"
#include "utils/win_handles.h"

namespace {

using namespace varnel;

// Ends the test program with a message when a wait does not end: a hang
// must fail the run, not stall it.
class Watchdog {
 public:
  Watchdog(const char* what, DWORD ms) : done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = std::thread([this, what, ms] {
      if (WaitForSingleObject(done_, ms) == WAIT_TIMEOUT) {
        std::fprintf(stderr, "hung: %s\n", what);
        std::fflush(stderr);
        std::_Exit(1);
      }
    });
  }
  ~Watchdog() {
    SetEvent(done_);
    thread_.join();
    CloseHandle(done_);
  }

 private:
  HANDLE done_;
  std::thread thread_;
};

TEST(WaitForProcess, EndsForAnExitCodeOf259) {
  // 259 is also the code of a process that is still running.
  KernelHandle process(RunProgram("cmd.exe /c exit 259", SW_HIDE));
  ASSERT_TRUE(process);
  Watchdog watchdog("WaitForProcess with exit code 259", 30000);
  WaitForProcess(process.get());
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(process.get(), &code));
  EXPECT_EQ(code, 259u);
}

// The time-of-day half of the file's packed DOS time, as the setup folder's
// name takes it.
std::uint16_t DosTimeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  FILETIME local{};
  WORD date = 0, time = 0;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToDosDateTime(&local, &date, &time);
  return time;
}

TEST(SetupTempFolder, NoneWhenEveryNameIsHeld) {
  // The setup folder is chosen once per process, and other tests of this
  // program have chosen it: the test runs again in a fresh process.
  char child[8] = {};
  if (!GetEnvironmentVariableA("VARNEL_SETUP_FOLDER_CHILD", child, sizeof child)) {
    SetEnvironmentVariableA("VARNEL_SETUP_FOLDER_CHILD", "1");
    KernelHandle process(RunProgram("\"" + ExePath(false) +
                                        "\" --gtest_filter=SetupTempFolder.NoneWhenEveryNameIsHeld",
                                    SW_HIDE));
    SetEnvironmentVariableA("VARNEL_SETUP_FOLDER_CHILD", nullptr);
    ASSERT_TRUE(process);
    WaitForSingleObject(process.get(), 60000);
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u);
    return;
  }
  // Every candidate held by another running setup (its lock file open).
  const std::string base = TempFolder(true) + SetupFolderName(DosTimeOf(ExePath(false)));
  const std::string first = SetupFolderCandidate(base, 0);
  CreateDirectoryA(first.c_str(), nullptr);
  WriteFileText(first + "\\Engine.exe", "in use");
  std::vector<FileHandle> locks;
  for (int n = 0; n < 100; ++n) {
    locks.emplace_back(CreateFileA((SetupFolderCandidate(base, n) + ".lock").c_str(),
                                   GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    // A name the parent process holds is held all the same.
    ASSERT_TRUE(locks.back() || GetLastError() == ERROR_SHARING_VIOLATION) << n;
  }
  EXPECT_EQ(GetSetupTempFolder(), "");
  // The folder another setup uses is left as it is.
  EXPECT_EQ(ReadFilePart(first + "\\Engine.exe"), "in use");
  locks.clear();
  DeleteFolderTree(first, true);
}

}  // namespace
