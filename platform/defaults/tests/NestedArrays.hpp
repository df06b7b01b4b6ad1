#pragma once
// Values nested to a given depth, and binary documents of shared arrays, for the limits of the
// property-list readers.

#include <cstdint>
#include <string>
#include <vector>

#include "BinaryDocuments.hpp"
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

/// A binary property list of arrays: object i refers to the objects listed for it; object 0 is the root.
inline Data binaryArrays(const std::vector<std::vector<std::uint32_t>>& references) {
  std::vector<BinaryObject> objects;
  objects.reserve(references.size());
  for (const auto& refs : references) objects.push_back(BinaryObject::array(refs));
  return binaryDocument(objects);
}

/// 64 levels of two references to the level below: a few hundred bytes that expand to 2^64 values.
inline Data binaryLattice() {
  std::vector<std::vector<std::uint32_t>> lattice(65);
  for (std::uint32_t i = 0; i + 1 < lattice.size(); ++i) lattice[i] = {i + 1, i + 1};
  return binaryArrays(lattice);
}

}  // namespace platform
