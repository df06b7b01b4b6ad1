#include "QVExtensions/PropertyListCoder.hpp"

#include "platform/defaults/PropertyListBinary.hpp"
#include "platform/defaults/PropertyListXML.hpp"

namespace QVExtensions {

PropertyListCodingError::PropertyListCodingError(std::string description, std::string reason)
    : platform::Error("QVExtensions.PropertyListCoder", 1, std::move(description),
                      Details{std::move(reason), std::nullopt, std::nullopt, {}, nullptr}) {}

platform::PropertyList PropertyListCoder::parse(const platform::Data& bytes) const {
  if (platform::PropertyListBinary::isBinary(bytes)) {
    if (std::optional<platform::PropertyList> value = platform::PropertyListBinary::read(bytes)) return *value;
    throw PropertyListCodingError("The data couldn’t be read because it isn’t in the correct format.",
                                  "The binary property list is damaged.");
  }
  std::string reason;
  if (std::optional<platform::PropertyList> value = platform::PropertyListXML::read(bytes.view(), &reason))
    return *value;
  throw PropertyListCodingError("The data couldn’t be read because it isn’t in the correct format.", reason);
}

platform::Data PropertyListCoder::serialize(const platform::PropertyList& value) const {
  if (outputFormat == Format::binary) {
    if (std::optional<platform::Data> bytes = platform::PropertyListBinary::write(value)) return *bytes;
    throw PropertyListCodingError("The data couldn’t be written because it isn’t in the correct format.",
                                  "The value holds a date, a nesting or a text with a NUL that the binary format cannot carry.");
  }
  std::string reason;
  if (std::optional<std::string> text = platform::PropertyListXML::write(value, &reason))
    return platform::Data::fromString(*text);
  throw PropertyListCodingError("The data couldn’t be written because it isn’t in the correct format.", reason);
}

}  // namespace QVExtensions
