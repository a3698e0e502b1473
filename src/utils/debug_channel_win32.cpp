#include <windows.h>

#include "utils/debug_channel.h"
#include "utils/debug_stream.h"
#include "utils/win_handles.h"

namespace varnel {
namespace {

struct DebugChannelState {
  UINT viewerMessage = 0;
};

DebugChannelState& Channel() {
  static DebugChannelState state;
  return state;
}

UINT ViewerMessage() {
  DebugChannelState& s = Channel();
  if (s.viewerMessage == 0) s.viewerMessage = RegisterWindowMessageA(kDebugViewerMessage);
  return s.viewerMessage;
}

void AppendToDebugFile(const std::string& text, const char* path) {
  FileHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  SetFilePointer(file.get(), 0, nullptr, FILE_END);
  std::string normal = NormalizeLineBreaks(text);
  DWORD written = 0;
  WriteFile(file.get(), normal.data(), static_cast<DWORD>(normal.size()), &written, nullptr);
}

void SendToViewer(const std::string& text) {
  HWND viewer = FindWindowA(kDebugViewerClass, nullptr);
  if (!viewer) return;
  // An atom holds at most 255 characters; pieces are at most 128.
  ATOM atom = GlobalAddAtomA(text.c_str());
  if (atom == 0) return;
  SendMessageA(viewer, ViewerMessage(), kDebugSenderCode, static_cast<LPARAM>(atom));
  GlobalDeleteAtom(atom);
}

}  // namespace

void DebugSendWithMode(const std::string& text, std::uint8_t mode, const char* filePath) {
  if (text.empty()) return;
  if (mode == kDebugToFile || mode == kDebugToFileAndViewer) AppendToDebugFile(text, filePath);
  if (mode == kDebugToViewer || mode == kDebugToFileAndViewer) SendToViewer(text);
}

void DebugSend(const std::string& text) { DebugSendWithMode(text, kDebugOutputMode); }

void InitDebugStream() {
  ViewerMessage();
  SetDebugSink(DebugSend);
}

}  // namespace varnel
