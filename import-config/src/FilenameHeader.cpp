#include "Ravelin/FilenameHeader.hpp"

#include "QVExtensions/StringExtensions.hpp"
#include "platform/core/Log.hpp"

namespace Ravelin {

std::optional<std::string> chooseFilenameHeader(const std::vector<std::string>& headers) {
  if (headers.empty()) return std::nullopt;
  for (const std::string& header : headers) {
    if (QVExtensions::matchesRegex(header, R"(^(?:[\w \-]*[Ff]ile ?|[\w \-]*[Ii]mage ?)?[Nn]ame$)")) {
      platform::log("Setting header from regex: " + header);
      return header;
    }
  }
  platform::log("Setting header from first column: " + headers.front());
  return headers.front();
}

}  // namespace Ravelin
