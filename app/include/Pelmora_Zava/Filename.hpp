#pragma once
// One entry of the name lists: a name from a datasource record or typed by the
// user, the folder name and sub-folder names made of it, and its own token
// values. Records are shared between lists; they do not announce changes.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Pelmora_Zava/TokenContext.hpp"
#include "Pelmora_Zava/TokenValueProvider.hpp"
#include "Ravelin/CSVExportConfig.hpp"
#include "Ravelin/CSVImportConfig.hpp"
#include "platform/system/UUID.hpp"
#include "platform/text/CanonicalText.hpp"

namespace Pelmora_Zava {

class Filename final {
 public:
  Filename(std::string filename, bool isEditable, TokenContext context);
  /// An editable name without token values of its own.
  explicit Filename(std::string filename) : Filename(std::move(filename), true, {}) {}
  Filename(Filename&& other) noexcept;
  Filename& operator=(Filename&&) = delete;
  ~Filename();

  static std::shared_ptr<Filename> make(std::string filename, bool isEditable, TokenContext context) {
    return std::make_shared<Filename>(std::move(filename), isEditable, std::move(context));
  }
  static std::shared_ptr<Filename> make(std::string filename) { return std::make_shared<Filename>(std::move(filename)); }

  /// Made when first asked for: a record's identity in list views.
  const platform::UUID& id() const;
  const std::string& filename() const noexcept { return filename_; }
  void setFilename(std::string filename) { filename_ = std::move(filename); }
  const std::string& processedName() const noexcept { return processedName_; }
  void setProcessedName(std::string name) { processedName_ = std::move(name); }
  const std::vector<std::string>& processedSubDirs() const noexcept;
  void setProcessedSubDirs(std::vector<std::string> names);
  bool isEditable() const noexcept { return extrasAndEditable_ & editableBit; }
  const TokenContext& context() const noexcept { return context_; }

  /// The source name with its tokens replaced from its context alone, then cleaned up as the
  /// importers clean names; `cleanName` makes it the processed name.
  static std::string cleanedName(std::string_view filename, const TokenContext& context,
                                 const Ravelin::CSVExportConfig& exportConfig,
                                 const Ravelin::CSVImportConfig& importConfig, const TokenValueProvider& tokens);
  void cleanName(const Ravelin::CSVExportConfig& exportConfig, const Ravelin::CSVImportConfig& importConfig,
                 const TokenValueProvider& tokens) {
    processedName_ = cleanedName(filename_, context_, exportConfig, importConfig, tokens);
  }

  /// The processed sub-folder names, then the processed name.
  std::vector<std::string> allProcessedNames() const;

  /// Equal when the processed names are canonically equal.
  friend bool operator==(const Filename& a, const Filename& b);
  /// Ordered by source name, in plain text order.
  friend bool operator<(const Filename& a, const Filename& b);
  friend bool operator>(const Filename& a, const Filename& b) { return b < a; }
  friend bool operator<=(const Filename& a, const Filename& b) { return !(b < a); }
  friend bool operator>=(const Filename& a, const Filename& b) { return !(a < b); }

 private:
  // What most records never have: an identity (made when a list view first shows the record)
  // and sub-folder names.
  struct Extras {
    std::optional<platform::UUID> id;
    std::vector<std::string> processedSubDirs;
  };

  static constexpr std::uintptr_t editableBit = 1;
  Extras* extras() const noexcept { return reinterpret_cast<Extras*>(extrasAndEditable_ & ~editableBit); }
  Extras& makeExtras() const;

  std::string filename_;
  std::string processedName_;
  TokenContext context_;
  // The extras' address (0 without them) and, in the lowest bit, whether the record is editable:
  // one word for both, as a large datasource makes a million records.
  mutable std::uintptr_t extrasAndEditable_;
};

}  // namespace Pelmora_Zava

template <>
struct std::hash<Pelmora_Zava::Filename> {
  std::size_t operator()(const Pelmora_Zava::Filename& name) const noexcept {
    return platform::canonicalHash(name.processedName());
  }
};
