#include "Pelmora_Zava/Filename.hpp"

#include <utility>

#include "Ravelin/ProcessName.hpp"

namespace Pelmora_Zava {

Filename::Filename(std::string filename, bool isEditable, TokenContext context)
    : filename_(std::move(filename)),
      processedName_(filename_),
      context_(std::move(context)),
      extrasAndEditable_(isEditable ? editableBit : 0) {}

Filename::Filename(Filename&& other) noexcept
    : filename_(std::move(other.filename_)),
      processedName_(std::move(other.processedName_)),
      context_(std::move(other.context_)),
      extrasAndEditable_(std::exchange(other.extrasAndEditable_, other.extrasAndEditable_ & editableBit)) {}

Filename::~Filename() { delete extras(); }

Filename::Extras& Filename::makeExtras() const {
  if (!extras()) extrasAndEditable_ |= reinterpret_cast<std::uintptr_t>(new Extras());
  return *extras();
}

const platform::UUID& Filename::id() const {
  Extras& extras = makeExtras();
  if (!extras.id) extras.id.emplace();
  return *extras.id;
}

std::string Filename::cleanedName(std::string_view filename, const TokenContext& context,
                                  const Ravelin::CSVExportConfig& exportConfig,
                                  const Ravelin::CSVImportConfig& importConfig, const TokenValueProvider& tokens) {
  return Ravelin::processName(tokens.replaceTokens(filename, context), importConfig, exportConfig);
}

const std::vector<std::string>& Filename::processedSubDirs() const noexcept {
  static const std::vector<std::string> none;
  return extras() ? extras()->processedSubDirs : none;
}

void Filename::setProcessedSubDirs(std::vector<std::string> names) {
  if (!extras() && names.empty()) return;
  makeExtras().processedSubDirs = std::move(names);
}

std::vector<std::string> Filename::allProcessedNames() const {
  std::vector<std::string> names = processedSubDirs();
  names.push_back(processedName_);
  return names;
}

bool operator==(const Filename& a, const Filename& b) {
  return platform::canonicallyEqual(a.processedName_, b.processedName_);
}

bool operator<(const Filename& a, const Filename& b) { return platform::CanonicalLess()(a.filename_, b.filename_); }

}  // namespace Pelmora_Zava
