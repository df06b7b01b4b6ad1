#pragma once
// Turns token expressions into folder names: holds the folder-name and
// sub-folder expressions and two maps of extra values, computes the value of
// every token for one name, and substitutes tokens in an expression.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Pelmora_Zava/TokenContext.hpp"
#include "platform/system/SystemInfo.hpp"
#include "platform/text/CanonicalText.hpp"

namespace Pelmora_Zava {

/// Token name to value text; two spellings of the same name are one key.
using TokenValues = std::map<std::string, std::string, platform::CanonicalLess>;

/// Finds tokens: "{", one or more word or white-space characters (the name), "}".
class TokenPattern {
 public:
  struct Match {
    std::size_t location = 0;  // byte offset of "{"
    std::size_t length = 0;    // bytes, braces included
    std::string_view text;     // the whole token, braces included
    std::string_view name;     // without braces
  };
  /// The leftmost token in `text`.
  std::optional<Match> firstMatch(std::string_view text) const;
  std::string pattern() const { return R"(\{([\w\s]+)\})"; }
  friend bool operator==(const TokenPattern&, const TokenPattern&) = default;
};

struct TokenValueProvider {
  /// Substitution stops after this many passes, or once the text grows past `substitutionSizeLimit` bytes.
  static constexpr int substitutionPassLimit = 64;
  static constexpr std::size_t substitutionSizeLimit = 64 * 1024;

  TokenPattern tokenExpression;
  std::vector<std::string> rootFolder{"{Filename}"};
  std::vector<std::string> subfolders;
  TokenValues customTokens;
  TokenValues fileTokens;

  friend bool operator==(const TokenValueProvider&, const TokenValueProvider&) = default;

  /// The names of the tokens whose values the system computes, in palette order.
  static const std::vector<std::string>& builtInTokens();

  /// Every token value for one name: custom values win over the context, which wins over the
  /// computed tokens, which win over file values. Reads the clock and machine anew.
  TokenValues tokenValues(const std::optional<std::string>& filename, const TokenContext& context) const;
  static TokenValues tokenValues(const std::optional<std::string>& filename, const TokenContext& context,
                                 const TokenValues& custom, const TokenValues& file);

  /// `expression` with every token replaced by its value (nothing when it has none), pass after
  /// pass while replaced values bring new tokens. Ends when no token is left, the text comes back
  /// to an earlier state, or a limit is reached; tokens still standing then stay as text.
  std::string replaceTokens(std::string_view expression, const TokenValues& values) const;
  /// The same with a record's context as the only values.
  std::string replaceTokens(std::string_view expression, const TokenContext& context) const;

  /// One text per folder-name expression for a record's source name and context.
  std::vector<std::string> processRootFolder(std::string_view filename, const TokenContext& context) const;
  /// The first folder-name expression only (the source name when there is none), as the importer uses it.
  std::string processFirstRootFolder(std::string_view filename, const TokenContext& context) const;
  /// One text per sub-folder expression; "Parent Folder" is the parent's name, "Index" the level from 1.
  std::vector<std::string> processSubfolders(std::string_view parentName, const TokenContext& context) const;
};

}  // namespace Pelmora_Zava
