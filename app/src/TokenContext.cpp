#include "Pelmora_Zava/TokenContext.hpp"

#include "platform/text/CanonicalText.hpp"

namespace Pelmora_Zava {
namespace {

class MapTable final : public TokenContext::Table {
 public:
  explicit MapTable(std::map<std::string, std::string> entries) : entries_(entries.begin(), entries.end()) {}
  std::optional<std::string_view> find(std::size_t, std::string_view key, std::string&) const override {
    auto it = entries_.find(key);
    if (it == entries_.end()) return std::nullopt;
    return std::string_view(it->second);
  }
  std::map<std::string, std::string> entries(std::size_t) const override { return {entries_.begin(), entries_.end()}; }

 private:
  std::map<std::string, std::string, platform::CanonicalLess> entries_;
};

}  // namespace

TokenContext::TokenContext(std::map<std::string, std::string> entries) {
  if (!entries.empty()) table_ = std::make_shared<MapTable>(std::move(entries));
}

std::optional<std::string> TokenContext::value(std::string_view key) const {
  std::string scratch;
  if (auto found = find(key, scratch)) return std::string(*found);
  return std::nullopt;
}

}  // namespace Pelmora_Zava
