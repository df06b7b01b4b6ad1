#include "Ravelin/ImportSteps.hpp"

#include "platform/core/Log.hpp"

namespace Ravelin {

void logImport(const std::optional<std::string>& typeIdentifier, std::string_view source) {
  platform::log("Importing " + typeIdentifier.value_or("unknown type") + std::string(source));
}

}  // namespace Ravelin
