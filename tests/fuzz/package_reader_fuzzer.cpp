// Feeds arbitrary bytes to the package reader as a package file and asks
// every question a role could ask of it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "package/byte_source.h"
#include "package/package_reader.h"
#include "package/package_trailer.h"
#include "utils/delimited_list.h"

using namespace varnel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const MemorySource source(std::string(reinterpret_cast<const char*>(data), size));
  const TGFileInfo reader = TGFileInfo::Create(source);

  // Choose the language again for every input, so the choice is exercised.
  ResetLanguageChoiceForTesting();
  std::size_t sink = 0;
  for (const char* key : {"s1", "Charset", "FontSize", "S12", ""})
    sink += reader.GetLangString(key, "default").size();
  sink += reader.GetCharset() + reader.GetFontSize() + reader.GetFontName().size();
  sink += reader.GetUpdateUrl().size() + reader.GetInfoFileName().size() +
          reader.GetOriginalFileName().size() + reader.GetAgentFileName().size() +
          reader.GetUpdateToken(true).size() + reader.GetDownloadUrl().size() +
          reader.GetSetupFileName().size() + reader.GetDownloadToken(true).size() +
          reader.GetSetupFileSize().size() + reader.RunHidden() + reader.NoLocalSetupCopy();
  sink += reader.SameDownloadToken(reader);
  sink += static_cast<std::size_t>(reader.SpaceNeededForCluster(4096));
  sink += FileChecksum(source, reader.GetTrailer().length);

  // The blocks are delimited lists: walk them with the list operations.
  const std::string& block = reader.UpdateBlock();
  sink += SUB::ListCount(block) + SUB::ListValue(block, "a", true, true, "", "").size() +
          SUB::ListUnique(block).size() + SUB::ListReseparate(block).size() +
          SUB::ListIndexOf(block, "x", -1) + SUB::ListNames(reader.LanguageList(), true).size();
  return sink == 0xFFFFFFFFu ? 1 : 0;
}
