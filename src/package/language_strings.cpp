#include "package/language_strings.h"

#include <cctype>

namespace varnel {

const LangKeyDefault kLangDefaults[] = {
    {"Charset", "0"},
    {"FontSize", "8"},
    {"FontName", "Tahoma"},
    {"s0", "Varnel Installation Suite"},
    {"s1", "Extracting Files..."},
    {"s2", "Varnel will extract files to your Temp Drive (<DRIVE>)<P>"},
    {"s3", "Limited Free Space on your Temp Drive! (<DRIVE>)<P>"},
    {"s4", "<P>Estimated space required on your Temp drive is: <T>  <SPACE_REQ> MB<P>"},
    {"s5", "Free space available on your Temp drive is: <T>  <SPACE_AVAIL> MB<P>"},
    {"s6", "<P>Continue with Setup?<P>"},
    {"s7", "Bad CRC!<P>This indicates that your setup file might be corrupted..."},
    {"s8", "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue"},
    {"s10", "Downloading File..."},
    {"s11",
     "<b>INTERNET DOWNLOAD</b><p><p>Varnel will download the Setup File from the Internet...<p>"
     "Please make sure your Internet connection is properly set.<p><p>Continue with Setup?<p>"
     "<P>Size: <SIZE> MB<P>"},
    {"s12", "No valid Internet Connection.<p>Can not Download File!"},
    {"BtnText", "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|"},
    {"Attention", "Attention"},
    {"Confirm", "Confirm"},
    {"Error", "Error"},
};
const int kLangDefaultCount = sizeof(kLangDefaults) / sizeof(kLangDefaults[0]);

const char* LangDefault(std::string_view key) {
  for (const LangKeyDefault& entry : kLangDefaults) {
    const std::string_view k = entry.key;
    if (k.size() != key.size()) continue;
    bool same = true;
    for (size_t i = 0; i < k.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(k[i])) ==
             std::tolower(static_cast<unsigned char>(key[i]));
    if (same) return entry.text;
  }
  return "";
}

}  // namespace varnel
