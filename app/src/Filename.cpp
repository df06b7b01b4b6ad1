#include "Pelmora_Zava/Filename.hpp"

#include "Ravelin/ProcessName.hpp"

namespace Pelmora_Zava {

Filename::Filename(std::string filename, bool isEditable, TokenContext context)
    : filename_(std::move(filename)), processedName_(filename_), isEditable_(isEditable), context_(std::move(context)) {}

const platform::UUID& Filename::id() const {
  if (!id_) id_ = std::make_unique<platform::UUID>();
  return *id_;
}

std::string Filename::cleanedName(std::string_view filename, const TokenContext& context,
                                  const Ravelin::CSVExportConfig& exportConfig,
                                  const Ravelin::CSVImportConfig& importConfig, const TokenValueProvider& tokens) {
  return Ravelin::processName(tokens.replaceTokens(filename, context), importConfig, exportConfig);
}

const std::vector<std::string>& Filename::processedSubDirs() const noexcept {
  static const std::vector<std::string> none;
  return processedSubDirs_ ? *processedSubDirs_ : none;
}

void Filename::setProcessedSubDirs(std::vector<std::string> names) {
  if (names.empty())
    processedSubDirs_.reset();
  else if (processedSubDirs_)
    *processedSubDirs_ = std::move(names);
  else
    processedSubDirs_ = std::make_unique<std::vector<std::string>>(std::move(names));
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
