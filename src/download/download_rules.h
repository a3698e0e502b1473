// The platform-free rules of a download: which address is opened, how the
// partial file is named and which left-overs are removed, how the transfer is
// cut into chunks and progress steps, the error texts, and how a server's
// HTML error page is recognised.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace varnel {

// Content length assumed when a reply has none.
constexpr std::uint64_t kUnknownLength = 4294967295u;
constexpr std::uint32_t kChunkBytes = 8192;
// The main bar gets at most this many steps, however large the file.
constexpr std::uint64_t kMaxProgressSteps = 10000;

// The address the download opens: used as it is when it starts with a
// scheme ("http://" or "https://", any case), otherwise "http://" + url.
std::string DownloadUrl(const std::string& url);

// destination + "." + N, N = (length + stamp) as an unsigned 32-bit sum.
std::string PartialFileName(const std::string& destination, std::uint64_t length,
                            std::uint32_t lastModifiedStamp);
// True when `name` (a plain file name) is the destination's name + "." +
// one or more digits: the only files that the clean-up before a download
// removes.
bool IsPartialFileOf(std::string_view destinationName, std::string_view name);

// The last path element of the URL after "/" became "\" (a view into url).
std::string_view FileLabel(std::string_view url);

// Bytes asked for per read: a tenth of the length, kept between 1 and 8192.
std::uint32_t ChunkSize(std::uint64_t length);

// How the main bar follows the bytes: Start(1, maximum), then StepsDue(done)
// steps in all once `done` bytes have arrived. A file of up to 10000 chunks
// steps once per chunk (maximum = ceil(length / chunk) + 1); a larger one
// in 10000 even parts.
struct ProgressPlan {
  explicit ProgressPlan(std::uint64_t length);
  int maximum = 1;
  std::uint64_t bytesPerStep = 1;
  std::uint64_t steps = 0;
  std::uint64_t StepsDue(std::uint64_t done) const {
    // A step for every part begun: the last, shorter chunk steps too.
    const std::uint64_t due = (done + bytesPerStep - 1) / bytesPerStep;
    return due < steps ? due : steps;
  }
};

// Error texts of a download.
std::string InitFailedText();                                   // the session could not be opened
// The address could not be opened; errorCode (a system or WinINet error, 0
// for none) adds a reason: the system's text, or for a refused server
// certificate "the server's certificate was refused (error N)".
std::string OpenFailedText(std::string_view url, unsigned long errorCode = 0, std::string_view systemText = {});
bool IsCertificateError(unsigned long errorCode);
std::string FileNotFoundText(std::string_view url);              // the content length is 0
std::string StatusErrorText(std::string_view url, unsigned status);  // 4xx, 5xx
std::string ReadFailedText(std::string_view label, std::string_view detail);
std::string AbortedText();
std::string IncompleteText(std::string_view label, std::uint64_t received, std::uint64_t expected);
std::string WriteFailedText(std::string_view path, std::string_view detail);
std::string RenameFailedText(std::string_view from, std::string_view to, std::string_view detail);

// True when the text (only its first 1000 characters count) is an error
// page: a TITLE element holding "404", or <HTML>, <HEAD>, <TITLE>, </TITLE>
// in this order (any case).
bool HTTP_Is404Page(std::string_view text);
// The message shown for an error page at `url`.
std::string ErrorPageMessage(std::string_view url);
// ErrorPageMessage(url) when the text is an error page, else defaultText.
std::string HTTP_404Message(std::string_view text, const std::string& url, const std::string& defaultText);

}  // namespace varnel
