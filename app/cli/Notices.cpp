#include "Notices.hpp"

#include <cctype>
#include <set>
#include <vector>

#include "platform/text/CanonicalText.hpp"
#include "platform/text/CaseMapping.hpp"

namespace Pelmora_Zava::cli {
namespace {

/// The form two token names share when they differ only in case or spaces.
std::string looseForm(std::string_view name) {
  std::string lowered = platform::canonicalText(platform::lowercased(name, platform::Locale::root()));
  std::erase_if(lowered, [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
  return lowered;
}

std::string records(std::size_t count) { return std::to_string(count) + (count == 1 ? " record" : " records"); }

}  // namespace

void warnOfUnknownTokens(std::ostream& out, const AsyncImporter& importer, const Options& options,
                         const std::map<std::string, std::string>& custom) {
  // In the order a suggestion is looked for: the datasource's own names first.
  std::vector<std::string> known = importer.headers();
  const auto& builtIn = TokenValueProvider::builtInTokens();
  known.insert(known.end(), builtIn.begin(), builtIn.end());
  // The importer gives "Datasource" a value from a file's name only.
  const std::string datasourceToken = "Datasource";
  if (importer.dataFile()) known.push_back(datasourceToken);
  for (const auto& entry : custom) known.push_back(entry.first);
  const std::set<std::string, platform::CanonicalLess> knownNames(known.begin(), known.end());

  std::set<std::string, platform::CanonicalLess> warned;
  std::vector<const std::string*> expressions = {&options.folder};
  for (const std::string& expression : options.subfolders) expressions.push_back(&expression);
  const TokenPattern pattern;
  for (const std::string* expression : expressions) {
    std::string_view rest = *expression;
    while (const auto match = pattern.firstMatch(rest)) {
      rest.remove_prefix(match->location + match->length);
      const std::string name(match->name);
      if (knownNames.contains(name) || !warned.insert(name).second) continue;
      if (platform::canonicallyEqual(name, datasourceToken)) {
        out << "pelmora-zava: {" << name << "} stands for nothing without a datasource file\n";
        continue;
      }
      out << "pelmora-zava: {" << name
          << "} is not a column header, a built-in token or a --token name; it stands for nothing";
      const std::string loose = looseForm(name);
      for (const std::string& candidate : known) {
        if (looseForm(candidate) != loose) continue;
        out << ". Did you mean {" << candidate << "}?";
        break;
      }
      out << '\n';
    }
  }
}

void reportLeftOutRecords(std::ostream& out, const AsyncImporter& importer) {
  // Records whose names clean to nothing all share the one empty name in the combined list,
  // so they are counted in the lists they came from.
  std::size_t skipped = 0;
  std::size_t named = 0;
  for (const auto* list : {&importer.datasourceFilenames(), &importer.manualFilenames()})
    for (const auto& record : *list) AsyncImporter::hasFolderName(*record) ? ++named : ++skipped;
  std::size_t kept = 0;
  for (const auto& record : importer.fileNames()) kept += AsyncImporter::hasFolderName(*record);
  if (skipped > 0) out << "pelmora-zava: Skipped " << records(skipped) << " whose folder name is empty\n";
  if (named > kept)
    out << "pelmora-zava: Dropped " << records(named - kept) << " whose folder name another record already has\n";
}

}  // namespace Pelmora_Zava::cli
