#include "ContactForm/AppInfo.hpp"

namespace ContactForm {
namespace {

std::string text(const platform::InfoDictionary& dictionary, std::string_view key) {
  const auto found = dictionary.find(key);
  if (found == dictionary.end()) return {};
  const auto* value = std::any_cast<std::string>(&found->second);
  return value ? *value : std::string();
}

}  // namespace

AppInfo AppInfo::fromMainBundle() {
  return from(platform::Bundle::main().infoDictionary().value_or(platform::InfoDictionary{}));
}

AppInfo AppInfo::from(const platform::InfoDictionary& dictionary) {
  return {text(dictionary, "CFBundleName"), text(dictionary, "CFBundleVersion"),
          text(dictionary, "CFBundleShortVersionString"), text(dictionary, "CFBundleIdentifier")};
}

std::string AppInfo::versionString() const { return name + " " + shortVersion + " (" + version + ")"; }

std::string AppInfo::footer() const { return "\n\n-------\n" + versionString(); }

}  // namespace ContactForm
