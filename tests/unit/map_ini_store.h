// INI files as a map for the agent's settings tests, with the system INI
// reader's rule: a missing or empty value gives the fallback.
#pragma once
#include <map>
#include <string>
#include <tuple>

#include "update/update_settings.h"

class MapStore : public varnel::IniStore {
 public:
  std::string Read(varnel::CText file, varnel::CText section, varnel::CText key,
                   varnel::CText fallback) const override {
    auto it = values.find({file.str(), section.str(), key.str()});
    return it == values.end() || it->second.empty() ? fallback.str() : it->second;
  }
  void Write(varnel::CText file, varnel::CText section, varnel::CText key, varnel::CText value) override {
    values[{file.str(), section.str(), key.str()}] = value.str();
  }
  std::map<std::tuple<std::string, std::string, std::string>, std::string> values;
};
