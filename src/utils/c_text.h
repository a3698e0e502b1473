// CText: a text argument that ends up in a C string, such as a name handed
// to a system function. It takes a literal or a std::string's characters
// without copying them, so a caller that passes a literal builds no
// temporary std::string (in the stub each one costs a construction and a
// destruction at the call site). Only for parameters: it points into the
// caller's text, which lives until the call returns.
#pragma once
#include <string>

namespace varnel {

class CText {
 public:
  CText(const char* text) : text_(text ? text : "") {}
  CText(const std::string& text) : text_(text.c_str()) {}
  const char* c_str() const { return text_; }
  bool empty() const { return *text_ == 0; }
  std::string str() const { return text_; }

 private:
  const char* text_;
};

}  // namespace varnel
