// Shows the notice box for the end-to-end scenarios and describes it from
// inside the process (fonts can only be read there), one job per start.
//
//   notice-probe.exe show OUT TITLE BUTTON CHARSET SIZE FONT W H ADDRESS TEXTFILE
//        shows the box (TEXTFILE "-" = no text); while it is open, OUT.desc is
//        rewritten every 200 ms with lines key=value (below); when the call
//        returns, OUT gets "result=1" or "result=0"
//   notice-probe.exe resize W H      gives the open box this outer size
//   notice-probe.exe record FILE ARG appends ARG and a line end to FILE (a
//        stand-in handler for addresses opened by the shell)
//
// OUT.desc: title=, window=x,y,w,h, client=w,h, origin=x,y (the client
// area's top left on the screen), text=x,y,w,h (client
// coordinates), textface=, readonly=0|1, vscroll=0|1, content=
// (CR LF as \r\n), button=x,y,w,h or none, caption=, buttonface=,
// buttonheight=, default=0|1, focus=0|1
#include <windows.h>
#include <richedit.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "dialogs/notice_box.h"
#include "utils/file_helpers.h"

using namespace varnel;

namespace {

std::string g_descPath;

std::string Rect(HWND parent, HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  if (parent) MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  char buf[80];
  std::snprintf(buf, sizeof buf, "%ld,%ld,%ld,%ld", r.left, r.top, r.right - r.left,
                r.bottom - r.top);
  return buf;
}

std::string FontOf(HWND w, const char* faceKey, const char* heightKey) {
  LOGFONTA lf{};
  HFONT f = reinterpret_cast<HFONT>(SendMessageA(w, WM_GETFONT, 0, 0));
  if (!f || !GetObjectA(f, sizeof lf, &lf)) return std::string(faceKey) + "=\r\n";
  return std::string(faceKey) + "=" + lf.lfFaceName + "\r\n" + heightKey + "=" +
         std::to_string(lf.lfHeight) + "\r\n";
}

// A rich-text area keeps its font as the default character format.
std::string RichFace(HWND w) {
  CHARFORMATA cf{};
  cf.cbSize = sizeof cf;
  SendMessageA(w, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&cf));
  return std::string("textface=") + ((cf.dwMask & CFM_FACE) ? cf.szFaceName : "") + "\r\n";
}

std::string Text(HWND w) {
  const int n = GetWindowTextLengthA(w);
  std::string t(static_cast<std::size_t>(n) + 1, '\0');
  t.resize(static_cast<std::size_t>(GetWindowTextA(w, &t[0], n + 1)));
  std::string escaped;
  for (char c : t) escaped += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
  return escaped;
}

void CALLBACK Describe(HWND, UINT, UINT_PTR, DWORD) {
  HWND box = FindWindowA("VRichEditBox", nullptr);
  if (!box || GetWindowThreadProcessId(box, nullptr) != GetCurrentThreadId()) return;
  HWND text = FindWindowExA(box, nullptr, "RICHEDIT", nullptr);
  HWND button = FindWindowExA(box, nullptr, "Button", nullptr);
  RECT c{};
  GetClientRect(box, &c);
  POINT origin{0, 0};
  ClientToScreen(box, &origin);
  std::string d = "title=" + Text(box) + "\r\nwindow=" + Rect(nullptr, box) + "\r\nclient=" +
                  std::to_string(c.right) + "," + std::to_string(c.bottom) + "\r\norigin=" +
                  std::to_string(origin.x) + "," + std::to_string(origin.y) + "\r\n";
  if (text) {
    const LONG style = GetWindowLongA(text, GWL_STYLE);
    d += "text=" + Rect(box, text) + "\r\n" + RichFace(text) +
         "readonly=" + std::to_string((style & ES_READONLY) != 0) + "\r\nvscroll=" +
         std::to_string((style & WS_VSCROLL) != 0) + "\r\ncontent=" + Text(text) + "\r\n";
  }
  if (button) {
    d += "button=" + Rect(box, button) + "\r\ncaption=" + Text(button) + "\r\n" +
         FontOf(button, "buttonface", "buttonheight") + "default=" +
         std::to_string((GetWindowLongA(button, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON) +
         "\r\nfocus=" + std::to_string(GetFocus() == button) + "\r\n";
  } else {
    d += "button=none\r\n";
  }
  const std::string temp = g_descPath + ".tmp";
  if (WriteFileText(temp, d)) MoveFileExA(temp.c_str(), g_descPath.c_str(), MOVEFILE_REPLACE_EXISTING);
}

int Show(char** a) {
  const std::string out = a[2];
  std::string text;
  if (std::string(a[11]) != "-") text = ReadFilePart(a[11]);
  g_descPath = out + ".desc";
  SetTimer(nullptr, 0, 200, Describe);
  const bool shown = ShowNoticeBox(nullptr, a[3], a[4], std::atoi(a[5]), std::atoi(a[6]), a[7],
                                   std::atoi(a[8]), std::atoi(a[9]), a[10], text);
  return WriteFileText(out, shown ? "result=1\r\n" : "result=0\r\n") ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string job = argv[1];
  if (job == "show" && argc >= 12) return Show(argv);
  if (job == "resize" && argc >= 4) {
    HWND box = FindWindowA("VRichEditBox", nullptr);
    return box && SetWindowPos(box, nullptr, 0, 0, std::atoi(argv[2]), std::atoi(argv[3]),
                               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE)
               ? 0
               : 1;
  }
  if (job == "record" && argc >= 4) {
    FILE* f = std::fopen(argv[2], "ab");
    if (!f) return 1;
    std::fprintf(f, "%s\n", argv[3]);
    std::fclose(f);
    return 0;
  }
  return 2;
}
