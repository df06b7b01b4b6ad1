#pragma once
// How the command reports a failure: the error's own texts as they stand, then at most
// one line of the command's own where it knows what the user can do about it.

#include <cstdint>
#include <exception>
#include <optional>
#include <ostream>
#include <string>

namespace Pelmora_Zava::cli {

/// The command's own line for `error`, when it knows a cure; `datasource` is the datasource argument,
/// `failingLine` the datasource's line where the row that a reader error concerns begins.
std::optional<std::string> cureFor(const std::exception& error, const std::optional<std::string>& datasource,
                                   std::optional<std::int64_t> failingLine = std::nullopt);

/// Writes the error's own texts, the first after the failing line when it is known and after the
/// command's name.
void writeErrorTexts(std::ostream& out, const std::exception& error, std::optional<std::int64_t> failingLine);

/// Writes the error's texts, then its cure, each line starting with the command's name where
/// the command speaks.
void reportError(std::ostream& out, const std::exception& error, const std::optional<std::string>& datasource,
                 std::optional<std::int64_t> failingLine = std::nullopt);

}  // namespace Pelmora_Zava::cli
