// The commands of varnel-pack. Each takes the arguments after its name and
// returns the process exit code: 0 success, 1 failure (one line on stderr
// that starts with "varnel-pack: "), 2 a command-line mistake.
#pragma once
#include <string>
#include <vector>

namespace varnel::pack {

using Args = std::vector<std::string>;

int RunBuild(const Args& args);
int RunList(const Args& args);
int RunExtract(const Args& args);
int RunVerify(const Args& args);
int RunKeygen(const Args& args);
int RunPublish(const Args& args);

// Prints "varnel-pack: <message>" on stderr and returns `code`.
int Fail(const std::string& message, int code = 1);

// "--name=value": leaves "--name" in `option`, puts "value" in `value` and
// returns true; any other argument is left as it is (false).
bool SplitInlineValue(std::string& option, std::string& value);

}  // namespace varnel::pack
