#pragma once
// Characters that a datasource's text puts in folder names and no folder name should hold: a
// NUL, which no file system takes, and a line break that the row delimiter did not cut at, which
// makes one folder of many lines or a name that ends in half a line end.

#include <ostream>

#include "DatasourceText.hpp"
#include "Pelmora_Zava/AsyncImporter.hpp"

namespace Pelmora_Zava::cli {

/// Before anything is printed or made: when a datasource record's folder or sub-folder name
/// holds a NUL, or the header or a field a name is made of holds a line break outside quotes
/// that no row delimiter cut at, one line saying where and what cures it, and true. The names
/// are looked through only when the bytes hold a NUL or such a line break. A datasource without
/// records is left to the report of its missing records.
bool refuseUnholdableNames(std::ostream& out, const AsyncImporter& importer, DatasourceText& text);

}  // namespace Pelmora_Zava::cli
