#include "download/download_rules.h"

#include "utils/text_format.h"
#include "utils/text_rules.h"

namespace varnel {
namespace {

char UpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// True when text begins with prefix, ASCII letters in any case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (UpperChar(text[i]) != UpperChar(prefix[i])) return false;
  return true;
}

// 1-based position of the first occurrence (any case), 0 when absent.
std::size_t Pos(const std::string& upperText, const char* upperNeedle) {
  const std::size_t at = upperText.find(upperNeedle);
  return at == std::string::npos ? 0 : at + 1;
}

std::string Decimal(std::uint64_t value) { return DecimalText(value); }

// " (detail)" when there is a detail.
void AppendDetail(std::string& text, std::string_view detail) {
  if (detail.empty()) return;
  text += " (";
  text += detail;
  text += ')';
}

// prefix + subject + suffix, then " (detail)" when there is a detail.
std::string Joined(const char* prefix, std::string_view subject, const char* suffix,
                   std::string_view detail = {}) {
  std::string text = prefix;
  text += subject;
  text += suffix;
  AppendDetail(text, detail);
  return text;
}

}  // namespace

std::string DownloadUrl(const std::string& url) {
  if (StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://")) return url;
  return "http://" + url;
}

std::string PartialFileName(const std::string& destination, std::uint64_t length,
                            std::uint32_t lastModifiedStamp) {
  const std::uint32_t n = static_cast<std::uint32_t>(length) + lastModifiedStamp;
  std::string name = destination;
  name += '.';
  name += Decimal(n);
  return name;
}

bool IsPartialFileOf(std::string_view destinationName, std::string_view name) {
  if (name.size() < destinationName.size() + 2 || !StartsWithNoCase(name, destinationName)) return false;
  if (name[destinationName.size()] != '.') return false;
  for (std::size_t i = destinationName.size() + 1; i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

std::string_view FileLabel(std::string_view url) {
  // npos + 1 is 0: no slash keeps the whole url.
  return url.substr(url.find_last_of("/\\") + 1);
}

namespace {

// Decimal digits at `at` (at least one, no overflow); moves `at` past them.
bool TakeNumber(std::string_view text, std::size_t& at, std::uint64_t& value) {
  const std::size_t start = at;
  std::uint64_t n = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    const unsigned d = static_cast<unsigned>(text[at] - '0');
    if (n > (UINT64_MAX - d) / 10) return false;
    n = n * 10 + d;
  }
  value = n;
  return at > start;
}

}  // namespace

bool ParseContentRange(std::string_view text, ContentRange& range) {
  std::size_t at = 0;
  while (at < text.size() && text[at] == ' ') ++at;
  if (!StartsWithNoCase(text.substr(at), "bytes ")) return false;
  at += 6;
  while (at < text.size() && text[at] == ' ') ++at;
  ContentRange r;
  if (!TakeNumber(text, at, r.first) || at >= text.size() || text[at++] != '-') return false;
  if (!TakeNumber(text, at, r.last) || r.last < r.first || at >= text.size() || text[at++] != '/') return false;
  if (at < text.size() && text[at] == '*') {
    ++at;
  } else {
    std::uint64_t total = 0;
    if (!TakeNumber(text, at, total) || total > static_cast<std::uint64_t>(INT64_MAX) || total <= r.last)
      return false;
    r.total = static_cast<std::int64_t>(total);
  }
  while (at < text.size() && (text[at] == ' ' || text[at] == '\r' || text[at] == '\n')) ++at;
  if (at != text.size()) return false;
  range = r;
  return true;
}

std::string ResumeValidator(std::string_view etag, std::string_view lastModified) {
  // A weak ETag may not validate a range.
  if (etag.size() >= 2 && etag.front() == '"' && etag.back() == '"') return std::string(etag);
  return std::string(lastModified);
}

std::string RangeRequestHeaders(std::uint64_t from, std::string_view validator) {
  std::string text = "Range: bytes=";
  text += Decimal(from);
  text += "-\r\n";
  if (!validator.empty()) {
    text += "If-Range: ";
    text += validator;
    text += "\r\n";
  }
  return text;
}

std::uint32_t ChunkSize(std::uint64_t length) {
  const std::uint64_t tenth = length / 10;
  return static_cast<std::uint32_t>(tenth < 1 ? 1 : tenth > kChunkBytes ? kChunkBytes : tenth);
}

ProgressPlan::ProgressPlan(std::uint64_t total) : length(total) {
  const std::uint64_t chunk = ChunkSize(length);
  std::uint64_t chunks = (length + chunk - 1) / chunk;
  bytesPerStep = chunk;
  if (chunks > kMaxProgressSteps) {
    bytesPerStep = (length + kMaxProgressSteps - 1) / kMaxProgressSteps;
    chunks = (length + bytesPerStep - 1) / bytesPerStep;
  }
  steps = chunks;
  maximum = static_cast<int>(chunks + 1);
}

std::string InitFailedText() { return "Unable to initialize \"WinINet.dll\""; }

bool IsCertificateError(unsigned long errorCode) {
  switch (errorCode) {
    case 12037:  // certificate date invalid
    case 12038:  // certificate host name invalid
    case 12045:  // certificate authority not trusted
    case 12057:  // revocation check failed
    case 12169:  // certificate invalid
    case 12175:  // secure channel failure
      return true;
    default:
      return false;
  }
}

std::string OpenFailedText(std::string_view url, unsigned long errorCode, std::string_view systemText) {
  const bool certificate = IsCertificateError(errorCode);
  if (!certificate && (errorCode == 0 || !systemText.empty()))
    return Joined("Unable to open Internet Connection: ", url, "", systemText);
  std::string text = Joined("Unable to open Internet Connection: ", url,
                            certificate ? " (the server's certificate was refused (error " : " (error ");
  text += Decimal(errorCode);
  text += certificate ? "))" : ")";
  return text;
}

std::string FileNotFoundText(std::string_view url) { return Joined("", url, " --- File Not Found !"); }

std::string StatusErrorText(std::string_view url, unsigned status) {
  std::string text = Joined("", url, " --- HTTP status ");
  text += Decimal(status);
  return text;
}

std::string ReadFailedText(std::string_view label, std::string_view detail) {
  return Joined("", label, " --- Error downloading file", detail);
}

std::string AbortedText() { return "Download Aborted"; }

std::string IncompleteText(std::string_view label, std::uint64_t received, std::uint64_t expected) {
  std::string text = Joined("", label, " --- Download incomplete: ");
  text += Decimal(received);
  text += " of ";
  text += Decimal(expected);
  text += " bytes";
  return text;
}

std::string TooLargeText(std::string_view label, std::uint64_t limit) {
  std::string text = Joined("", label, " --- Download too large: more than ");
  text += Decimal(limit);
  text += " bytes";
  return text;
}

std::string WrongLengthText(std::string_view label, std::uint64_t announced, std::uint64_t expected) {
  std::string text = Joined("", label, " --- The server announces ");
  text += Decimal(announced);
  text += " bytes, expected ";
  text += Decimal(expected);
  return text;
}

std::string StalledText(std::string_view label, std::uint32_t ms) {
  std::string text = Joined("", label, " --- No data for ");
  text += Decimal((ms + 999) / 1000);
  text += " seconds";
  return text;
}

std::string WriteFailedText(std::string_view path, std::string_view detail) {
  return Joined("Unable to write ", path, "", detail);
}

std::string RenameFailedText(std::string_view from, std::string_view to, std::string_view detail) {
  std::string text = Joined("Unable to rename ", from, " to ");
  text += to;
  AppendDetail(text, detail);
  return text;
}

bool HTTP_Is404Page(std::string_view text) {
  const std::string t = UpperAscii(std::string(text.substr(0, 1000)));
  const std::size_t title = Pos(t, "<TITLE");
  const std::size_t code = Pos(t, "404");
  const std::size_t titleEnd = Pos(t, "</TITLE>");
  const bool titled404 = title > 0 && title < code && code < titleEnd;
  const std::size_t html = Pos(t, "<HTML>");
  const std::size_t head = Pos(t, "<HEAD>");
  const std::size_t titleTag = Pos(t, "<TITLE>");
  const bool htmlPage = html > 0 && html < head && head < titleTag && titleTag < titleEnd;
  return titled404 || htmlPage;
}

std::string ErrorPageMessage(std::string_view url) {
  return Joined("<B>404 File Not Found...</B><P><P>URL:  ", url,
                ".<P><P>Please make sure the file is available and access is allowed to this file.");
}

std::string HTTP_404Message(std::string_view text, const std::string& url, const std::string& defaultText) {
  return HTTP_Is404Page(text) ? ErrorPageMessage(url) : defaultText;
}

}  // namespace varnel
