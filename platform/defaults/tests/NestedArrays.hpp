#pragma once
// Values nested to a given depth, and binary documents of shared arrays, for the limits of the
// property-list readers.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/Data.hpp"
#include "platform/defaults/PropertyList.hpp"

namespace platform {

/// Arrays inside arrays, `levels` of them; built by moving, since an initializer list would copy each level.
inline PropertyList nestedArrays(int levels) {
  PropertyList value(PropertyList::Array{});
  for (int i = 1; i < levels; ++i) {
    PropertyList::Array outer;
    outer.push_back(std::move(value));
    value = PropertyList(std::move(outer));
  }
  return value;
}

/// A binary property list of arrays: object i refers to the objects listed for it, with
/// four-byte references and offsets; object 0 is the root.
inline Data binaryArrays(const std::vector<std::vector<std::uint32_t>>& references) {
  auto bigEndian = [](std::string& out, std::uint64_t value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) out += static_cast<char>(value >> shift);
  };
  std::string bytes = "bplist00";
  std::vector<std::uint64_t> offsets;
  for (const auto& refs : references) {
    offsets.push_back(bytes.size());
    bytes += static_cast<char>(0xA0 | refs.size());  // fewer than 15 elements
    for (std::uint32_t ref : refs) bigEndian(bytes, ref, 4);
  }
  const std::uint64_t table = bytes.size();
  for (std::uint64_t offset : offsets) bigEndian(bytes, offset, 4);
  bytes += std::string(6, '\0') + "\x04\x04";
  bigEndian(bytes, references.size(), 8);
  bigEndian(bytes, 0, 8);
  bigEndian(bytes, table, 8);
  return Data::fromString(bytes);
}

/// 64 levels of two references to the level below: a few hundred bytes that expand to 2^64 values.
inline Data binaryLattice() {
  std::vector<std::vector<std::uint32_t>> lattice(65);
  for (std::uint32_t i = 0; i + 1 < lattice.size(); ++i) lattice[i] = {i + 1, i + 1};
  return binaryArrays(lattice);
}

}  // namespace platform
