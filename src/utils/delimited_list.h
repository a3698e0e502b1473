// Delimited lists: a string whose first character is the separator between
// its items and which ends with that same character, such as
// "|&OK|&Cancel|". Items are numbered from 0 and may be empty; the separator
// may be any character, control characters included.
//
// Lists built here are assembled with the character 0 as separator and then
// given the first printable separator of "|*~^!@#$&\xFF" that occurs in no
// item (ListReseparate). A lone separator is not a list: builders return ""
// instead. Letter case is compared for ASCII letters only.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace varnel {

class SUB {
 public:
  SUB() = delete;

  // Number of items; 0 for a text shorter than two characters or whose last
  // character differs from its first.
  static int ListCount(const std::string& list);
  // Item `index` (-1: the last item); `def` when missing or empty.
  static std::string ListItem(const std::string& list, int index, const char* def = "");
  // Item `index` as a decimal 64-bit integer; `def` when missing or not a number.
  static std::int64_t ListItemInt(const std::string& list, int index, std::int64_t def);
  // The value of the item `name`=value. Blanks before "=" are dropped first
  // (all of them with dropAllBlanks, else those before the list's first "=").
  // An empty value gives emptyDefault, a missing item missingDefault.
  static std::string ListValue(const std::string& list, const std::string& name,
                               bool caseInsensitive, bool dropAllBlanks,
                               const std::string& emptyDefault,
                               const std::string& missingDefault);
  // Index of `item` (trimmed, ignoring case); `def` when absent.
  static int ListIndexOf(const std::string& list, const std::string& item, int def);
  // True when `item` is one of the items; false when either text is empty.
  static bool ListContains(const std::string& list, const std::string& item, bool trim,
                           bool caseInsensitive);
  // The part before (names) or after (values) the first "=" of every item;
  // an item without "=" gives an empty item.
  static std::string ListNames(const std::string& list, bool trim);
  static std::string ListValues(const std::string& list, bool trim);
  // Items name_i "=" value_i for every index of the longer list.
  static std::string ListZip(const std::string& names, const std::string& values,
                             bool dropTrailingEmpty);
  // The list without item `index`; unchanged when there is no such item.
  static std::string ListDelete(const std::string& list, int index);
  // The list with item `index` set to `value`, padded with empty items.
  static std::string ListSetItem(const std::string& list, int index, const std::string& value);
  static std::string ListFromArray(const std::vector<std::string>& items, bool unique);
  static std::string ListAppend(const std::string& list, const std::vector<std::string>& items,
                                bool unique);
  static std::string ListReverse(const std::string& list);
  // Non-empty items, each once (compared trimmed, ignoring case), in order.
  static std::string ListUnique(const std::string& list);
  // Drops empty items at the end and/or the start.
  static std::string ListTrimEmpty(const std::string& list, bool atEnd, bool atStart);
  // Gives a list (or a plain text, made a one-item list) the first candidate
  // separator that occurs in none of its items.
  static std::string ListReseparate(const std::string& list);
};

}  // namespace varnel
