#include "Defaults/Key.hpp"

namespace Defaults {

AnyKey::AnyKey(std::string name, Suite suite)
    : name_(std::move(name)), suite_(suite ? std::move(suite) : platform::UserDefaults::standardUserDefaults()) {}

void AnyKey::reset() const { suite_->removeObject(name_); }

void reset(const std::vector<std::string>& names, platform::UserDefaults& suite) {
  for (const std::string& name : names) suite.removeObject(name);
}

void reset(const std::vector<std::reference_wrapper<const AnyKey>>& keys) {
  for (const AnyKey& key : keys) key.reset();
}

void removeAll(platform::UserDefaults& suite) {
  for (const auto& entry : suite.dictionaryRepresentation()) suite.removeObject(entry.first);
}

std::optional<Version> versionFromRaw(int raw) {
  if (raw == static_cast<int>(Version::v5)) return Version::v5;
  return std::nullopt;
}

}  // namespace Defaults
