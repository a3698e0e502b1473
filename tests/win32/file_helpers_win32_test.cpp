// File helpers under Wine: byte ranges, chunked writes, deletions, free
// space, drive searches and the path helpers.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utils/file_helpers.h"
#include "utils/private_folder.h"
#include "utils/wide_text_win32.h"
#include "utils_test_support.h"

namespace {

using namespace varnel;
using varnel_test::Exists;
using varnel_test::ScratchFolder;

TEST(ReadFilePart, RangesOfAFile) {
  ScratchFolder scratch("readpart");
  std::string file = scratch.path + "data.bin";
  std::string content = std::string("  \t head") + std::string(1, '\0') + "tail\r\n  ";
  ASSERT_TRUE(WriteFileText(file, content));
  struct Case {
    std::int64_t max;
    bool trim;
    std::int64_t start;
    std::string expected;
  } cases[] = {
      {0, false, 0, content},
      {4, false, 4, content.substr(4, 4)},
      {0, false, 9, content.substr(9)},
      {0, true, 0, std::string("head") + std::string(1, '\0') + "tail"},
      {1000, false, 0, content},                            // maximum beyond the end
      {0, false, static_cast<std::int64_t>(content.size()), ""},  // start at the end
      {0, false, 1000, ""},                                 // start beyond the end
      {0, false, -1, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReadFilePart(file, c.max, c.trim, c.start), c.expected) << c.max << " " << c.start;
  EXPECT_EQ(ReadFilePart(scratch.path + "missing.bin"), "");
  EXPECT_EQ(ReadFilePart(scratch.path), "");  // a folder
}

TEST(WriteFileText, ChunksFollowTheLength) {
  ScratchFolder scratch("write");
  std::string file = scratch.path + "out.bin";
  struct Case {
    std::size_t size;
    std::vector<std::int64_t> reports;
  } cases[] = {
      {500, {0, 500}},                          // 1024 bytes or less: one write
      {20000, {0, 2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000, 20000}},
      {5000, {0, 1024, 2048, 3072, 4096, 5000}},  // never below 1024
  };
  for (const Case& c : cases) {
    std::string text(c.size, 'z');
    std::vector<std::int64_t> reports;
    ASSERT_TRUE(WriteFileText(file, text, 0, false, [&](std::int64_t total, std::int64_t written, bool&) {
      EXPECT_EQ(total, static_cast<std::int64_t>(c.size));
      reports.push_back(written);
    }));
    EXPECT_EQ(reports, c.reports) << c.size;
    EXPECT_EQ(ReadFilePart(file), text);
  }
  // The callback can stop the write; the result tells it was not all written.
  int calls = 0;
  EXPECT_FALSE(WriteFileText(file, std::string(20000, 'q'), 0, false, [&](std::int64_t, std::int64_t, bool& stop) {
    stop = ++calls == 3;
  }));
  EXPECT_EQ(ReadFilePart(file).size(), 4000u);
}

TEST(WriteFileText, AppendDatesAndFailures) {
  ScratchFolder scratch("append");
  std::string file = scratch.path + "log.txt";
  ASSERT_TRUE(WriteFileText(file, "a"));
  ASSERT_TRUE(WriteFileText(file, "b", 0, true));
  ASSERT_TRUE(AppendFileText(file, "c", true));
  const FileDate date = 132000000000000000ULL;  // 2019
  ASSERT_TRUE(AppendFileText(file, "d", false, date));
  EXPECT_EQ(ReadFilePart(file), "abc\r\nd");
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ((static_cast<FileDate>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime,
            date);
  EXPECT_FALSE(WriteFileText(scratch.path + "no\\such\\folder\\x.txt", "x"));
  EXPECT_FALSE(AppendFileText(scratch.path + "no\\such\\folder\\x.txt", "x", true));
}

TEST(DeleteFolderTree, RemovesNestedTreesWithReadOnlyFiles) {
  ScratchFolder scratch("tree");
  std::string root = scratch.path + "tree";
  CreateDirectoryA(root.c_str(), nullptr);
  CreateDirectoryA((root + "\\a").c_str(), nullptr);
  CreateDirectoryA((root + "\\a\\b").c_str(), nullptr);
  CreateDirectoryA((root + "\\c").c_str(), nullptr);
  WriteFileText(root + "\\top.txt", "1");
  WriteFileText(root + "\\a\\b\\deep.txt", "2");
  WriteFileText(root + "\\c\\ro.txt", "3");
  SetFileAttributesA((root + "\\c\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  std::vector<std::string> reported;
  EXPECT_TRUE(DeleteFolderTree(root + "\\", true, [&](const std::string& folder, bool&) {
    reported.push_back(folder.substr(root.size()));
  }));
  EXPECT_FALSE(Exists(root));
  EXPECT_EQ(reported.size(), 3u);
  EXPECT_FALSE(DeleteFolderTree(root, true));  // no longer there
}

TEST(DeleteFolderTree, RemovesLinksWithoutFollowingThem) {
  ScratchFolder scratch("links");
  const std::string target = scratch.path + "elsewhere";
  const std::string tree = scratch.path + "tree";
  CreateDirectoryA(target.c_str(), nullptr);
  WriteFileText(target + "\\keep.txt", "precious");
  CreateDirectoryA(tree.c_str(), nullptr);
  WriteFileText(tree + "\\mine.txt", "x");
  // A link inside the tree, and a tree that is itself a link.
  const std::string inner = tree + "\\link", outer = scratch.path + "outer";
  if (!CreateSymbolicLinkA(inner.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) ||
      !(GetFileAttributesA(inner.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) ||
      GetFileAttributesA(inner.c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "no folder links here (error " << GetLastError() << ")";
  EXPECT_TRUE(DeleteFolderTree(tree, true));
  EXPECT_FALSE(Exists(tree));
  const DWORD outerAttributes =
      CreateSymbolicLinkA(outer.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)
          ? GetFileAttributesA(outer.c_str())
          : INVALID_FILE_ATTRIBUTES;
  if (outerAttributes != INVALID_FILE_ATTRIBUTES && (outerAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    EXPECT_TRUE(DeleteFolderTree(outer, true));
    EXPECT_FALSE(Exists(outer));
  }
  EXPECT_EQ(ReadFilePart(target + "\\keep.txt"), "precious");
}

TEST(PrivateFolder, OnlyAFolderMadeHereForThisUser) {
  ScratchFolder scratch("private");
  FileHandle hold;
  // A folder that exists already (someone else's) is never taken.
  const std::string planted = scratch.path + "TEMP_12345";
  CreateDirectoryA(planted.c_str(), nullptr);
  WriteFileText(planted + "\\Engine.exe", "planted");
  EXPECT_FALSE(CreateFreshPrivateFolder(planted, hold));
  EXPECT_FALSE(hold);
  EXPECT_EQ(ReadFilePart(planted + "\\Engine.exe"), "planted");

  const std::string fresh = scratch.path + "TEMP_23456";
  ASSERT_TRUE(CreateFreshPrivateFolder(fresh, hold));
  EXPECT_TRUE(hold);
  // Held: it cannot be renamed away and replaced while in use.
  EXPECT_FALSE(MoveFileA(fresh.c_str(), (scratch.path + "moved").c_str()));
  EXPECT_TRUE(WriteFileText(fresh + "\\Engine.exe", "ours"));
  // Its access list names one user, with full control (where the system
  // keeps the list it was given: a protected one; Wine makes its own).
  DWORD size = 0;
  GetFileSecurityA(fresh.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  std::vector<char> sd(size ? size : 1);
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetFileSecurityA(fresh.c_str(), DACL_SECURITY_INFORMATION, sd.data(), size, &size));
  ASSERT_TRUE(GetSecurityDescriptorDacl(sd.data(), &present, &dacl, &defaulted));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(sd.data(), &control, &revision);
  if (control & SE_DACL_PROTECTED) {
    ASSERT_TRUE(present && dacl);
    EXPECT_EQ(dacl->AceCount, 1);
  }
  hold.reset();
  EXPECT_TRUE(DeleteFolderTree(fresh, false));
}

TEST(DeleteFilesByMask, DeletesMatchesOnly) {
  ScratchFolder scratch("mask");
  WriteFileText(scratch.path + "one.tmp", "1");
  WriteFileText(scratch.path + "two.tmp", "2");
  WriteFileText(scratch.path + "keep.txt", "3");
  SetFileAttributesA((scratch.path + "two.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(DeleteFilesByMask(scratch.path + "*.tmp", true));
  EXPECT_FALSE(Exists(scratch.path + "one.tmp"));
  EXPECT_FALSE(Exists(scratch.path + "two.tmp"));
  EXPECT_TRUE(Exists(scratch.path + "keep.txt"));
  EXPECT_FALSE(DeleteFilesByMask(scratch.path + "*.none", true));
}

TEST(DiskAndDrives, FreeSpaceSearchesAndEject) {
  EXPECT_GT(DiskFreeBytes(TempFolder(true) + "some\\file.txt"), 0.0);
  EXPECT_GT(DiskFreeBytes("c:\\no\\such\\folder"), 0.0);  // falls back to the drive root
  EXPECT_EQ(DiskFreeBytes(""), 0.0);
  EXPECT_FALSE(EjectCD(TempFolder(true)));  // a hard disk
  EXPECT_FALSE(EjectCD("1:\\x"));

  // The drive root is tested before any sub-folder, so this search ends at once.
  std::string marker = "C:\\varnel_search_marker.txt";
  ASSERT_TRUE(WriteFileText(marker, "m"));
  EXPECT_EQ(FindFileOnDrives("varnel_search_marker.txt", DRIVE_FIXED), marker);
  DeleteFileA(marker.c_str());
  std::string temp = TempFolder(false);
  EXPECT_EQ(FindFolderOnDrives(temp, DRIVE_FIXED), temp);  // absolute: not searched
  EXPECT_EQ(FindFolderOnDrives("C:\\no\\such\\folder", DRIVE_FIXED), "");
  EXPECT_EQ(FindFolderOnDrives(temp, DRIVE_CDROM), "");
}

TEST(PathHelpers, TrailingBackslashAndOwnPaths) {
  struct Case {
    const char* path;
    bool add;
    const char* expected;
  } cases[] = {
      {"C:\\Dir\\", false, "C:\\Dir"}, {"C:\\Dir", true, "C:\\Dir\\"}, {"C:\\Dir\\", true, "C:\\Dir\\"},
      {"C:\\", false, "C:"},            {"C:\\", true, "C:\\"},         {"", true, "\\"},
      {"\\", false, "\\"},  // two characters or less keep their backslash
  };
  for (const Case& c : cases) EXPECT_EQ(SetTrailingBackslash(c.path, c.add), c.expected) << c.path;
  // UTF-8 for C:, a backslash, L with stroke (C5 81), a backslash: 0x81 is no
  // lead byte in UTF-8, whatever it is in Shift-JIS.
  EXPECT_EQ(SetTrailingBackslash("C:\\\xC5\x81\\", false), "C:\\\xC5\x81");

  std::string exe = ExePath(false);
  EXPECT_EQ(exe.substr(exe.size() - 15), "win32_tests.exe");
  EXPECT_EQ(ExePath(true), exe.substr(0, exe.size() - 4));
  EXPECT_EQ(ExeFolder(true) + "win32_tests.exe", exe);
  EXPECT_EQ(ExeFolder(false) + "\\win32_tests.exe", exe);
  EXPECT_EQ(TempFolder(false) + "\\", TempFolder(true));
}

// Names as UTF-8 reach Windows as the names they stand for: each file is
// checked by its wide name, and what the helpers find comes back as UTF-8.
TEST(UnicodePaths, FilesFoldersAndOwnPaths) {
  ScratchFolder scratch("unicode");
  const char* const names[] = {
      "\xC3\x9C" "bung \xC3\xA9t\xC3\xA9",  // Latin letters that the ANSI code page has too
      "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1 \xE6\x97\xA5\xE6\x9C\xAC",  // Greek and CJK: in no Western one
      "\xF0\x9F\x93\xA6 box",  // a character outside the 16-bit plane (two UTF-16 units)
  };
  for (const char* name : names) {
    const std::string folder = scratch.path + name;
    const std::wstring wideFolder = Wide(folder);
    ASSERT_TRUE(CreateDirectoryW(wideFolder.c_str(), nullptr)) << name;
    const std::string file = folder + "\\" + name + ".txt";
    ASSERT_TRUE(WriteFileText(file, "one")) << name;
    EXPECT_NE(GetFileAttributesW(Wide(file).c_str()), INVALID_FILE_ATTRIBUTES) << name;
    EXPECT_TRUE(AppendFileText(file, "two", false));
    EXPECT_EQ(ReadFilePart(file), "onetwo");
    EXPECT_GT(DiskFreeBytes(file), 0.0);
    // Found by a search: the name comes back as the same UTF-8.
    EXPECT_EQ(FindFolderOnDrives(folder, DRIVE_FIXED), folder);
    WriteFileText(folder + "\\other.tmp", "x");
    SetFileAttributesW(Wide(folder + "\\other.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(DeleteFilesByMask(folder + "\\*.tmp", true));
    EXPECT_EQ(GetFileAttributesW(Wide(folder + "\\other.tmp").c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(CreateDirectoryW(Wide(folder + "\\" + name).c_str(), nullptr));
    WriteFileText(folder + "\\" + name + "\\" + name, "deep");
    EXPECT_TRUE(DeleteFolderTree(folder, true)) << name;
    EXPECT_EQ(GetFileAttributesW(wideFolder.c_str()), INVALID_FILE_ATTRIBUTES) << name;
  }

  // The temporary folder as the system gives it, in UTF-8.
  const std::string temp = scratch.path + names[1];
  ASSERT_TRUE(CreateDirectoryW(Wide(temp).c_str(), nullptr));
  wchar_t saved[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
  SetEnvironmentVariableW(L"TMP", Wide(temp).c_str());
  EXPECT_EQ(TempFolder(true), temp + "\\");
  SetEnvironmentVariableW(L"TMP", n > 0 && n < MAX_PATH ? saved : nullptr);
}

}  // namespace
