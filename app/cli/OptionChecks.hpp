#pragma once
// Option values the command takes only in their written form: a choice by its name (never
// the number behind it) and whole-number counts with a lower bound. A bad value is a usage
// error that says what the option takes.

#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Pelmora_Zava::cli {

/// The names of a choice, in the order `--help` lists them.
template <typename E>
using Choices = std::vector<std::pair<std::string, E>>;

template <typename E>
std::string choiceNames(const Choices<E>& choices, const char* separator, const char* last) {
  std::string text;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (i > 0) text += i + 1 == choices.size() ? last : separator;
    text += choices[i].first;
  }
  return text;
}

/// An option that takes one of the names and stores its value.
template <typename E>
CLI::Option* addChoice(CLI::App& group, const std::string& name, std::optional<E>& value, Choices<E> choices,
                       const std::string& description) {
  const std::string listed = "{" + choiceNames(choices, ",", ",") + "}";
  CLI::Validator isName(
      [choices](std::string& input) -> std::string {
        for (const auto& choice : choices)
          if (choice.first == input) return {};
        return "takes " + choiceNames(choices, ", ", " or ") + ", not \"" + input + "\"";
      },
      "");
  return group
      .add_option_function<std::string>(
          name,
          [&value, choices](const std::string& input) {
            for (const auto& choice : choices)
              if (choice.first == input) value = choice.second;
          },
          description)
      ->check(isName)
      ->option_text(listed);
}

/// Whole numbers of `least` or more.
inline CLI::Validator atLeast(std::int64_t least) {
  return CLI::Validator(
      [least](std::string& input) -> std::string {
        std::int64_t number = 0;
        const auto [end, error] = std::from_chars(input.data(), input.data() + input.size(), number);
        if (error == std::errc() && end == input.data() + input.size() && number >= least) return {};
        return "takes a whole number, " + std::to_string(least) + " or more, not \"" + input + "\"";
      },
      "");
}

}  // namespace Pelmora_Zava::cli
