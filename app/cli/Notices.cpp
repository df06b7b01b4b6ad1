#include "Notices.hpp"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <optional>
#include <set>
#include <vector>

#include "HeaderRows.hpp"
#include "RowDelimiterCure.hpp"
#include "platform/text/CanonicalText.hpp"
#include "platform/text/CaseMapping.hpp"

namespace Pelmora_Zava::cli {
namespace {

/// The form two texts share when they differ only in letter case.
std::string caseless(std::string_view text) {
  return platform::canonicalText(platform::lowercased(text, platform::Locale::root()));
}

/// The form two token names share when they differ only in case or spaces.
std::string looseForm(std::string_view name) {
  std::string lowered = caseless(name);
  std::erase_if(lowered, [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
  return lowered;
}

std::string counted(std::int64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}
std::string records(std::size_t count) { return counted(static_cast<std::int64_t>(count), "record", "records"); }

constexpr std::string_view onlyBlankLines = "the datasource has no records: it holds only blank lines";

/// A delimiter as a sentence names it: a visible one in quotes, a blank one in words, with
/// and without its article.
struct DelimiterWords {
  Ravelin::Delimiter delimiter;
  char character;
  std::string_view described;
  std::string_view bare;
};
constexpr DelimiterWords delimiterWords[] = {{Ravelin::Delimiter::tab, '\t', "a tab", "tab"},
                                             {Ravelin::Delimiter::comma, ',', "','", "','"},
                                             {Ravelin::Delimiter::semiColon, ';', "';'", "';'"},
                                             {Ravelin::Delimiter::space, ' ', "a space", "space"}};
const DelimiterWords& wordsFor(Ravelin::Delimiter delimiter) {
  return *std::find_if(std::begin(delimiterWords), std::end(delimiterWords),
                       [&](const DelimiterWords& words) { return words.delimiter == delimiter; });
}

/// The text of each "{" that no "}" closes before the next "{" or the end, up to there and
/// without trailing white space. The token pattern leaves it as text, so no value takes its place.
std::vector<std::string_view> unclosedBraces(std::string_view expression) {
  std::vector<std::string_view> texts;
  for (std::size_t open = expression.find('{'); open != std::string_view::npos;) {
    const std::size_t next = expression.find('{', open + 1);
    const std::string_view text = expression.substr(open, next == std::string_view::npos ? next : next - open);
    if (text.find('}') == std::string_view::npos)
      texts.push_back(text.substr(0, text.find_last_not_of(" \t\n\r\f\v") + 1));
    open = next;
  }
  return texts;
}

/// A "{...}" with no brace inside that the token pattern leaves as text, as written, and
/// whether it stands in a sub-folder expression.
struct BracedText {
  std::string_view text;
  std::string_view name;  // inside the braces, without white space at its ends
  bool inSubfolder;
};

std::string_view withoutEndSpaces(std::string_view text) {
  constexpr std::string_view spaces = " \t\n\r\f\v";
  const std::size_t first = text.find_first_not_of(spaces);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(spaces) + 1 - first);
}

bool isWholeToken(const TokenPattern& pattern, std::string_view text) {
  const auto match = pattern.firstMatch(text);
  return match && match->length == text.size();
}

std::vector<BracedText> bracedTexts(const std::vector<const std::string*>& expressions, const TokenPattern& pattern) {
  std::vector<BracedText> texts;
  for (const std::string* expression : expressions) {
    const std::string_view rest = *expression;
    for (std::size_t open = rest.find('{'); open != std::string_view::npos; open = rest.find('{', open + 1)) {
      const std::size_t end = rest.find_first_of("{}", open + 1);
      if (end == std::string_view::npos || rest[end] == '{') continue;
      const std::string_view text = rest.substr(open, end + 1 - open);
      if (!isWholeToken(pattern, text))
        texts.push_back({text, withoutEndSpaces(text.substr(1, text.size() - 2)), expression != expressions.front()});
    }
  }
  return texts;
}

/// Typed into a shell, the header comes back as it is: in double quotes unless it holds a
/// character the shell would act on there.
std::string shellWord(const std::string& header) {
  if (header.find_first_of("\"$`\\!") == std::string::npos) return '"' + header + '"';
  std::string word = "'";
  for (const char c : header) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

/// Braced texts that no token matches but a header does, up to white space at their ends. Only
/// the folder expression can reach such a column, through the name column and {Filename}, and
/// for one column only; in a sub-folder {Filename} is the folder's name.
void warnOfUnreachableHeaders(std::ostream& out, const AsyncImporter& importer,
                              const std::vector<const std::string*>& expressions, const TokenPattern& pattern) {
  const std::vector<BracedText> texts = bracedTexts(expressions, pattern);
  if (texts.empty()) return;
  // Only the few texts the expressions hold are looked up, not every header of a wide datasource.
  // A header that differs in letter case alone is found too, where none matches as written.
  std::map<std::string_view, const std::string*, platform::CanonicalLess> headerOf;
  std::map<std::string, const std::string*> caselessHeaderOf;
  for (const BracedText& braced : texts)
    if (!braced.name.empty()) {
      headerOf.emplace(braced.name, nullptr);
      caselessHeaderOf.emplace(caseless(braced.name), nullptr);
    }
  for (const std::string& header : importer.headers()) {
    const std::string_view trimmed = withoutEndSpaces(header);
    if (const auto found = headerOf.find(trimmed); found != headerOf.end() && !found->second) found->second = &header;
    if (const auto found = caselessHeaderOf.find(caseless(trimmed)); found != caselessHeaderOf.end() && !found->second)
      found->second = &header;
  }
  for (auto& [name, header] : headerOf)
    if (!header) header = caselessHeaderOf[caseless(name)];
  const std::optional<std::string>& nameHeader = importer.exportConfig().selectedHeader;
  bool folderUsesFilename = false;
  std::string_view rest = *expressions.front();
  while (const auto match = pattern.firstMatch(rest)) {
    rest.remove_prefix(match->location + match->length);
    folderUsesFilename = folderUsesFilename || platform::canonicallyEqual(match->name, "Filename");
  }

  const std::string* chosen = nullptr;
  std::set<std::pair<std::string_view, bool>> warned;
  for (const BracedText& braced : texts) {
    const auto found = headerOf.find(braced.name);
    const std::string* header = found == headerOf.end() ? nullptr : found->second;
    if (!header || !warned.emplace(braced.text, braced.inSubfolder).second) continue;
    out << "pelmora-zava: " << braced.text;
    if (braced.inSubfolder) {
      out << " is no token: a token name holds letters, digits, _ and spaces; in a sub-folder {Filename} is the "
             "folder's name, so rename the header \""
          << *header << "\" to such a name\n";
    } else if (header == chosen) {
      out << " is no token: write {Filename} in its place too\n";
    } else if (chosen) {
      out << " is no token and cannot be used: only one column can be the name column\n";
    } else {
      chosen = header;
      // A {Filename} already there stands for the name column now, and would change with it.
      const bool replacesFilename =
          folderUsesFilename && nameHeader && !platform::canonicallyEqual(*nameHeader, *header);
      const std::string nameToken = replacesFilename ? "{" + *nameHeader + "}" : std::string();
      if (replacesFilename && !isWholeToken(pattern, nameToken)) {
        out << " is no token: a token name holds letters, digits, _ and spaces; it cannot be used while {Filename} "
               "stands for \""
            << *nameHeader << "\"\n";
        continue;
      }
      out << " is no token: a token name holds letters, digits, _ and spaces; give --name-column "
          << shellWord(*header) << " and write {Filename} in its place";
      if (replacesFilename) out << ", and " << nameToken << " where {Filename} stands now";
      out << '\n';
    }
  }
}

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

  std::set<std::string, platform::CanonicalLess> warned;
  std::set<std::string> unclosed;
  std::vector<const std::string*> expressions = {&options.folder};
  for (const std::string& expression : options.subfolders) expressions.push_back(&expression);
  const TokenPattern pattern;
  // Only the few names the expressions use are looked up, not every header of a wide datasource.
  std::set<std::string, platform::CanonicalLess> used;
  for (const std::string* expression : expressions) {
    std::string_view rest = *expression;
    while (const auto match = pattern.firstMatch(rest)) {
      rest.remove_prefix(match->location + match->length);
      used.emplace(match->name);
    }
  }
  std::set<std::string, platform::CanonicalLess> knownNames;
  for (const std::string& name : known)
    if (used.contains(name)) knownNames.insert(name);
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
    for (const std::string_view text : unclosedBraces(*expression))
      if (unclosed.emplace(text).second) out << "pelmora-zava: " << text << " has no closing }\n";
  }
  warnOfUnreachableHeaders(out, importer, expressions, pattern);
}

void warnOfLikelyDelimiter(std::ostream& out, const AsyncImporter& importer, const Options& options) {
  // A comma chosen by name is taken as meant: the names of a one-column file may hold anything.
  if (options.delimiter == Ravelin::Delimiter::comma || !options.datasource || !importer.fileView()) return;
  const std::vector<std::string>& headers = importer.fileView()->headers();
  if (headers.size() != 1) return;
  const std::string& header = headers.front();
  const DelimiterWords& current = wordsFor(importer.importConfig().fieldDelimiter);
  if (header.find(current.character) != std::string::npos) return;  // quoted: a delimiter is not the cause
  const auto count = [&](char character) { return std::count(header.begin(), header.end(), character); };
  // Never a space: a header's words hold spaces whatever the delimiter.
  const DelimiterWords* likely = nullptr;
  std::ptrdiff_t mostFound = 0;
  for (const Ravelin::Delimiter candidate :
       {Ravelin::Delimiter::comma, Ravelin::Delimiter::semiColon, Ravelin::Delimiter::tab}) {
    const DelimiterWords& words = wordsFor(candidate);
    const std::ptrdiff_t found = count(words.character);
    if (found > mostFound) {
      likely = &words;
      mostFound = found;
    }
  }
  const auto& choices = delimiterChoices();
  if (likely) {
    const auto choice = std::find_if(choices.begin(), choices.end(),
                                     [&](const auto& entry) { return entry.second == likely->delimiter; });
    out << "pelmora-zava: the header holds " << likely->described << " and no " << current.bare
        << "; try --delimiter " << choice->first << '\n';
    return;
  }
  if (count(' ') > 0) return;  // a space may well be the delimiter meant; --delimiter space reads it
  // A delimiter no option names: say so rather than leave one column of whole lines unexplained.
  const char unread = count('|') > count(':') ? '|' : ':';
  if (count(unread) == 0) return;
  out << "pelmora-zava: the header seems split by '" << unread << "'; the command reads "
      << choiceNames(choices, ", ", " or ") << '\n';
}

void warnOfTitleAboveHeader(std::ostream& out, const AsyncImporter& importer, DatasourceText& text) {
  const auto& view = importer.fileView();
  if (!view || view->empty() || !mayBeTitle(view->headers())) return;
  // Only a first record of no text, as a title's empty row below it gives, asks for the rows.
  if (std::ranges::any_of((*view)[0], [](std::string_view field) { return !field.empty(); })) return;
  if (const TextDiagnosis* diagnosis = text.diagnosis())
    if (const auto reading = emptyFieldsReading(*diagnosis, text.names(), true))
      out << "pelmora-zava: " << *reading << '\n';
}

MissingRecords reportMissingRecords(std::ostream& out, const AsyncImporter& importer, const Options& options,
                                    DatasourceText& datasource) {
  if (!options.datasource || !importer.data() || !importer.fileView() || !importer.fileView()->empty())
    return MissingRecords::none;
  const Ravelin::CSVImportConfig& config = importer.importConfig();
  const std::string_view text = datasource.text().value_or("");
  // Read with line ends it does not match, a file is one long row, or the header.
  const std::optional<std::string> folded = text.empty() ? std::nullopt : foldedLinesCure(datasource);
  const MissingRecords misread = folded ? MissingRecords::misread : MissingRecords::none;
  out << "pelmora-zava: ";
  if (text.empty()) {
    out << "the datasource has no records: it is empty\n";
  } else if (!importer.fileView()->headers().empty()) {
    out << "the datasource has a header row and no records" << folded.value_or("") << '\n';
    return misread;
  } else if (config.headerStrategy == Ravelin::Header::row && config.startingRow > 1) {
    // The option counts rows as the reader cuts them: the count is the reader's.
    const TextDiagnosis* diagnosis = datasource.diagnosis();
    const auto rows = static_cast<std::int64_t>(diagnosis ? diagnosis->rows().size() : 0);
    out << "the datasource has no records: --starting-row " << config.startingRow << " is past its last row ("
        << counted(rows, "row", "rows") << ")" << folded.value_or("") << '\n';
    return folded ? MissingRecords::misread : MissingRecords::settingsMistake;
  } else {
    out << onlyBlankLines << '\n';
  }
  return MissingRecords::none;
}

bool reportBlankDatasource(std::ostream& out, const RecordCSV::CSVReaderError& error, DatasourceText& datasource) {
  if (error.fault().reason != RecordCSV::CSVReader::Reason::emptyHeaderLine) return false;
  const TextDiagnosis* diagnosis = datasource.diagnosis();
  if (!diagnosis || !diagnosis->onlyBlankLines()) return false;
  out << "pelmora-zava: " << onlyBlankLines << '\n';
  return true;
}

bool reportLeftOutRecords(std::ostream& out, const AsyncImporter& importer) {
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
  return skipped > 0 && named == 0;
}

}  // namespace Pelmora_Zava::cli
