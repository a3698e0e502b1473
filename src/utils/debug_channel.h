// The debug-viewer channel: where the pieces of the debug stream go.
// A viewer owns a top-level window of class ".VDebug." and receives the
// registered message ".V_DebugMsg." with wParam 1 and a global atom holding
// the piece in lParam. In file mode the pieces are appended to a fixed file.
#pragma once
#include <cstdint>
#include <string>

namespace varnel {

enum DebugOutputMode : std::uint8_t {
  kDebugToViewer = 0,
  kDebugToFile = 1,
  kDebugToFileAndViewer = 2,
};
// The mode the stub is built with; 1 or 2 switch the debug file on.
constexpr std::uint8_t kDebugOutputMode = kDebugToViewer;

constexpr char kDebugFilePath[] = "C:\\ProgramData\\_vdebug.txt";
constexpr char kDebugViewerClass[] = ".VDebug.";
constexpr char kDebugViewerMessage[] = ".V_DebugMsg.";
constexpr unsigned kDebugSenderCode = 1;

// Makes every line break (CR LF, lone CR, lone LF) a CR LF. Platform-free.
std::string NormalizeLineBreaks(const std::string& text);

#ifdef _WIN32
// Call first thing in the process: registers the viewer message and makes
// DebugSend the sink of the debug stream.
void InitDebugStream();

// Delivers one piece by kDebugOutputMode: to a running viewer and/or the
// debug file. Never fails visibly; an undeliverable piece is dropped.
void DebugSend(const std::string& text);
// The same for an explicit mode (tests and tools).
void DebugSendWithMode(const std::string& text, std::uint8_t mode, const char* filePath = kDebugFilePath);
#endif

}  // namespace varnel
