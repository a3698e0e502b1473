#include "download/download_rules.h"

#include "utils/text_rules.h"

namespace varnel {
namespace {

bool StartsWithNoCase(const std::string& text, std::string_view prefix) {
  return text.size() >= prefix.size() && UpperAscii(text.substr(0, prefix.size())) == UpperAscii(std::string(prefix));
}

// 1-based position of the first occurrence (any case), 0 when absent.
std::size_t Pos(const std::string& upperText, const char* upperNeedle) {
  const std::size_t at = upperText.find(upperNeedle);
  return at == std::string::npos ? 0 : at + 1;
}

std::string Decimal(std::uint64_t value) { return std::to_string(value); }

std::string WithDetail(std::string text, const std::string& detail) {
  if (!detail.empty()) text += " (" + detail + ")";
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
  return destination + "." + Decimal(n);
}

bool IsPartialFileOf(const std::string& destinationName, const std::string& name) {
  if (name.size() < destinationName.size() + 2) return false;
  if (UpperAscii(name.substr(0, destinationName.size())) != UpperAscii(destinationName)) return false;
  if (name[destinationName.size()] != '.') return false;
  for (std::size_t i = destinationName.size() + 1; i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

std::string FileLabel(const std::string& url) {
  const std::size_t slash = url.find_last_of("/\\");
  return slash == std::string::npos ? url : url.substr(slash + 1);
}

std::uint32_t ChunkSize(std::uint64_t length) {
  const std::uint64_t tenth = length / 10;
  return static_cast<std::uint32_t>(tenth < 1 ? 1 : tenth > kChunkBytes ? kChunkBytes : tenth);
}

ProgressPlan::ProgressPlan(std::uint64_t length) {
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

std::string OpenFailedText(const std::string& url, unsigned long errorCode, const std::string& systemText) {
  std::string detail = systemText;
  if (IsCertificateError(errorCode))
    detail = "the server's certificate was refused (error " + Decimal(errorCode) + ")";
  else if (detail.empty() && errorCode != 0)
    detail = "error " + Decimal(errorCode);
  return WithDetail("Unable to open Internet Connection: " + url, detail);
}

std::string FileNotFoundText(const std::string& url) { return url + " --- File Not Found !"; }

std::string StatusErrorText(const std::string& url, unsigned status) {
  return url + " --- HTTP status " + Decimal(status);
}

std::string ReadFailedText(const std::string& label, const std::string& detail) {
  return WithDetail(label + " --- Error downloading file", detail);
}

std::string AbortedText() { return "Download Aborted"; }

std::string IncompleteText(const std::string& label, std::uint64_t received, std::uint64_t expected) {
  return label + " --- Download incomplete: " + Decimal(received) + " of " + Decimal(expected) + " bytes";
}

std::string WriteFailedText(const std::string& path, const std::string& detail) {
  return WithDetail("Unable to write " + path, detail);
}

std::string RenameFailedText(const std::string& from, const std::string& to, const std::string& detail) {
  return WithDetail("Unable to rename " + from + " to " + to, detail);
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

std::string ErrorPageMessage(const std::string& url) {
  return "<B>404 File Not Found...</B><P><P>URL:  " + url + "." +
         "<P><P>Please make sure the file is available and access is allowed to this file.";
}

std::string HTTP_404Message(std::string_view text, const std::string& url, const std::string& defaultText) {
  return HTTP_Is404Page(text) ? ErrorPageMessage(url) : defaultText;
}

}  // namespace varnel
