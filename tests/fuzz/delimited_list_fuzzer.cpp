// Feeds arbitrary texts to every delimited-list operation. The input is
// split at its first 0xFE byte into a list and a second text (an item, a
// name or a second list).
#include <cstddef>
#include <cstdint>
#include <string>

#include "utils/delimited_list.h"

using varnel::SUB;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\xFE');
  const std::string list = input.substr(0, cut);
  const std::string other = cut == std::string::npos ? std::string() : input.substr(cut + 1);
  const int index = other.empty() ? -1 : static_cast<unsigned char>(other[0]) % 16 - 1;

  std::size_t sink = SUB::ListCount(list);
  sink += SUB::ListItem(list, index, "d").size();
  sink += static_cast<std::size_t>(SUB::ListItemInt(list, index, 7));
  sink += SUB::ListValue(list, other, true, true, "e", "m").size();
  sink += SUB::ListValue(list, other, false, false, "e", "m").size();
  sink += SUB::ListIndexOf(list, other, -1);
  sink += SUB::ListContains(list, other, true, true);
  sink += SUB::ListNames(list, true).size() + SUB::ListValues(list, false).size();
  sink += SUB::ListZip(list, other, true).size();
  sink += SUB::ListDelete(list, index).size();
  if (index < 64) sink += SUB::ListSetItem(list, index, other).size();
  sink += SUB::ListFromArray({list, other}, true).size();
  sink += SUB::ListAppend(list, {other, list}, index & 1).size();
  sink += SUB::ListReverse(list).size() + SUB::ListUnique(list).size();
  sink += SUB::ListTrimEmpty(list, true, index & 1).size() + SUB::ListReseparate(list).size();
  // A rebuilt list keeps its items.
  const std::string rebuilt = SUB::ListReseparate(list);
  if (SUB::ListCount(list) > 0 && list.find('\0') == std::string::npos &&
      rebuilt.size() == list.size() && SUB::ListCount(rebuilt) != SUB::ListCount(list))
    __builtin_trap();
  return sink == 0xFFFFFFFFu ? 1 : 0;
}
