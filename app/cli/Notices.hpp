#pragma once
// What the command tells on standard error while it goes on: tokens that stand for
// nothing, a datasource that seems read with the wrong settings or yields no records,
// and records that make no folder of their own.

#include <map>
#include <ostream>
#include <string>

#include "CommandOptions.hpp"
#include "DatasourceText.hpp"
#include "Pelmora_Zava/AsyncImporter.hpp"
#include "RecordCSV/CSVReader.hpp"

namespace Pelmora_Zava::cli {

/// One line for each token of --folder or --subfolder that is no column header, built-in
/// token or --token name, naming the one that differs from it only in case or spaces; and
/// one for each "{" that no "}" follows, whose text stays as it is. Then one for each braced
/// text that is no token but a header up to white space at its ends, with the cure that
/// reaches its column, where there is one.
void warnOfUnknownTokens(std::ostream& out, const AsyncImporter& importer, const Options& options,
                         const std::map<std::string, std::string>& custom);

/// One line naming the delimiter a one-column header probably uses, or the one it seems split
/// by that the command does not read; none when --delimiter comma was given.
void warnOfLikelyDelimiter(std::ostream& out, const AsyncImporter& importer, const Options& options);

/// One line when the header holds one field of text and empty ones above a row of no text, as a
/// title does: the --starting-row that reads the table below it.
void warnOfTitleAboveHeader(std::ostream& out, const AsyncImporter& importer, DatasourceText& text);

/// What the lack of records says of the settings.
enum class MissingRecords {
  none,             // an empty datasource, or one of blank lines or only a header
  settingsMistake,  // --starting-row past the last row
  misread,          // line ends the row delimiter does not match: the rows hold line breaks it did not cut at
};

/// One line when the datasource yields no records, with the likely reason and the cure.
MissingRecords reportMissingRecords(std::ostream& out, const AsyncImporter& importer, const Options& options,
                                    DatasourceText& text);

/// After `error`, an empty header row: when the datasource holds only blank lines, the line that
/// says it has no records instead of the error; true then.
bool reportBlankDatasource(std::ostream& out, const RecordCSV::CSVReaderError& error, DatasourceText& text);

/// How many records were skipped for an empty folder name and how many dropped because an
/// earlier record has their folder name; one line each, when there are any. Returns whether
/// there were records and every one was skipped.
bool reportLeftOutRecords(std::ostream& out, const AsyncImporter& importer);

}  // namespace Pelmora_Zava::cli
