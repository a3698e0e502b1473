#include "package/extraction.h"

#include "package/package_trailer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

namespace varnel {
namespace {

void PutU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string Deflate(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
            static_cast<uLong>(data.size()), Z_DEFAULT_COMPRESSION);
  out.resize(size);
  return out;
}

struct MemberSpec {
  std::string header;  // "|name|time|"
  std::string content;
  bool compressed = true;
};

struct PackageSpec {
  std::string image = std::string(512, 'S');  // stands in for the stub image
  std::vector<MemberSpec> members;
  std::uint8_t options = 0;
  std::uint32_t checksum = 1234;
  std::uint32_t magic = 0x4A3B2C1D;
  std::string afterTrailer;  // e.g. a signature, with the end pointer set
  int memberCount = -1;      // the trailer's member count; -1: the members given
  std::uint32_t trailerLength = 74;  // a shorter or longer trailer, as other writers make
};

// A package file laid out as the build tool writes it.
std::string BuildPackage(const PackageSpec& layout) {
  std::string p = layout.image;
  const std::uint32_t start = static_cast<std::uint32_t>(p.size());
  const std::string headers[] = {"\x02\x01" "English\x01s1=x\x01\x02", "|http:|.info|.exe||0|"};
  for (const std::string& h : headers) {
    PutU32(p, static_cast<std::uint32_t>(h.size()));
    p += h;
  }
  for (const MemberSpec& m : layout.members) {
    const std::string payload = m.header + std::string(1, '\0') + m.content;
    if (m.compressed) {
      const std::string z = Deflate(payload);
      PutU32(p, static_cast<std::uint32_t>(z.size()));
      p += z;
    } else {
      PutU32(p, static_cast<std::uint32_t>(-static_cast<std::int32_t>(payload.size())));
      p += payload;
    }
  }
  std::string t;
  t += '\x01';
  t += '\x02';
  t += std::string(2, '\0');
  PutU32(t, start);
  PutU32(t, static_cast<std::uint32_t>(layout.memberCount < 0 ? layout.members.size()
                                                              : static_cast<std::size_t>(layout.memberCount)));
  PutU32(t, layout.magic);
  PutU32(t, layout.checksum);
  t += std::string(8, '\x11');
  for (int i = 0; i < 9; ++i) PutU32(t, 1000u << i);
  t += '\0';
  t += static_cast<char>(layout.options);
  t += std::string(4, '\0');
  // Fields a shorter trailer does not reach are cut off; a longer one has
  // more bytes before its length field.
  t.resize(std::min<std::size_t>(70, layout.trailerLength - 4));
  t.resize(layout.trailerLength - 4, '\0');
  PutU32(t, layout.trailerLength);
  p += t;
  if (!layout.afterTrailer.empty()) {
    const std::uint32_t end = static_cast<std::uint32_t>(p.size());
    std::memcpy(&p[0xFC], &end, 4);  // little-endian host
    p += layout.afterTrailer;
  }
  return p;
}

class FakeHost : public ExtractionHost {
 public:
  std::map<std::string, std::string> files;  // every file: packages and written members
  std::map<std::string, std::uint32_t> times;
  std::vector<std::string> prompts;
  std::function<bool(int)> answer = [](int) { return false; };  // disk prompt: OK?
  int progressInit = -1;
  int progressSteps = 0;
  int failWrites = 0;  // the next n member writes fail
  int failAfter = -1;  // member writes fail once this many members are written
  bool failFolder = false;   // the destination folder cannot be made
  bool failReplace = false;  // the update agent cannot be written
  std::vector<std::string> opened;

  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  std::unique_ptr<ByteSource> OpenPackageFile(const std::string& path) override {
    opened.push_back(path);
    return std::make_unique<MemorySource>(files.at(path));
  }
  bool CreateFolderTree(const std::string&) override { return !failFolder; }
  bool AppendToFile(const std::string& path, const std::string& data, std::uint32_t time,
                    bool& created) override {
    created = false;
    if (failAfter >= 0 && writes() >= failAfter) return false;
    if (failWrites > 0) {
      --failWrites;
      return false;
    }
    created = files.count(path) == 0;
    files[path] += data;
    if (time) times[path] = time;
    return true;
  }
  bool ReplaceFile(const std::string& path, const std::string& data, const std::string&) override {
    if (failReplace) return false;
    files[path] = data;
    return true;
  }
  std::uint64_t FileSize(const std::string& path) override {
    return files.count(path) ? files[path].size() : 0;
  }
  double DiskFreeBytes(const std::string&) override { return 12345; }
  std::string LastErrorText() override { return "Disk full."; }
  void Pump() override {}
  void WaitPumping(unsigned) override {}
  std::uint32_t TickCount() override { return 0; }
  unsigned long ProcessId() override { return 7; }
  void ProgressInit(int total) override { progressInit = total; }
  void ProgressStep() override { ++progressSteps; }
  void RegisterAutoPlayRefusal() override {}
  void EjectMedium(const std::string&) override {}
  bool AskOkCancel(const std::string& text, const std::string&, const std::string&, int) override {
    prompts.push_back(text);
    return answer(static_cast<int>(prompts.size()));
  }
  bool StopRequested() override { return stopAfterWrites >= 0 && writes() >= stopAfterWrites; }

  int stopAfterWrites = -1;  // the window closes once this many members are written
  int writes() const {
    int n = 0;
    for (const auto& f : files) n += f.first.compare(0, 2, "T\\") == 0;
    return n;
  }
};

ExtractRequest Request(const std::string& package) {
  ExtractRequest r;
  r.packagePath = package;
  r.destFolder = "T";
  r.diskPrompt = "Please insert <B>DISK #<disk_num></B>";
  return r;
}

MemberSpec Engine(const std::string& nameItem) { return {"|" + nameItem + "|1248103133|", "ENGINE"}; }

TEST(Extraction, WritesMembersWithTimesAndFindsTheEngine) {
  FakeHost host;
  PackageSpec layout;
  layout.members = {Engine("Engine.exe* /X"), {"|readme.txt|0|", "hello", false},
                  {"|data.bin|77|", std::string("a\0b", 3)}, {"", "no header"}};
  host.files["setup.exe"] = BuildPackage(layout);

  ExtractResult r = ExtractPackageWith(host, Request("setup.exe"));
  EXPECT_TRUE(r.checksumOk);
  EXPECT_TRUE(r.packageFound);
  EXPECT_EQ(r.engineEntry, "Engine.exe* /X");
  EXPECT_EQ(host.files["T\\Engine.exe"], "ENGINE");
  EXPECT_EQ(host.times["T\\Engine.exe"], 1248103133u);
  EXPECT_EQ(host.files["T\\readme.txt"], "hello");
  EXPECT_EQ(host.times.count("T\\readme.txt"), 0u);
  EXPECT_EQ(host.files["T\\data.bin"], std::string("a\0b", 3));
  EXPECT_EQ(host.progressInit, 4);
  EXPECT_EQ(host.progressSteps, 3);

  // A second run appends to the existing files and steps no progress.
  host.progressSteps = 0;
  ExtractPackageWith(host, Request("setup.exe"));
  EXPECT_EQ(host.files["T\\readme.txt"], "hellohello");
  EXPECT_EQ(host.progressSteps, 0);
}

TEST(Extraction, ClosedWindowStopsBeforeTheNextMember) {
  FakeHost host;
  PackageSpec layout;
  layout.members = {Engine("Engine.exe"), {"|a.txt|0|", "a"}, {"|b.txt|0|", "b"}};
  host.files["setup.exe"] = BuildPackage(layout);
  host.stopAfterWrites = 2;

  ExtractResult r = ExtractPackageWith(host, Request("setup.exe"));
  EXPECT_TRUE(r.cancelled);
  EXPECT_TRUE(r.engineEntry.empty());
  EXPECT_EQ(host.files.count("T\\a.txt"), 1u);
  EXPECT_EQ(host.files.count("T\\b.txt"), 0u);
}

TEST(Extraction, UnsafeMemberNamesAreNotWritten) {
  FakeHost host;
  PackageSpec layout;
  layout.members = {Engine("Engine.exe*"), {"|..\\evil.txt|0|", "x"}, {"|sub\\a.txt|0|", "x"},
                  {"|C:x.txt|0|", "x"}, {"|CON|0|", "x"}, {"|..|0|", "x"}, {"|ok.txt|0|", "ok"}};
  host.files["setup.exe"] = BuildPackage(layout);
  ExtractPackageWith(host, Request("setup.exe"));
  std::vector<std::string> written;
  for (const auto& f : host.files)
    if (f.first != "setup.exe") written.push_back(f.first);
  EXPECT_EQ(written, (std::vector<std::string>{"T\\Engine.exe", "T\\ok.txt"}));
}

TEST(Extraction, ChecksumMissingFileAndForeignFile) {
  {
    // A small package with a real checksum: the right sum passes, any
    // other fails before a member is written.
    FakeHost host;
    PackageSpec layout;
    layout.members = {Engine("Engine.exe*")};
    layout.checksum = 0;
    const std::uint32_t sum = FileChecksum(MemorySource(BuildPackage(layout)), 74);
    layout.checksum = sum + 1;
    host.files["setup.exe"] = BuildPackage(layout);
    ExtractResult r = ExtractPackageWith(host, Request("setup.exe"));
    EXPECT_FALSE(r.checksumOk);
    EXPECT_EQ(host.files.size(), 1u);
    layout.checksum = sum;
    host.files["setup.exe"] = BuildPackage(layout);
    EXPECT_TRUE(ExtractPackageWith(host, Request("setup.exe")).checksumOk);
    EXPECT_EQ(host.files["T\\Engine.exe"], "ENGINE");
  }
  {
    FakeHost host;
    ExtractResult r = ExtractPackageWith(host, Request("missing.exe"));
    EXPECT_FALSE(r.checksumOk);
    EXPECT_FALSE(r.packageFound);
    EXPECT_TRUE(r.engineEntry.empty());
  }
  {
    // A wrong magic gives no members and, whatever its flags say, no disk prompt.
    FakeHost host;
    PackageSpec layout;
    layout.members = {Engine("Engine.exe*")};
    layout.magic = 0x12345678;
    layout.options = kOptMoreDisks;
    host.files["setup.exe"] = BuildPackage(layout);
    ExtractResult r = ExtractPackageWith(host, Request("setup.exe"));
    EXPECT_FALSE(r.packageFound);
    EXPECT_TRUE(r.engineEntry.empty());
    EXPECT_TRUE(host.prompts.empty());
    EXPECT_EQ(host.files.size(), 1u);
  }
}

// Three disk files: setup.exe.001 .. .003, the engine on the first.
FakeHost SpannedHost(bool third) {
  FakeHost host;
  PackageSpec d1, d2, d3;
  d1.image.clear();  // disk files carry no stub image
  d2.image.clear();
  d3.image.clear();
  d1.members = {Engine("Engine.exe*"), {"|one.txt|0|", "1"}};
  d1.options = kOptMoreDisks;
  d1.memberCount = 4;  // the first disk counts the whole package's members
  d2.members = {{"|two.txt|0|", "2"}};
  d2.options = kOptMoreDisks;
  d3.members = {{"|three.txt|0|", "3"}};
  host.files["D\\setup.exe.001"] = BuildPackage(d1);
  host.files["D\\setup.exe.002"] = BuildPackage(d2);
  if (third) host.files["D\\setup.exe.003"] = BuildPackage(d3);
  return host;
}

TEST(Extraction, SpannedPackageFollowsEveryDisk) {
  FakeHost host = SpannedHost(true);
  ExtractResult r = ExtractPackageWith(host, Request("D\\setup.exe.001"));
  EXPECT_TRUE(host.prompts.empty());
  EXPECT_EQ(r.engineEntry, "Engine.exe*");
  EXPECT_EQ(host.files["T\\two.txt"], "2");
  EXPECT_EQ(host.files["T\\three.txt"], "3");
  EXPECT_EQ(host.progressInit, 4);  // the first disk's member count
  EXPECT_EQ(host.progressSteps, 4 + 2);  // four files, two disk changes
}

TEST(Extraction, MissingDiskIsAskedFor) {
  {
    FakeHost host = SpannedHost(false);
    ExtractResult r = ExtractPackageWith(host, Request("D\\setup.exe.001"));
    ASSERT_EQ(host.prompts.size(), 1u);
    EXPECT_EQ(host.prompts[0], "Please insert <B>DISK #3</B>");
    EXPECT_TRUE(r.cancelled);
    EXPECT_TRUE(r.engineEntry.empty());
  }
  {
    // The user inserts the disk and presses OK.
    FakeHost host = SpannedHost(false);
    PackageSpec last;
    last.image.clear();
    last.members = {{"|three.txt|0|", "3"}};
    host.answer = [&host, &last](int) {
      host.files["D\\setup.exe.003"] = BuildPackage(last);
      return true;
    };
    ExtractResult r = ExtractPackageWith(host, Request("D\\setup.exe.001"));
    EXPECT_EQ(host.prompts.size(), 1u);
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.engineEntry, "Engine.exe*");
    EXPECT_EQ(host.files["T\\three.txt"], "3");
  }
  {
    // Forced prompts ask for every further disk, present or not.
    FakeHost host = SpannedHost(true);
    host.answer = [](int) { return true; };
    ExtractRequest req = Request("D\\setup.exe.001");
    req.forcePrompt = true;
    ExtractPackageWith(host, req);
    EXPECT_EQ(host.prompts.size(), 2u);
    EXPECT_EQ(host.files["T\\three.txt"], "3");
  }
}

TEST(Extraction, CorruptMemberStopsAfterEarlierMembers) {
  FakeHost host;
  PackageSpec layout;
  layout.members = {Engine("Engine.exe*"), {"|bad.txt|0|", std::string(5000, 'q')}};
  std::string p = BuildPackage(layout);
  // Damage the second member's zlib stream in its middle.
  PackageSpec engineOnly = layout;
  engineOnly.members.pop_back();
  const std::size_t second = BuildPackage(engineOnly).size() - 74;
  std::uint32_t length;
  std::memcpy(&length, &p[second], 4);
  ASSERT_GT(length, 20u);
  const std::size_t bad = second + 4 + length / 2;
  p[bad] ^= 0x55;
  p[bad + 1] ^= 0x55;
  host.files["setup.exe"] = p;
  const ExtractResult r = ExtractPackageWith(host, Request("setup.exe"));
  EXPECT_NE(r.corruptMember.find("corrupt member: zlib error"), std::string::npos) << r.corruptMember;
  EXPECT_EQ(r.engineEntry, "");
  EXPECT_EQ(host.files["T\\Engine.exe"], "ENGINE");
}

TEST(Extraction, AFileThatCouldNotBeWrittenEndsTheExtraction) {
  // Whatever could not be written in full (a full disk), the extraction
  // stops there with the error text, writes nothing more and names no
  // engine: nothing may run on a partial folder.
  const std::string saveError =
      "<P><P>Unable to save Extracted File!<P><P>Disk full.<P>  Data Size: <T>";
  const struct {
    const char* what;
    std::function<void(FakeHost&)> fault;
    std::string error;
    std::vector<std::string> written;
  } cases[] = {
      {"the engine", [](FakeHost& h) { h.failWrites = 1; },
       "T\\Engine.exe" + saveError + "6 Bytes<P>  File Size:  <T>0 Bytes<P>  Bytes Free: <T>12345 Bytes", {}},
      {"a later member", [](FakeHost& h) { h.failAfter = 1; },
       "T\\a.txt" + saveError + "3 Bytes<P>  File Size:  <T>0 Bytes<P>  Bytes Free: <T>12345 Bytes",
       {"T\\Engine.exe"}},
      {"the folder", [](FakeHost& h) { h.failFolder = true; },
       "T<P><P>Unable to create Directory!<P><P>Disk full.", {}},
      {"the update agent", [](FakeHost& h) { h.failReplace = true; }, "T\\Agent.exe" + saveError,
       {"T\\Engine.exe", "T\\a.txt", "T\\b.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const int before = SaveErrorCount();
    FakeHost host;
    PackageSpec layout;
    layout.members = {Engine("Engine.exe*"), {"|a.txt|0|", "abc"}, {"|b.txt|0|", "b"}};
    host.files["setup.exe"] = BuildPackage(layout);
    c.fault(host);
    ExtractRequest req = Request("setup.exe");
    req.agentName = "Agent.exe";
    const ExtractResult r = ExtractPackageWith(host, req);
    EXPECT_EQ(r.writeFailure.substr(0, c.error.size()), c.error);
    EXPECT_TRUE(r.engineEntry.empty());
    EXPECT_EQ(SetupEndFor(r), SetupEnd::kWriteFailed);
    std::vector<std::string> written;
    for (const auto& f : host.files)
      if (f.first.compare(0, 2, "T\\") == 0) written.push_back(f.first);
    EXPECT_EQ(written, c.written);
    EXPECT_EQ(SaveErrorCount(), before + (c.error.find("save") != std::string::npos ? 1 : 0));
  }
}

TEST(Extraction, UpdateAgentIsTheSetupWithoutMembers) {
  PackageSpec layout;
  layout.image = std::string(0x200, '\0');
  layout.image.replace(0, 2, "MZ");
  layout.image.replace(0x100, 2, "PE");
  layout.members = {Engine("Engine.exe*"), {"|a.txt|0|", "abc"}};
  layout.afterTrailer = std::string(100, 'G');  // a signature after the package
  const std::string setup = BuildPackage(layout);
  const std::size_t trailerAt = setup.size() - 100 - 74;
  PackageSpec noMembers = layout;
  noMembers.members.clear();
  noMembers.afterTrailer.clear();
  const std::size_t firstMember = BuildPackage(noMembers).size() - 74;

  for (const char* path : {"dir\\setup.EXE", "setup.exe.001", "setup.bin"}) {
    FakeHost host;
    host.files[path] = setup;
    ExtractRequest req = Request(path);
    req.agentName = "tools\\Agent.exe";
    ExtractPackageWith(host, req);
    EXPECT_EQ(host.files["T\\a.txt"], "abc");  // the signature is not read as a block
    if (std::string(path) == "setup.bin") {
      EXPECT_EQ(host.files.count("T\\Agent.exe"), 0u);
      continue;
    }
    std::string expected = setup.substr(0, firstMember);
    std::memset(&expected[0xFC], 0, 4);
    expected += setup.substr(trailerAt, 74);
    expected[expected.size() - 5] = 1;
    EXPECT_EQ(host.files["T\\Agent.exe"], expected) << path;
  }
}

TEST(Extraction, EngineOnlyFromAMemberWrittenUnderASafeName) {
  // A hand-made package whose engine member points outside the folder.
  for (const char* name : {"..\\..\\x.exe*", "C:\\Windows\\x.exe* /B", "sub\\Engine.exe*"}) {
    SCOPED_TRACE(name);
    FakeHost host;
    PackageSpec layout;
    layout.members = {Engine(name), {"|ok.txt|0|", "ok"}};
    host.files["setup.exe"] = BuildPackage(layout);
    const ExtractResult r = ExtractPackageWith(host, Request("setup.exe"));
    EXPECT_TRUE(r.engineEntry.empty());
    EXPECT_EQ(SetupEndFor(r), SetupEnd::kDamaged);
  }
  // An engine member that cannot be written is no engine either.
  FakeHost host;
  PackageSpec layout;
  layout.members = {Engine("Engine.exe*"), {"|ok.txt|0|", "ok"}};
  host.files["setup.exe"] = BuildPackage(layout);
  host.failWrites = 1;
  EXPECT_TRUE(ExtractPackageWith(host, Request("setup.exe")).engineEntry.empty());
}

TEST(Extraction, PackageNamesBecomePathTextAndBoxesShowPathsAsTheSystemDoes) {
  // Paths are UTF-8 while an older package names its files in the ANSI
  // code page, and a box shows its text in that code page: the host says
  // how each converts, and every name and path goes through it.
  struct ConvertingHost : FakeHost {
    std::string ShownPath(const std::string& path) override { return "[" + path + "]"; }
    std::string NameFromPackage(const std::string& name) override { return "u8:" + name; }
  };
  ConvertingHost host;
  PackageSpec layout;
  layout.members = {Engine("\xC9ngine.exe* /X"), {"|a.txt|0|", "abc"}};
  host.files["setup.exe"] = BuildPackage(layout);
  ExtractRequest req = Request("setup.exe");
  req.agentName = "Agent.exe";
  ExtractResult r = ExtractPackageWith(host, req);
  EXPECT_EQ(r.engineEntry, "u8:\xC9ngine.exe* /X");
  EXPECT_EQ(host.files["T\\u8:\xC9ngine.exe"], "ENGINE");
  EXPECT_EQ(host.files.count("T\\u8:a.txt"), 1u);
  EXPECT_EQ(host.files.count("T\\u8:Agent.exe"), 1u);

  host.failWrites = 1;
  r = ExtractPackageWith(host, req);
  EXPECT_EQ(r.writeFailure.find("[T\\u8:\xC9ngine.exe]<P>"), 0u) << r.writeFailure;
  host.failFolder = true;
  r = ExtractPackageWith(host, req);
  EXPECT_EQ(r.writeFailure.find("[T]<P>"), 0u) << r.writeFailure;
}

TEST(Extraction, HiddenRunShowsNoBox) {
  {
    // A missing disk ends the extraction like a cancelled prompt.
    FakeHost host = SpannedHost(false);
    ExtractRequest req = Request("D\\setup.exe.001");
    req.hidden = true;
    const ExtractResult r = ExtractPackageWith(host, req);
    EXPECT_TRUE(host.prompts.empty());
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(SetupEndFor(r), SetupEnd::kCancelled);
  }
  {
    // Disks that are there are read without a forced prompt.
    FakeHost host = SpannedHost(true);
    ExtractRequest req = Request("D\\setup.exe.001");
    req.hidden = true;
    req.forcePrompt = true;
    const ExtractResult r = ExtractPackageWith(host, req);
    EXPECT_TRUE(host.prompts.empty());
    EXPECT_EQ(SetupEndFor(r), SetupEnd::kStartEngine);
  }
}

TEST(Extraction, DamagedLaterDisksInstallNothing) {
  const std::string one = "D\\setup.exe.001", two = "D\\setup.exe.002", three = "D\\setup.exe.003";
  struct Case {
    const char* what;
    std::function<void(FakeHost&)> damage;
  } cases[] = {
      {"disk 2 cut to half", [&](FakeHost& h) { h.files[two].resize(h.files[two].size() / 2); }},
      {"disk 2 empty", [&](FakeHost& h) { h.files[two].clear(); }},
      {"disks 2 and 3 swapped", [&](FakeHost& h) { std::swap(h.files[two], h.files[three]); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host = SpannedHost(true);
    host.answer = [](int) { return false; };
    c.damage(host);
    const ExtractResult r = ExtractPackageWith(host, Request(one));
    EXPECT_TRUE(r.damaged);
    EXPECT_TRUE(r.engineEntry.empty());
    EXPECT_EQ(SetupEndFor(r), SetupEnd::kDamaged);
  }
  // The whole set passes the count.
  FakeHost host = SpannedHost(true);
  const ExtractResult r = ExtractPackageWith(host, Request(one));
  EXPECT_FALSE(r.damaged);
  EXPECT_EQ(SetupEndFor(r), SetupEnd::kStartEngine);
  // So must a one-file package: a member count that its blocks do not meet
  // marks it damaged.
  FakeHost single;
  PackageSpec layout;
  layout.members = {Engine("Engine.exe*")};
  layout.memberCount = 3;
  single.files["setup.exe"] = BuildPackage(layout);
  EXPECT_EQ(SetupEndFor(ExtractPackageWith(single, Request("setup.exe"))), SetupEnd::kDamaged);
}

TEST(Extraction, MemberBlocksEndWhereTheTrailerBegins) {
  PackageSpec layout;
  layout.members = {Engine("Engine.exe*"), {"|a|0|", "wxyz", false}};  // a 14-byte block last
  for (std::uint32_t length : {60u, 74u, 80u}) {
    SCOPED_TRACE(length);
    layout.trailerLength = length;
    FakeHost host;
    host.files["setup.exe"] = BuildPackage(layout);
    const ExtractResult r = ExtractPackageWith(host, Request("setup.exe"));
    EXPECT_EQ(host.files["T\\a"], "wxyz");
    EXPECT_EQ(SetupEndFor(r), SetupEnd::kStartEngine);
  }
  // A stored last member whose length reaches into the trailer is corrupt:
  // it is never written with trailer bytes as its content.
  layout.trailerLength = 74;
  std::string p = BuildPackage(layout);
  const std::size_t last = p.size() - 74 - 14;
  std::int32_t stored;
  std::memcpy(&stored, &p[last], 4);
  stored -= 20;  // 20 bytes more
  std::memcpy(&p[last], &stored, 4);
  FakeHost host;
  host.files["setup.exe"] = p;
  const ExtractResult r = ExtractPackageWith(host, Request("setup.exe"));
  EXPECT_NE(r.corruptMember.find("runs past the package end"), std::string::npos) << r.corruptMember;
  EXPECT_EQ(host.files.count("T\\a"), 0u);
}

TEST(Extraction, SetupEndFollowsTheResult) {
  ExtractResult ok;
  ok.checksumOk = ok.packageFound = true;
  ok.engineEntry = "Engine.exe*";
  EXPECT_EQ(SetupEndFor(ok), SetupEnd::kStartEngine);
  ExtractResult r = ok;
  r.cancelled = true;
  EXPECT_EQ(SetupEndFor(r), SetupEnd::kCancelled);
  r = ok;
  r.checksumOk = false;
  EXPECT_EQ(SetupEndFor(r), SetupEnd::kBadChecksum);
  // A file whose end is missing: no trailer found, so no package, but the
  // checksum of a large file always passes.
  r = ok;
  r.packageFound = false;
  r.engineEntry.clear();
  EXPECT_EQ(SetupEndFor(r), SetupEnd::kDamaged);
  r = ok;
  r.engineEntry.clear();  // no engine member
  EXPECT_EQ(SetupEndFor(r), SetupEnd::kDamaged);
}

TEST(Extraction, SpanPathsAndPromptText) {
  EXPECT_EQ(SpanBasePath("C:\\a\\setup.exe.001"), "C:\\a\\setup.exe");
  EXPECT_EQ(SpanBasePath("C:\\a\\setup.001.exe"), "C:\\a\\setup.001.exe");
  EXPECT_EQ(SpanDiskPath("C:\\a\\setup.exe", 2), "C:\\a\\setup.exe.002");
  EXPECT_EQ(SpanDiskPath("x", 12), "x.012");
  EXPECT_EQ(DiskPromptText("<DISK_NUM> and <Disk_Num>!", 3), "3 and 3!");
}

}  // namespace
}  // namespace varnel
