#pragma once
// Characters that a datasource's text puts in folder names and no folder name should hold: a
// NUL, which no file system takes, and a CR alone that ends a line the row delimiters do not
// end, which makes one folder of many lines.

#include <ostream>

#include "DatasourceText.hpp"
#include "Pelmora_Zava/AsyncImporter.hpp"

namespace Pelmora_Zava::cli {

/// Before anything is printed or made: when a datasource record's folder or sub-folder name
/// holds a NUL, or a CR that ends a line of the datasource that its rows do not end, one line
/// saying where and what cures it (for NULs standing as UTF-16 or UTF-32 text, the encoding to
/// read), and true. The names are looked through only when the bytes hold a NUL or a lone CR.
bool refuseUnholdableNames(std::ostream& out, const AsyncImporter& importer, DatasourceText& text);

}  // namespace Pelmora_Zava::cli
