// varnel-pack: writes setup files (stub + package) and reads them back.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "pack_commands.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "utils/wide_text_win32.h"
#endif

namespace varnel::pack {
namespace {

const char kHelp[] =
    "varnel-pack - build and inspect Varnel setup files\n"
    "\n"
    "usage:\n"
    "  varnel-pack build -o SETUP --stub STUB [--engine ENGINE] [options] [FILE...]\n"
    "  varnel-pack list FILE          trailer, flags, header blocks and every member\n"
    "  varnel-pack extract FILE DIR   unpack every member (following disk files)\n"
    "  varnel-pack verify FILE        magic, checksum, every member inflates\n"
    "  varnel-pack keygen --out PATH/NAME\n"
    "                                 a signing key: NAME.key (private, owner only)\n"
    "                                 and NAME.pub; prints its fingerprint\n"
    "  varnel-pack publish --key NAME.key --setup NEW_SETUP --version N\n"
    "                  --previous OLD_SETUP --out FOLDER [options]\n"
    "                                 a signed update folder (below)\n"
    "  varnel-pack --help\n"
    "\n"
    "build: inputs\n"
    "  -o, --output PATH         setup file to write (disk files get .001, .002 ...)\n"
    "  --stub PATH               the stub image (Stub.exe: \"MZ\", \"PE\" at 0x100)\n"
    "  --engine PATH[=NAME]      setup engine, written first and marked with \"*\"\n"
    "  --engine-args TEXT        text after the engine's \"*\" (e.g. \" /X\")\n"
    "  FILE, --file PATH[=NAME]  a file to carry, compressed (NAME: member name)\n"
    "  --stored PATH[=NAME]      a file to carry stored (uncompressed)\n"
    "  --store                   store every member uncompressed\n"
    "  --level N                 zlib level 0-9 (default: zlib's default, 6)\n"
    "  --time WHEN               member time: YYYY-MM-DDTHH:MM:SS or a packed DOS\n"
    "                            value (0: not set); default: each file's own time\n"
    "  --language FILE           language file (repeatable, order kept): lines\n"
    "                            key=value; \"#\"/\";\" comments; an optional first\n"
    "                            line [Name] names the section, else the file name\n"
    "                            up to its first \".\" does (English.lang -> English)\n"
    "  --seed N                  seed of the token padding (default: from inputs)\n"
    "build: update block\n"
    "  --update-url URL          (default \"http:\")\n"
    "  --info-file NAME          (default \".info\")\n"
    "  --agent-file NAME         (default \".exe\")\n"
    "  --update-token VALUE      secret token, scrambled by the tool; \"random\"\n"
    "  --update-token-stored T   token written as it is (already scrambled)\n"
    "  --run-hidden              item 4 = \"1\"\n"
    "  --update-key NAME.pub     item 5: the public key; agents installed from the\n"
    "                            setup, and its web installer, then take only\n"
    "                            what NAME.key signed (varnel-pack publish)\n"
    "build: download block (header count 3)\n"
    "  --download-url URL        base URL of the full setup file\n"
    "  --setup-name NAME         its file name (default: the output's name)\n"
    "  --setup-size N|auto       its size (default auto: the full file's own size)\n"
    "  --download-token VALUE    shared token (default: random from the seed)\n"
    "  --download-token-stored T token written as it is\n"
    "  --no-local-copy           item 2 = \"1\"\n"
    "  --web-installer PATH      also write the web installer for the setup file;\n"
    "                            it carries the setup file's SHA-256 (item 5)\n"
    "build: trailer\n"
    "  --temp-notice --more-disks --restart-from-temp --activity-bar\n"
    "  --agent-download-log      option bits 0-4\n"
    "  --options N               option byte as a number\n"
    "  --web-installer-flag --ask-before-download --write-update-agent\n"
    "  --update-agent            bytes 66-69\n"
    "  --build-byte N            byte 0 (default 1)\n"
    "  --reserved20 HEX16        bytes 20-27   --reserved64 N   byte 64\n"
    "  --checksum N|compute      stored checksum (default 1234: none); compute:\n"
    "                            the real one in files of at most 51,200 bytes\n"
    "  --end-pointer             set the package end pointer\n"
    "  --append FILE             data after the trailer (sets the end pointer)\n"
    "  --span SIZE               disk files of at most SIZE bytes (K, M, G suffixes)\n"
    "  --span-naming exe|001     exe: SETUP, SETUP.002 ...; 001: SETUP starts\n"
    "                            and restarts from SETUP.001, SETUP.002 ...\n"
    "\n"
    "publish: writes into FOLDER the new setup, NEW_SETUP.sig (its signature),\n"
    "the INFORM file, and last the signed .INFO named as the agents fetch it\n"
    "  --key NAME.key            the key that installed agents check\n"
    "  --setup PATH              the new setup file (its token must be the old\n"
    "                            one's; its update key the signing key); without\n"
    "                            it the .INFO names no file (VersionNew, Stamp,\n"
    "                            the expiry: \"nothing newer than N\")\n"
    "  --version N               VersionNew: the new setup's version (whole number)\n"
    "  --previous PATH           the setup or agent file installed copies came from\n"
    "                            (its token, key, .INFO name and update URL);\n"
    "                            default: the setup that FOLDER's .INFO names\n"
    "  --out FOLDER              the update folder (created when missing)\n"
    "  --info NAME.info          the .INFO's name (default and check: the old setup's)\n"
    "  --update-url URL          DownloadURL_UPDATE (default: the old setup's update URL)\n"
    "  --stamp N                 Stamp (default: the time, above FOLDER's old stamp)\n"
    "  --expires-days N          the .INFO's validity (default 30 days)\n"
    "  --inform FILE --inform-version N\n"
    "                            a notice instead of an update (AutoInform=1,\n"
    "                            VersionNew=N); FILE is the notice text (put in\n"
    "                            the INFORM form with the token) or an INFORM file\n"
    "  --set Key=Value           a [NewSetup]/[AutoInform] key agents read\n"
    "                            (RequestConfirmationBeforeDownload=0, ShutDownMethod=\n"
    "                            Using WM_CLOSE ...); Section.Key=Value for others\n"
    "  --rotate                  the new setup may carry another key (or none):\n"
    "                            agents take it signed by the current key\n"
    "  SOURCE_DATE_EPOCH         when set, publish's \"now\" (seconds since 1970)\n"
    "\n"
    "exit codes: 0 done, 1 failure (one line on stderr), 2 command-line mistake\n";

}  // namespace

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "varnel-pack: %s\n", message.c_str());
  return code;
}

bool SplitInlineValue(std::string& option, std::string& value) {
  const std::size_t equals = option.find('=');
  if (option.compare(0, 2, "--") != 0 || equals == std::string::npos) return false;
  value = option.substr(equals + 1);
  option.resize(equals);
  return true;
}

// The arguments as UTF-8. On Windows they come from the UTF-16 command
// line: the argv that the C runtime gives holds them in the ANSI code page,
// which can't name every path.
Args CommandArguments(int argc, char** argv) {
#ifdef _WIN32
  Args out;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide) {
    for (int i = 1; i < count; ++i) out.push_back(varnel::Utf8(wide[i]));
    LocalFree(wide);
    return out;
  }
#endif
  return Args(argv + 1, argv + argc);
}

}  // namespace varnel::pack

int main(int argc, char** argv) {
  using namespace varnel::pack;
  const Args all = CommandArguments(argc, argv);
  if (all.empty()) {
    std::fputs(kHelp, stderr);
    return 2;
  }
  const std::string command = all[0];
  Args args(all.begin() + 1, all.end());
  // The tool is built without exceptions: running out of memory ends it
  // with a message and code 1.
  std::set_new_handler([] {
    Fail("out of memory");
    std::exit(1);
  });
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (command == "build") return RunBuild(args);
  if (command == "list") return RunList(args);
  if (command == "extract") return RunExtract(args);
  if (command == "verify") return RunVerify(args);
  if (command == "keygen") return RunKeygen(args);
  if (command == "publish") return RunPublish(args);
  return Fail("unknown command " + command + " (see varnel-pack --help)", 2);
}
