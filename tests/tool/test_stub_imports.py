#!/usr/bin/env python3
"""Stub.exe names every path through the wide ("W") functions of Windows.

An ANSI function that takes or gives a path can't name a file whose name
holds characters outside the system's code page (a user name in Cyrillic on
a Western Windows puts %TEMP% out of reach). This reads both stubs' import
tables with mingw's objdump and fails on any such function. The functions
that only take texts from packages (window texts, message boxes) may stay
ANSI and are not listed here."""
import os
import re
import subprocess
import sys
import unittest

ROOT = os.environ.get("VARNEL_ROOT") or os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
OBJDUMP = "x86_64-w64-mingw32-objdump"
STUBS = ["dist/Stub.exe", "dist/win64/Stub.exe"]

# Functions that take or give a path, a command line, a user name or an
# environment value in the ANSI code page. The toolhelp walk's ANSI
# functions carry no "A" (Process32First), nor do the C runtime's.
PATH_TAKING = {
    # kernel32: files and folders
    "CreateFileA", "DeleteFileA", "GetFileAttributesA", "GetFileAttributesExA", "SetFileAttributesA",
    "FindFirstFileA", "FindFirstFileExA", "FindNextFileA", "MoveFileA", "MoveFileExA", "CopyFileA",
    "CreateDirectoryA", "RemoveDirectoryA", "GetTempPathA", "GetTempFileNameA", "GetShortPathNameA",
    "GetLongPathNameA", "GetFullPathNameA", "GetCurrentDirectoryA", "SetCurrentDirectoryA",
    "GetDiskFreeSpaceA", "GetDiskFreeSpaceExA", "GetDriveTypeA", "GetVolumeInformationA",
    "GetWindowsDirectoryA", "GetSystemDirectoryA", "GetSystemWindowsDirectoryA", "OpenFile",
    "GetPrivateProfileStringA", "GetPrivateProfileIntA", "GetPrivateProfileSectionA",
    "WritePrivateProfileStringA", "WritePrivateProfileSectionA",
    # kernel32: the program, processes, environment
    "GetModuleFileNameA", "CreateProcessA", "GetCommandLineA", "GetEnvironmentVariableA",
    "ExpandEnvironmentStringsA", "QueryFullProcessImageNameA", "GetModuleFileNameExA",
    "K32GetModuleFileNameExA", "GetProcessImageFileNameA", "K32GetProcessImageFileNameA",
    "Process32First", "Process32Next", "Module32First", "Module32Next",
    # shell32, advapi32
    "ShellExecuteA", "ShellExecuteExA", "SHGetFolderPathA", "SHGetSpecialFolderPathA",
    "SHGetPathFromIDListA", "SHFileOperationA", "GetUserNameA",
    # the C runtime's file functions take ANSI paths too
    "fopen", "freopen", "_open", "_sopen", "_stat", "_stat32", "_stat64", "_stati64", "_access", "remove",
    "rename", "_unlink", "_mkdir", "_rmdir", "_chdir", "_findfirst", "_findfirst64",
}


def imports(path):
    """{dll: [function]} of a PE file's import tables (objdump -p)."""
    text = subprocess.run([OBJDUMP, "-p", path], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          check=True, timeout=120).stdout.decode("latin-1")
    found, dll = {}, None
    for line in text.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).lower()
            found[dll] = []
            continue
        # "\t<hint-rva> <hint> <name>" inside a DLL's table; a blank line ends it.
        m = re.match(r"\s+[0-9a-fA-F]+\s+\d+\s+(\S+)$", line)
        if dll and m:
            found[dll].append(m.group(1))
        elif not line.strip():
            dll = None
    return found


class StubImports(unittest.TestCase):
    def test_no_path_taking_ansi_function(self):
        for name in STUBS:
            with self.subTest(stub=name):
                path = os.path.join(ROOT, name)
                self.assertTrue(os.path.isfile(path), f"{name} is missing: run scripts/build.sh first")
                table = imports(path)
                self.assertIn("kernel32.dll", table, "no import table read")
                ansi = sorted(f"{dll}!{f}" for dll, names in table.items() for f in names if f in PATH_TAKING)
                self.assertFalse(ansi, f"{name} imports path-taking ANSI functions: " + " ".join(ansi))


if __name__ == "__main__":
    sys.exit(unittest.main())
