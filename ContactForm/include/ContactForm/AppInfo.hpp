#pragma once
// The application facts the feedback form shows and sends, read from the main bundle's
// information dictionary. A missing entry, or one that is not text, reads as "".

#include <string>

#include "platform/system/Bundle.hpp"

namespace ContactForm {

struct AppInfo {
  std::string name;          ///< "CFBundleName"
  std::string version;       ///< "CFBundleVersion"
  std::string shortVersion;  ///< "CFBundleShortVersionString"
  std::string bundleID;      ///< "CFBundleIdentifier"

  /// From the main bundle now; all four empty when it has no dictionary.
  static AppInfo fromMainBundle();
  static AppInfo from(const platform::InfoDictionary& dictionary);

  /// "name shortVersion (version)".
  std::string versionString() const;
  /// What follows every message: a rule under two empty lines, then the version text.
  std::string footer() const;

  friend bool operator==(const AppInfo&, const AppInfo&) = default;
};

}  // namespace ContactForm
