// Rules for the files that the update agent fetches into its own folder:
// which names are acceptable, where the update folder may be looked up on
// the file system, the token proof of a fetched UPDATE or INFORM file and
// the texts told to the user. Platform-free.
#pragma once
#include <cstdint>
#include <string>

namespace varnel {

class AgentSettings;

// Fetch kinds.
enum FetchKind : int { kFetchInfo = 1, kFetchUpdate = 2, kFetchInform = 3 };

// The last element of a path, split on both "\" and "/".
std::string LastPathElement(const std::string& path);

// The names of the agent's own files in its folder.
struct AgentOwnNames {
  std::string agent;     // the agent's file name (update block item 2)
  std::string info;      // the .info file name
  std::string original;  // the .original file name
};

// The one name under which a fetched UPDATE or INFORM file lives in the
// agent folder: the last path element of `name`, or "" when that is empty,
// "." or "..", holds ":", a wildcard, a quote, "<", ">", "|" or a control
// character, ends in "." or a blank, is a device name (CON, NUL, COM1 …,
// with or without an extension), or names one of the agent's own files
// (the agent, its X_ copy, the .original or .info file; case ignored).
std::string CheckedFetchName(const std::string& name, const AgentOwnNames& own);

// A local folder ("C:…") or a share ("\\host\share", "//host/share").
bool IsFileSystemFolder(const std::string& folder);
// The update folder may be looked up on the file system only when the
// package's own update URL is a folder or share: a .info that came over
// HTTP must not send the agent to a share (Windows would offer the user's
// network credentials to that host) or into a local folder.
bool FileSystemFolderAllowed(const std::string& packageUpdateUrl);

// A path on a share: it begins with two slashes of either kind
// ("\\host\share\x.exe", "//host/x", "\\?\UNC\host\x").
bool IsSharePath(const std::string& path);
// A file named by a .info (RunningProcess) may lie on a share only when
// the folder the .info came from is itself a share (the package's own
// update URL, or the test folder in test mode); otherwise the agent never
// touches such a path, not even to ask for its short form, which would
// offer the user's network credentials to the host the .info names.
bool SharePathAllowed(const std::string& path, const std::string& infoSourceFolder);

// The text of the attention box after a failed UPDATE or INFORM fetch, with
// the [AutoUpdate] texts of the settings: s3 after an abort; path +
// "<P><P>" + s4 for a local folder or share (":" second or "\\" first);
// path + "<P><P>" + s5 otherwise. Only the text shown is read.
std::string FetchAttentionText(const std::string& path, bool aborted, const AgentSettings& settings);

// The caption of the fetch on the status label: key s31, s32 or s33.
const char* FetchCaptionKey(int kind);

// The raw (scrambled) token field of an INFORM file: the text unscrambled
// when it begins with "Scrambled=01", then its item after the first "|".
std::string InformFileRawToken(const std::string& informText);
// Two scrambled tokens belong together: both unscramble to a non-empty
// token and the two are equal (case counts). A missing or damaged token
// never matches, not even another damaged one.
bool TokensMatch(const std::string& ownRawToken, const std::string& fileRawToken);

// A .info read into memory larger than this is a failed fetch.
constexpr std::int64_t kMaxInfoFileBytes = 1 << 20;
// Likewise an INFORM file (a notice text): it is never read beyond this.
constexpr std::int64_t kMaxInformFileBytes = 1 << 20;

// Signed updates (a package that carries a key). The .info's [General]
// ExpiresUTC (whole seconds since 1970-01-01 00:00 UTC) must lie after
// `nowUtc`: "" when it does, else the reason for the agent log. A missing
// or malformed value is a refusal too.
std::string ExpiryRefusal(const std::string& expiresItem, std::uint64_t nowUtc);
// A fetched UPDATE or INFORM file against its signed items: exactly the
// signed size (no tolerance) and the signed SHA-256 (64 hexadecimal
// digits; a missing one is a refusal). "" when it matches, else the reason.
std::string SignedFileRefusal(std::int64_t signedSize, const std::string& signedHash, std::int64_t size,
                              const unsigned char* digest);

}  // namespace varnel
