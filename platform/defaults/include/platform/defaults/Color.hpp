#pragma once
// A colour: components in a colour space, alpha last. Stored in settings as a keyed archive.

#include <optional>
#include <string_view>
#include <vector>

#include "platform/defaults/KeyedArchive.hpp"

namespace platform {

class Color {
 public:
  enum class ColorSpace { sRGB = 1, displayP3 = 2, gray = 3 };

  static Color sRGB(double red, double green, double blue, double alpha = 1) {
    return Color(ColorSpace::sRGB, {red, green, blue, alpha});
  }
  static Color displayP3(double red, double green, double blue, double alpha = 1) {
    return Color(ColorSpace::displayP3, {red, green, blue, alpha});
  }
  static Color gray(double white, double alpha = 1) { return Color(ColorSpace::gray, {white, alpha}); }

  ColorSpace colorSpace() const noexcept { return colorSpace_; }
  /// Red, green, blue and alpha, or white and alpha for gray.
  const std::vector<double>& components() const noexcept { return components_; }

  /// The archived class name.
  static constexpr std::string_view archiveClassName = "NSColor";
  KeyedArchive::Object archiveObject() const;
  /// Nothing when the fields are no colour (unknown space, wrong component count).
  static std::optional<Color> fromArchiveObject(const KeyedArchive::Object& object);

  bool operator==(const Color&) const = default;

 private:
  Color(ColorSpace space, std::vector<double> components) : colorSpace_(space), components_(std::move(components)) {}
  ColorSpace colorSpace_;
  std::vector<double> components_;
};

}  // namespace platform
