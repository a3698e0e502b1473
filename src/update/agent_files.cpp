#include "update/agent_files.h"

#include <cstring>

#include "package/package_trailer.h"
#include "update/update_settings.h"
#include "utils/info_signature.h"
#include "utils/text_format.h"
#include "utils/text_rules.h"
#include "utils/text_scramble.h"

namespace varnel {
namespace {

bool IsSlash(char c) { return c == '\\' || c == '/'; }

bool IsDeviceName(const std::string& name) {
  // Windows takes a device name with any extension (and blanks before it)
  // as the device itself: "nul.txt" and "COM1 .exe" are devices too.
  std::string base = UpperAscii(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* device : kDevices)
    if (base == device) return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '0' && base[3] <= '9';
}

}  // namespace

std::string LastPathElement(const std::string& path) {
  std::size_t at = path.size();
  while (at > 0 && !IsSlash(path[at - 1])) --at;
  return path.substr(at);
}

std::string CheckedFetchName(const std::string& name, const AgentOwnNames& own) {
  const std::string last = LastPathElement(name);
  if (last.empty() || last == "." || last == "..") return std::string();
  for (unsigned char c : last)
    if (c < 32 || std::strchr(":*?\"<>|", c)) return std::string();  // c is never 0 at strchr
  // The system drops trailing dots and blanks, so "X_Agent.exe." would be
  // the agent's own copy.
  if (last.back() == '.' || last.back() == ' ') return std::string();
  if (IsDeviceName(last)) return std::string();
  const std::string upper = UpperAscii(last);
  const auto isOwn = [&upper](const std::string& ownName) {
    return !ownName.empty() && upper == UpperAscii(LastPathElement(ownName));
  };
  if (isOwn(own.agent) || isOwn(own.info) || isOwn(own.original)) return std::string();
  if (!own.agent.empty() && isOwn("X_" + own.agent)) return std::string();
  return last;
}

bool IsFileSystemFolder(const std::string& folder) {
  if (folder.size() < 2) return false;
  return folder[1] == ':' || (IsSlash(folder[0]) && IsSlash(folder[1]));
}

bool IsSharePath(const std::string& path) { return path.size() >= 2 && IsSlash(path[0]) && IsSlash(path[1]); }

bool SharePathAllowed(const std::string& path, const std::string& infoSourceFolder) {
  return !IsSharePath(path) || IsSharePath(infoSourceFolder);
}

bool FileSystemFolderAllowed(const std::string& packageUpdateUrl) { return IsFileSystemFolder(packageUpdateUrl); }

std::string FetchAttentionText(const std::string& path, bool aborted, const AgentSettings& settings) {
  if (aborted) return settings.AutoUpdateText("s3");
  const bool local = (path.size() > 1 && path[1] == ':') || path.compare(0, 2, "\\\\") == 0;
  std::string text = path;
  text.append("<P><P>").append(settings.AutoUpdateText(local ? "s4" : "s5"));
  return text;
}

const char* FetchCaptionKey(int kind) {
  switch (kind) {
    case kFetchUpdate: return "s32";
    case kFetchInform: return "s33";
    default: return "s31";
  }
}

std::string InformFileRawToken(const std::string& informText) {
  const std::string plain = ScrambleText(informText, false, false);
  const std::size_t first = plain.find('|');
  if (first == std::string::npos) return std::string();
  const std::size_t second = plain.find('|', first + 1);
  return plain.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
}

bool TokensMatch(const std::string& ownRawToken, const std::string& fileRawToken) {
  const std::string own = UnscrambleTokenWithPreset(ownRawToken, "");
  return !own.empty() && own == UnscrambleTokenWithPreset(fileRawToken, "");
}

std::string ExpiryRefusal(const std::string& expiresItem, std::uint64_t nowUtc) {
  const std::string text = TrimText(expiresItem);
  std::uint64_t expires = 0;
  bool valid = !text.empty() && text.size() <= 18;  // no overflow below 10^18
  for (char c : text) {
    if (c < '0' || c > '9') valid = false;
    else expires = expires * 10 + static_cast<unsigned>(c - '0');
  }
  std::string reason;
  if (!valid) {
    reason = "no valid ExpiresUTC";
  } else if (expires <= nowUtc) {
    reason = "expired (ExpiresUTC=";
    reason.append(text).append(")");
  }
  return reason;
}

std::string SignedFileRefusal(std::int64_t signedSize, const std::string& signedHash, std::int64_t size,
                              const unsigned char* digest) {
  std::string reason;
  Sha256Digest expected;
  if (!ParseHexBytes(TrimText(signedHash), expected.data(), expected.size())) {
    reason = "no signed SHA-256";
  } else if (size != signedSize) {
    reason = "size ";
    reason.append(DecimalText(size)).append(" is not the signed size ").append(DecimalText(signedSize));
  } else if (std::memcmp(expected.data(), digest, expected.size()) != 0) {
    reason = "SHA-256 ";
    reason.append(HexText(digest, expected.size())).append(" is not the signed one");
  }
  return reason;
}

}  // namespace varnel
