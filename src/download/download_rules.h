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
// A transfer that receives no byte for this long has failed: the stall
// deadline. It covers the wait for the reply's headers and every read.
constexpr std::uint32_t kStallDeadlineMs = 30000;

// What a caller knows of the file it asks for. The transfer fails as soon
// as it breaks a limit, and its partial file is removed.
struct DownloadLimits {
  // The file's size when known (the signed size, SizeOfUpdateFile, the
  // download block's size item): an announced length or a body of another
  // size fails. 0 when not known.
  std::uint64_t expectedBytes = 0;
  // With no known size: a body longer than this fails (0: no cap).
  std::uint64_t capBytes = 0;
  // No byte for this long fails the transfer.
  std::uint32_t stallMs = kStallDeadlineMs;
  // A transfer that breaks off continues where it stopped (a Range request
  // validated by If-Range), and its partial file stays for a later call.
  bool resume = false;
};
// Resumes after a break: at most this many, after pauses of 1, 2, 4 s.
constexpr unsigned kResumeTries = 3;
constexpr std::uint32_t kResumePauseMs = 1000;

// The If-Range validator of a reply: its ETag when that is a strong one,
// else its Last-Modified text; empty when it has neither.
std::string ResumeValidator(std::string_view etag, std::string_view lastModified);
// "Range: bytes=FROM-\r\n" and, with a validator, "If-Range: V\r\n".
std::string RangeRequestHeaders(std::uint64_t from, std::string_view validator);
// The cap of a small text file (.INFO, INFORM).
constexpr std::uint64_t kSmallFileCapBytes = 1u << 20;

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

// A Content-Range header "bytes FIRST-LAST/TOTAL" (TOTAL may be "*").
struct ContentRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  std::int64_t total = -1;  // -1 when "*"
};
// False when the text is not of that form (or LAST < FIRST).
bool ParseContentRange(std::string_view text, ContentRange& range);

// Bytes asked for per read: a tenth of the length, kept between 1 and 8192.
std::uint32_t ChunkSize(std::uint64_t length);

// How the main bar follows the bytes: Start(1, maximum), then StepsDue(done)
// steps in all once `done` bytes have arrived. A file of up to 10000 chunks
// steps once per chunk (maximum = ceil(length / chunk) + 1); a larger one
// in 10000 even parts. A step is due for every part completed, and the last
// one with the last byte, so that the final step carries the final text
// however the reads fall.
struct ProgressPlan {
  explicit ProgressPlan(std::uint64_t length);
  int maximum = 1;
  std::uint64_t bytesPerStep = 1;
  std::uint64_t steps = 0;
  std::uint64_t length = 0;
  std::uint64_t StepsDue(std::uint64_t done) const {
    if (done >= length) return steps;
    const std::uint64_t due = done / bytesPerStep;
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
// Every reply but 200 (or 206 to a range request): 4xx, 5xx, 204, a 206
// nobody asked for, a 3xx that was not followed.
std::string StatusErrorText(std::string_view url, unsigned status);
std::string ReadFailedText(std::string_view label, std::string_view detail);
std::string AbortedText();
std::string IncompleteText(std::string_view label, std::uint64_t received, std::uint64_t expected);
// More bytes than the known size or the cap allow.
std::string TooLargeText(std::string_view label, std::uint64_t limit);
// The reply announces a length other than the known size.
std::string WrongLengthText(std::string_view label, std::uint64_t announced, std::uint64_t expected);
// No byte arrived within the stall deadline.
std::string StalledText(std::string_view label, std::uint32_t ms);
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
