#include <windows.h>

#include "utils/debug_channel.h"
#include "utils/debug_stream.h"
#include "utils/wide_text_win32.h"
#include "utils/win_handles.h"

namespace varnel {
namespace {

// How long one piece may take to reach the viewer. A viewer that does not
// answer in time is taken for hung and sent nothing more.
constexpr UINT kViewerSendTimeoutMs = 1000;

struct DebugChannelState {
  UINT viewerMessage = 0;
  HWND hungViewer = nullptr;
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
  FileHandle file(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  SetFilePointer(file.get(), 0, nullptr, FILE_END);
  std::string normal = NormalizeLineBreaks(text);
  DWORD written = 0;
  WriteFile(file.get(), normal.data(), static_cast<DWORD>(normal.size()), &written, nullptr);
}

void SendToViewer(const std::string& text) {
  HWND viewer = FindWindowA(kDebugViewerClass, nullptr);
  if (!viewer || viewer == Channel().hungViewer) return;
  // An atom holds at most 255 characters; pieces are at most 128. Each byte
  // travels as the character of the same number, so the viewer gets the
  // bytes back whatever the system's code page (an ANSI atom would pass
  // UTF-8 through that code page).
  wchar_t name[256];
  std::size_t n = 0;
  for (; n < text.size() && n < 255; ++n) name[n] = static_cast<unsigned char>(text[n]);
  name[n] = L'\0';
  ATOM atom = GlobalAddAtomW(name);
  if (atom == 0) return;
  // Bounded: any window may carry the viewer's class, and one that stops
  // answering must not stop the setup with it.
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutA(viewer, ViewerMessage(), kDebugSenderCode, static_cast<LPARAM>(atom),
                           SMTO_ABORTIFHUNG, kViewerSendTimeoutMs, &answer))
    Channel().hungViewer = viewer;
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
  SetDebugProcessId(GetCurrentProcessId());
  ViewerMessage();
  SetDebugSink(DebugSend);
}

}  // namespace varnel
