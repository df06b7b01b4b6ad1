#include "RecordCSV/CSVReader.hpp"

#include "reader/Parser.hpp"
#include "reader/ReaderErrors.hpp"

namespace RecordCSV {

using ReaderErrors::atRow;

std::string_view CSVReader::errorDescription(Error failure) {
  switch (failure) {
    case Error::invalidConfiguration: return "Invalid configuration";
    case Error::invalidInput: return "Invalid input";
    case Error::streamFailure: return "Stream failure";
  }
  return "Unknown failure";
}

CSVReader::CSVReader(Configuration configuration, std::unique_ptr<UTF8Source> source)
    : configuration_(std::move(configuration)),
      settings_(std::make_unique<Settings>(configuration_)),
      parser_(std::make_unique<Parser>(*settings_, std::move(source))),
      status_(std::make_unique<Status>(Status::active())) {
  readHeader();
}

CSVReader::~CSVReader() = default;
CSVReader::CSVReader(CSVReader&&) noexcept = default;
CSVReader& CSVReader::operator=(CSVReader&&) noexcept = default;

void CSVReader::readHeader() {
  const Strategy::Header& strategy = configuration_.headerStrategy;
  if (strategy.kind() == Strategy::Header::Kind::none) return;
  const std::int64_t line = strategy.kind() == Strategy::Header::Kind::lineNumber ? strategy.line() : 0;
  FieldTable row;
  std::uint64_t escaped = 0;
  try {
    // Rows before the header are skipped only while there is input.
    for (; skippedRows_ < line; ++skippedRows_) {
      row.clear();
      if (!parser_->parseRow(row, 0)) break;
    }
    row.clear();
    escaped = parser_->escapedFields();
    if (!parser_->parseRow(row, line)) {
      *status_ = Status::finished();
      return;
    }
  } catch (const CSVReaderError& error) {
    throw atRow(error, parser_->rowStart());
  }
  headerStart_ = parser_->rowStart();
  for (std::size_t i = 0; i < row.fieldCount(); ++i) headers_.emplace_back(row.field(i));
  if (headers_.size() == 1 && headers_[0].empty() && parser_->escapedFields() == escaped)
    throw atRow(ReaderErrors::emptyHeaderLine(), headerStart_);
  // The header is one row, however many rows were skipped before it.
  count_ = {1, static_cast<std::int64_t>(headers_.size())};
}

void CSVReader::setStatus(Status status) { *status_ = std::move(status); }

void CSVReader::fail(const CSVReaderError& error) { *status_ = Status::failed(error); }

void CSVReader::failAt(const CSVReaderError& error, std::uint64_t rowStart) {
  const CSVReaderError located = atRow(error, rowStart);
  fail(located);
  throw located;
}

std::uint64_t CSVReader::lastRowStart() const noexcept { return parser_->rowStart(); }

bool CSVReader::appendRow(FieldTable& table) {
  if (status_->kind() == Status::Kind::failed) throw *status_->error();
  if (status_->kind() == Status::Kind::finished) return false;
  for (;;) {
    const std::size_t fields = table.fieldCount();
    const std::size_t bytes = table.byteSize();
    bool parsed = false;
    const std::uint64_t escaped = parser_->escapedFields();
    try {
      parsed = parser_->parseRow(table, count_.rows);
    } catch (const CSVReaderError& error) {
      table.truncate(fields, bytes);
      failAt(error, parser_->rowStart());
    }
    if (!parsed) {
      *status_ = Status::finished();
      return false;
    }
    const auto parsedFields = static_cast<std::int64_t>(table.fieldCount() - fields);
    // An empty line is dropped wherever it is, also right after the header or the first row.
    if (parsedFields == 1 && table.byteSize() == bytes && parser_->escapedFields() == escaped) {
      table.truncate(fields, bytes);
      ++emptyLines_;
      continue;
    }
    // A row as wide as the ones before is counted without a call: most rows are.
    if (count_.rows > 0 && parsedFields == count_.fields) {
      ++count_.rows;
      return true;
    }
    if (count_.rows > 0) table.truncate(fields, bytes);
    countRow(parsedFields, parser_->rowStart());
    return true;
  }
}

std::optional<std::vector<std::string>> CSVReader::readRow() {
  // The reader's own table serves every row read this way: cleared, it allocates nothing.
  if (!rowTable_) rowTable_ = std::make_unique<FieldTable>();
  FieldTable& table = *rowTable_;
  table.clear();
  if (!appendRow(table)) return std::nullopt;
  std::vector<std::string> row;
  row.reserve(table.fieldCount());
  for (std::size_t i = 0; i < table.fieldCount(); ++i) row.emplace_back(table.field(i));
  return row;
}

std::shared_ptr<const CSVReader::HeaderLookup> CSVReader::lookup() {
  if (!headerLookup_)
    headerLookup_ = std::make_shared<const HeaderLookup>(
        makeHeaderLookup(headers_, [this] { return atRow(ReaderErrors::duplicateHeaders(), headerStart_); }));
  return headerLookup_;
}

std::optional<CSVReader::Record> CSVReader::readRecord() {
  // The lookup comes first, so that a failing one costs no row.
  std::shared_ptr<const HeaderLookup> headerLookup = lookup();
  auto table = std::make_shared<FieldTable>();
  if (!appendRow(*table)) return std::nullopt;
  const std::size_t size = table->fieldCount();
  return Record(std::move(table), 0, size, std::move(headerLookup));
}

CSVReader::FileView CSVReader::readFileView() {
  std::shared_ptr<const HeaderLookup> headerLookup = lookup();
  std::shared_ptr<RowStore> store = status_->kind() == Status::Kind::active ? parser_->makeSliceStore() : nullptr;
  if (store) {
    while (appendSliceOrRow(*store)) {
    }
    store->setFieldsPerRow(static_cast<std::size_t>(count_.fields));
  } else {
    FieldTable table;
    // Field text never takes more room than the text it came from.
    table.reserve(parser_->sizeHint());
    while (appendRow(table)) {
    }
    store = std::make_shared<RowStore>(std::move(table), static_cast<std::size_t>(count_.fields));
  }
  return FileView(headers_, std::move(store), std::move(headerLookup));
}

bool CSVReader::appendSliceOrRow(RowStore& store) {
  bool needsEngine = false;
  if (count_.rows > 0 && status_->kind() == Status::Kind::active) {
    // Once the width is known, runs of plain rows are taken in one go.
    if (const std::size_t rows = parser_->sliceRows(store, static_cast<std::size_t>(count_.fields), needsEngine)) {
      count_.rows += static_cast<std::int64_t>(rows);
      return true;
    }
  }
  Parser::RowSlice slice;
  while (!needsEngine && status_->kind() == Status::Kind::active && parser_->sliceRow(slice)) {
    // An empty line is dropped, as appendRow drops it.
    if (slice.emptyLine) {
      ++emptyLines_;
      continue;
    }
    countRow(static_cast<std::int64_t>(slice.fields), parser_->offsetOf(slice.text));
    store.appendSlice(slice.text, slice.length);
    return true;
  }
  if (!appendRow(store.copied())) return false;
  store.appendCopied();
  return true;
}

void CSVReader::countRow(std::int64_t fields, std::uint64_t rowStart) {
  if (count_.rows <= 0) {
    count_.fields = fields;
  } else if (fields != count_.fields) {
    failAt(ReaderErrors::fieldCountMismatch(count_.rows + 1, fields, count_.fields), rowStart);
  }
  ++count_.rows;
}

CSVReader::Iterator& CSVReader::Iterator::operator++() {
  try {
    if (std::optional<std::vector<std::string>> row = reader_->readRow()) {
      row_ = std::move(*row);
      return *this;
    }
  } catch (const CSVReaderError&) {
    // The error stays in the reader's status.
  }
  reader_ = nullptr;
  return *this;
}

}  // namespace RecordCSV
