#include "Ravelin/FilenameHeader.hpp"

#include "platform/core/Log.hpp"
#include "platform/text/Regex.hpp"

namespace Ravelin {

std::optional<std::string> chooseFilenameHeader(const std::vector<std::string>& headers) {
  if (headers.empty()) return std::nullopt;
  // Compiled once: compiling it for each header cost a wide datasource more than all else.
  static const platform::Regex namePattern(R"(^(?:[\w \-]*[Ff]ile ?|[\w \-]*[Ii]mage ?)?[Nn]ame$)");
  for (const std::string& header : headers) {
    if (namePattern.matchesSomewhere(header)) {
      platform::log("Setting header from regex: " + header);
      return header;
    }
  }
  platform::log("Setting header from first column: " + headers.front());
  return headers.front();
}

}  // namespace Ravelin
