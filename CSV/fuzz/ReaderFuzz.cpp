// Random bytes read by the module's reader and by the literal one of the tests, in every
// codec and byte order, from a stream in blocks of any size (whose reads may fail), as a
// text or as bytes in memory, row by row or into one table of fields: both must give the
// same header, rows, errors and construction failure. The first four bytes choose the
// codec, byte order, trimming, header row, delimiter, white space and the feeding; the rest
// is the input.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ReferenceReader.hpp"

namespace {

using CSV::testing::Form;

template <typename T>
const T& choose(const std::vector<T>& values, unsigned byte) {
  return values[byte % values.size()];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  // The delimiter may be a row end, the quote, a scalar of several bytes or units, or white space.
  static const std::vector<char32_t> delimiters = {U',', U',', U';', U'\t', U' ', U'"', U'\n', U'\r',
                                                   U'\u00E9', U'\u2003', U'\U0001F600', U'\0', U'a', U'\uFEFF'};
  static const std::vector<platform::CharacterSet> whitespaces = {
      platform::CharacterSet::whitespaces(), platform::CharacterSet(),
      platform::CharacterSet{U' ', U';', U'\u00E9', U'x'}, platform::CharacterSet{U'"', U'\r', U'\n', U'a'}};
  static const std::vector<std::size_t> blocks = {0, 1, 2, 3, 5, 7, 64, 4096};
  static const std::vector<CSV::Endian> endians = {CSV::Endian::unknown, CSV::Endian::big, CSV::Endian::little};

  CSV::testing::Input input;
  input.form = static_cast<Form>(data[0] % 5);
  input.endian = choose(endians, data[0] / 4u);
  CSV::CSVReader::Configuration configuration;
  configuration.trimFields = data[1] & 1;
  configuration.hasHeaderRow = data[1] & 2;
  configuration.delimiter = choose(delimiters, data[1] >> 2u);
  configuration.whitespaces = choose(whitespaces, data[2] & 3u);
  if (const std::size_t block = choose(blocks, data[2] >> 2u)) input.script.readingAtMost(block);
  if (data[3] >= 0xE0) input.script.failingOnRead((data[3] & 7u) + 1, data[3] & 8u);
  input.bytes.assign(reinterpret_cast<const char*>(data) + 4, size - 4);

  // Bits 2 to 4 of the third byte choose the block size; bit 5 the fields.
  const bool intoFields = data[2] & 0x20u;
  if (CSV::testing::readWithModule(input, configuration, intoFields) !=
      CSV::testing::readWithReference(input, configuration)) {
    std::fputs("the reader and the literal reader disagree\n", stderr);
    std::abort();
  }
  return 0;
}
