#include "platform/system/Bundle.hpp"

#include <mutex>
#include <utility>

namespace platform {

struct Bundle::State {
  mutable std::mutex mutex;
  std::optional<InfoDictionary> dictionary;
};

Bundle::Bundle() : state_(std::make_shared<State>()) { state_->dictionary = builtInfoDictionary(); }

Bundle& Bundle::main() {
  static Bundle bundle;
  return bundle;
}

std::optional<InfoDictionary> Bundle::infoDictionary() const {
  std::lock_guard lock(state_->mutex);
  return state_->dictionary;
}

std::optional<std::string> Bundle::string(std::string_view key) const {
  std::lock_guard lock(state_->mutex);
  if (!state_->dictionary) return std::nullopt;
  const auto found = state_->dictionary->find(key);
  if (found == state_->dictionary->end()) return std::nullopt;
  if (const auto* text = std::any_cast<std::string>(&found->second)) return *text;
  return std::nullopt;
}

std::optional<InfoDictionary> Bundle::setInfoDictionary(std::optional<InfoDictionary> dictionary) {
  std::lock_guard lock(state_->mutex);
  return std::exchange(state_->dictionary, std::move(dictionary));
}

}  // namespace platform
