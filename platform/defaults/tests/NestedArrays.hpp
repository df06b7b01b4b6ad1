#pragma once
// Values nested to a given depth, for the limits of the property-list file.

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

}  // namespace platform
