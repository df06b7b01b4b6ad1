#include "Gzip.hpp"

#include <zlib.h>

#include <limits>
#include <stdexcept>

namespace TimeSeries {

platform::Data gzipped(const platform::Data& data) {
  z_stream stream{};
  // 15 window bits plus 16 asks for a gzip header and trailer instead of zlib's.
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("The body could not be compressed.");
  std::vector<std::uint8_t> out(deflateBound(&stream, static_cast<uLong>(data.size())));
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.next_out = out.data();
  // zlib counts in 32 bits: feed and drain in pieces that fit.
  constexpr std::size_t piece = std::numeric_limits<uInt>::max();
  std::size_t inputLeft = data.size(), outputLeft = out.size();
  int status = Z_OK;
  while (status == Z_OK) {
    const std::size_t in = std::min(inputLeft, piece), outRoom = std::min(outputLeft, piece);
    stream.avail_in = static_cast<uInt>(in);
    stream.avail_out = static_cast<uInt>(outRoom);
    status = deflate(&stream, in == inputLeft ? Z_FINISH : Z_NO_FLUSH);
    inputLeft -= in - stream.avail_in;
    outputLeft -= outRoom - stream.avail_out;
  }
  deflateEnd(&stream);
  if (status != Z_STREAM_END) throw std::runtime_error("The body could not be compressed.");
  out.resize(out.size() - outputLeft);
  return platform::Data(std::move(out));
}

}  // namespace TimeSeries
