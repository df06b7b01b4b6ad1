#include "Pelmora_Zava/TokenValueProvider.hpp"

#include <algorithm>

namespace Pelmora_Zava {
namespace {

constexpr std::string_view kDateTokens[] = {"Year", "Month", "Day", "Hour", "Minute", "Second"};

// The values of every token for one name, computed only as far as tokens ask
// for them. The clock and the machine are read at most once per instance.
class ValueLookup {
 public:
  ValueLookup(std::optional<std::string_view> filename, const TokenContext& context, const TokenValues& custom,
              const TokenValues& file)
      : filename_(filename), context_(context), custom_(custom), file_(file) {}

  void overrideValue(std::string_view name, std::string value) {
    for (auto& [key, text] : overrides_)
      if (key == name) {
        text = std::move(value);
        return;
      }
    overrides_.emplace_back(std::string(name), std::move(value));
  }

  std::optional<std::string_view> find(std::string_view name, std::string& scratch) {
    for (const auto& [key, text] : overrides_)
      if (key == name) return std::string_view(text);
    if (auto it = custom_.find(name); it != custom_.end()) return std::string_view(it->second);
    if (auto value = context_.find(name, scratch)) return value;
    if (Computed computed = computedValue(name, scratch)) return *computed;
    if (auto it = file_.find(name); it != file_.end()) return std::string_view(it->second);
    return std::nullopt;
  }

 private:
  // Outer absent: not a computed token. Inner absent: a computed token without a value,
  // which hides any file value of that name.
  using Computed = std::optional<std::optional<std::string_view>>;
  static Computed valued(std::optional<std::string_view> value) { return Computed(std::in_place, value); }

  Computed computedValue(std::string_view name, std::string& scratch) {
    if (name == "Filename") return valued(filename_);
    auto date = std::find(std::begin(kDateTokens), std::end(kDateTokens), name);
    if (date != std::end(kDateTokens)) {
      if (!dateRead_) {
        dateTime_ = info()->now();
        dateRead_ = true;
      }
      if (!dateTime_) return valued(std::nullopt);
      const std::int64_t parts[] = {dateTime_->year, dateTime_->month,  dateTime_->day,
                                    dateTime_->hour, dateTime_->minute, dateTime_->second};
      scratch = std::to_string(parts[date - std::begin(kDateTokens)]);
      return valued(scratch);
    }
    if (name == "Computer Name") {
      if (!computerRead_) {
        computer_ = info()->computerName();
        computerRead_ = true;
      }
      return valued(computer_ ? std::optional<std::string_view>(*computer_) : std::nullopt);
    }
    if (name == "Username") {
      if (!user_) user_ = info()->userName();
      return valued(*user_);
    }
    if (name == "Full Username") {
      if (!fullUser_) fullUser_ = info()->fullUserName();
      return valued(*fullUser_);
    }
    return std::nullopt;
  }

  const std::shared_ptr<const platform::SystemInfo>& info() {
    if (!info_) info_ = platform::SystemInfo::current();
    return info_;
  }

  std::optional<std::string_view> filename_;
  const TokenContext& context_;
  const TokenValues& custom_;
  const TokenValues& file_;
  std::vector<std::pair<std::string, std::string>> overrides_;
  std::shared_ptr<const platform::SystemInfo> info_;
  bool dateRead_ = false;
  std::optional<platform::SystemInfo::DateTime> dateTime_;
  bool computerRead_ = false;
  std::optional<std::string> computer_;
  std::optional<std::string> user_;
  std::optional<std::string> fullUser_;
};

// A pass may take the text past the size limit (which then ends the passes), but by no more than this.
constexpr std::size_t kPassGrowthLimit = 1 << 20;

template <typename Find>
std::string substitute(const TokenPattern& pattern, std::string_view expression, Find&& find) {
  std::string scratch;
  // The common case, an expression that is a single token ("{Filename}"), takes one look-up.
  if (expression.size() > 2 && expression.front() == '{' && expression.back() == '}') {
    if (auto whole = pattern.firstMatch(expression); whole && whole->length == expression.size()) {
      std::string_view value = find(whole->name, scratch).value_or(std::string_view());
      if (value.find('{') == std::string_view::npos) return std::string(value);
    }
  }
  std::string text(expression);
  std::vector<std::string> earlier;
  std::string next;
  for (int pass = 0; pass < TokenValueProvider::substitutionPassLimit; ++pass) {
    if (text.size() > TokenValueProvider::substitutionSizeLimit) break;
    auto match = pattern.firstMatch(text);
    if (!match) break;
    const std::string token(match->text);
    std::string_view value = find(match->name, scratch).value_or(std::string_view());

    std::size_t occurrences = 0;
    for (std::size_t at = match->location; at != std::string::npos; at = text.find(token, at + token.size())) ++occurrences;
    if (value.size() > token.size() && occurrences * (value.size() - token.size()) > kPassGrowthLimit) break;

    next.clear();
    next.append(text, 0, match->location);
    std::size_t from = match->location;
    for (std::size_t at = from; at != std::string::npos; at = text.find(token, from)) {
      next.append(text, from, at - from);
      next.append(value);
      from = at + token.size();
    }
    next.append(text, from, std::string::npos);

    earlier.push_back(std::move(text));
    text = std::move(next);
    next = std::string();
    if (std::find(earlier.begin(), earlier.end(), text) != earlier.end()) break;  // a cycle of values
  }
  return text;
}

}  // namespace

const std::vector<std::string>& TokenValueProvider::builtInTokens() {
  static const std::vector<std::string> names = {"Filename", "Parent Folder", "Year",          "Month",
                                                 "Day",      "Hour",          "Minute",        "Second",
                                                 "Computer Name", "Username", "Full Username", "Index"};
  return names;
}

TokenValues TokenValueProvider::tokenValues(const std::optional<std::string>& filename,
                                            const TokenContext& context) const {
  return tokenValues(filename, context, customTokens, fileTokens);
}

TokenValues TokenValueProvider::tokenValues(const std::optional<std::string>& filename, const TokenContext& context,
                                            const TokenValues& custom, const TokenValues& file) {
  TokenValues values = file;
  auto set = [&](const std::string& key, std::optional<std::string> value) {
    if (value)
      values[key] = std::move(*value);
    else
      values.erase(key);
  };
  set("Filename", filename);
  auto info = platform::SystemInfo::current();
  auto now = info->now();
  const std::optional<std::int64_t> parts[] = {
      now ? std::optional(now->year) : std::nullopt,   now ? std::optional(now->month) : std::nullopt,
      now ? std::optional(now->day) : std::nullopt,    now ? std::optional(now->hour) : std::nullopt,
      now ? std::optional(now->minute) : std::nullopt, now ? std::optional(now->second) : std::nullopt};
  for (std::size_t i = 0; i < std::size(kDateTokens); ++i)
    set(std::string(kDateTokens[i]), parts[i] ? std::optional(std::to_string(*parts[i])) : std::nullopt);
  set("Computer Name", info->computerName());
  set("Username", info->userName());
  set("Full Username", info->fullUserName());
  for (auto& [key, value] : context.entries()) values[key] = value;
  for (const auto& [key, value] : custom) values[key] = value;
  return values;
}

std::string TokenValueProvider::replaceTokens(std::string_view expression, const TokenValues& values) const {
  return substitute(tokenExpression, expression, [&](std::string_view name, std::string&) -> std::optional<std::string_view> {
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return std::string_view(it->second);
  });
}

std::string TokenValueProvider::replaceTokens(std::string_view expression, const TokenContext& context) const {
  return substitute(tokenExpression, expression,
                    [&](std::string_view name, std::string& scratch) { return context.find(name, scratch); });
}

std::vector<std::string> TokenValueProvider::processRootFolder(std::string_view filename,
                                                               const TokenContext& context) const {
  ValueLookup lookup(filename, context, customTokens, fileTokens);
  auto find = [&](std::string_view name, std::string& scratch) { return lookup.find(name, scratch); };
  std::vector<std::string> names;
  names.reserve(rootFolder.size());
  for (const std::string& expression : rootFolder) names.push_back(substitute(tokenExpression, expression, find));
  return names;
}

std::string TokenValueProvider::processFirstRootFolder(std::string_view filename, const TokenContext& context) const {
  if (rootFolder.empty()) return std::string(filename);
  ValueLookup lookup(filename, context, customTokens, fileTokens);
  return substitute(tokenExpression, rootFolder.front(),
                    [&](std::string_view name, std::string& scratch) { return lookup.find(name, scratch); });
}

std::vector<std::string> TokenValueProvider::processSubfolders(std::string_view parentName,
                                                               const TokenContext& context) const {
  std::vector<std::string> names;
  if (subfolders.empty()) return names;
  ValueLookup lookup(parentName, context, customTokens, fileTokens);
  lookup.overrideValue("Parent Folder", std::string(parentName));
  auto find = [&](std::string_view name, std::string& scratch) { return lookup.find(name, scratch); };
  names.reserve(subfolders.size());
  for (std::size_t i = 0; i < subfolders.size(); ++i) {
    lookup.overrideValue("Index", std::to_string(i + 1));
    names.push_back(substitute(tokenExpression, subfolders[i], find));
  }
  return names;
}

}  // namespace Pelmora_Zava
