#include "platform/defaults/Color.hpp"

#include <charconv>

#include "platform/defaults/PropertyList.hpp"

namespace platform {

KeyedArchive::Object Color::archiveObject() const {
  std::string components;
  for (double component : components_) {
    if (!components.empty()) components += ' ';
    components += shortestText(component);
  }
  return {std::string(archiveClassName),
          {{"NSColorSpace", static_cast<std::int64_t>(colorSpace_)}, {"NSComponents", components}}};
}

std::optional<Color> Color::fromArchiveObject(const KeyedArchive::Object& object) {
  auto space = object.fields.find("NSColorSpace");
  auto text = object.fields.find("NSComponents");
  if (space == object.fields.end() || text == object.fields.end()) return std::nullopt;
  const std::int64_t* spaceValue = std::get_if<std::int64_t>(&space->second);
  const std::string* componentText = std::get_if<std::string>(&text->second);
  if (!spaceValue || !componentText) return std::nullopt;
  std::size_t expected = 0;
  switch (*spaceValue) {
    case static_cast<std::int64_t>(ColorSpace::sRGB):
    case static_cast<std::int64_t>(ColorSpace::displayP3): expected = 4; break;
    case static_cast<std::int64_t>(ColorSpace::gray): expected = 2; break;
    default: return std::nullopt;
  }
  std::vector<double> components;
  const char* position = componentText->data();
  const char* end = position + componentText->size();
  while (position < end) {
    double component = 0;
    auto result = std::from_chars(position, end, component);
    if (result.ec != std::errc()) return std::nullopt;
    components.push_back(component);
    position = result.ptr;
    if (position < end && *position++ != ' ') return std::nullopt;
  }
  if (components.size() != expected) return std::nullopt;
  return Color(static_cast<ColorSpace>(*spaceValue), std::move(components));
}

}  // namespace platform
