// Writing setup files: the stub image followed by the package (header blocks,
// member blocks, trailer), optionally spread over several disk files, and the
// web installer that belongs to a full setup file. Platform-free and
// deterministic: the same inputs and seed give the same bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "package/package_format.h"

namespace varnel {

// Deterministic random source for the token padding (splitmix64).
class TokenRandom {
 public:
  explicit TokenRandom(std::uint64_t seed) : state_(seed) {}
  std::uint32_t Next();
  // Uniform-enough value in [0, bound); bound > 0.
  std::uint32_t Below(std::uint32_t bound) { return Next() % bound; }

 private:
  std::uint64_t state_;
};

// Stored form of a secret token: every byte of the scrambled token written
// as two uppercase hex digits, each raised by 50 ("0" -> "b", "F" -> "x").
// Values of up to 12 bytes give the usual 34 characters.
std::string ScrambleToken(const std::string& value, TokenRandom& random);
// A fresh 8-character token value (letters and digits) for a build.
std::string NewTokenValue(TokenRandom& random);

// One language section of the language list: its name ("English") and its
// "key=value" items in order.
struct LanguageSection {
  std::string name;
  std::vector<std::string> items;
};

// Header block 0. Each section is written as 0x01 name 0x01 item 0x01 ...
// and followed by the list separator 0x02; the list starts with 0x02.
std::string EncodeLanguageList(const std::vector<LanguageSection>& languages);

// Reads a language text file: one "key=value" item a line; blank lines and
// lines starting with "#" or ";" are skipped; a first item line of the form
// "[Name]" names the section, else `defaultName` (the file's stem) does.
// False with `error` set ("line 3: ...") for a line without "=" or one that
// holds a list separator byte.
bool ParseLanguageText(const std::string& text, const std::string& defaultName,
                       LanguageSection& section, std::string& error);

// Header block 1: "|" url "|" info file "|" agent file "|" token "|" hidden "|",
// followed by "key|" when the package carries an update key (readers take
// items by index, so a reader that knows five items reads it as before).
struct UpdateSettings {
  std::string url = "http:";
  std::string infoFile = ".info";
  std::string agentFile = ".exe";
  std::string token;  // stored (scrambled) form; empty for none
  std::string runHidden = "0";
  std::string publicKey;  // 128 hex digits (X and Y of the P-256 key); empty for none
};
std::string EncodeUpdateBlock(const UpdateSettings& update);

// Header block 2: "|" url "|" setup file "|" no local copy "|" token "|" size "|",
// followed by "hash|" in a web installer that knows its full setup file.
struct DownloadSettings {
  std::string url;
  std::string setupFileName;
  std::string noLocalCopy = "0";
  std::string token;      // stored (scrambled) form
  std::string setupFileSize;  // decimal byte count
  std::string setupHash;  // 64 hex digits: SHA-256 of the full setup file; empty for none
};
std::string EncodeDownloadBlock(const DownloadSettings& download);

// Packed DOS date (high 16 bits) and time (low 16 bits); 0 for a year
// outside 1980..2107.
std::uint32_t PackDosTime(int year, int month, int day, int hour, int minute, int second);

// A file to be carried in the package.
struct InputFile {
  std::string name;       // plain file name, may start with a "12345#" prefix
  std::string content;
  std::uint32_t time = 0; // packed DOS date/time, 0 = not set
  bool store = false;     // write the member blocks stored instead of deflated
};

// Why a name cannot be stored as a member: empty when it can.
std::string MemberNameProblem(const std::string& name);

// The member header text "|" name "|" time "|".
std::string MemberHeaderText(const std::string& nameItem, std::uint32_t time);

// The member blocks of one file: the file itself or, above kPieceSize bytes,
// its pieces ("name", "name.00002", ...). `nameItem` is the name as stored
// (for the engine with its "*" and arguments).
std::vector<std::string> MemberPayloads(const std::string& nameItem, const std::string& piecesName,
                                        const std::string& content, std::uint32_t time);

// Space table of a set of member files (entry 0 exact, entries 1..8 rounded
// to 512 ... 65,536 bytes; a file in pieces also counts as a whole).
struct SpaceTable {
  std::uint32_t entries[kSpaceTableEntries] = {};
};
SpaceTable ComputeSpaceTable(const std::vector<const InputFile*>& files);

// A stub image usable for a setup file: "MZ" at 0, "PE\0\0" at 0x100 and no
// package appended already. Empty when usable, else why not.
std::string StubImageProblem(const std::string& stub);

enum class SpanNaming {
  kSetupExe,  // setup.exe, setup.exe.002, setup.exe.003 ...
  kNumbered,  // setup.exe (starter), setup.exe.001, setup.exe.002 ...
};

struct BuildOptions {
  std::string stub;                         // the stub image bytes
  std::vector<LanguageSection> languages;   // header block 0
  UpdateSettings update;                    // header block 1
  bool withDownloadBlock = false;           // header block 2 present (H = 3)
  DownloadSettings download;                // when withDownloadBlock; a size of "auto"
                                            // is replaced by the setup file's own size
  InputFile engine;                         // written first, name followed by "*"
  std::string engineArgs;                   // text after the "*"
  std::vector<InputFile> files;
  int level = -1;                           // zlib level 0..9, -1 = zlib's default

  // Tokens given as plain values are scrambled by the build with a random
  // source seeded by `seed` (the setup file and its web installer get
  // different padding around the same value). A stored token set directly
  // in `update.token` / `download.token` is written as it is.
  std::uint64_t seed = 0;
  std::string updateTokenValue;
  std::string downloadTokenValue;

  // Trailer bytes.
  std::uint8_t buildByte = 1;
  std::uint8_t options = 0;                 // OptionFlag bits
  std::uint8_t webInstaller = 0;
  std::uint8_t askBeforeDownload = 0;
  std::uint8_t writeUpdateAgent = 0;
  std::uint8_t updateAgent = 0;
  std::uint8_t reserved20[8] = {};
  std::uint8_t reserved64 = 0;
  std::uint32_t checksum = kNoChecksum;
  // Write the real file checksum into every file small enough to be checked
  // (at most kChecksumMaxFileSize bytes); larger files keep `checksum`.
  bool computeChecksum = false;

  // Data written after the trailer; with it (or with endPointer) the package
  // end pointer at 0xF8 is set to the offset just past the trailer.
  bool endPointer = false;
  std::string appended;

  // Spread over disk files of at most spanSize bytes each (0 = one file).
  std::uint64_t spanSize = 0;
  SpanNaming spanNaming = SpanNaming::kSetupExe;
};

// One file of a build: `suffix` is appended to the output path ("" for the
// setup file itself, ".001", ".002" ...).
struct BuiltFile {
  std::string suffix;
  std::string bytes;
};

// Writes the setup file (or its disk files). False with `error` set for bad
// input: an unusable stub, a name that cannot be stored, an engine in pieces,
// a span size too small for a member, text that breaks a header block.
bool BuildSetup(const BuildOptions& options, std::vector<BuiltFile>& files, std::string& error);

// Writes the web installer that fetches the full setup file built from
// `options` (whose download block it carries): the stub, the three header
// blocks, no members, the web-installer byte set. `fullSetupSize` fills a
// download size of "auto".
bool BuildWebInstaller(const BuildOptions& options, std::uint64_t fullSetupSize,
                       std::string& bytes, std::string& error);

// The update agent that the extraction writes beside the members: the setup
// file's first `firstMemberPosition` bytes with the low half of the end
// pointer cleared, followed by the setup file's trailer marked as an agent.
std::string MakeUpdateAgentCopy(const std::string& headPart, const Trailer& setupTrailer);

}  // namespace varnel
