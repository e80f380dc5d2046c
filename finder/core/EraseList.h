#pragma once
// The shredder's list without its widget: the order a column click gives it
// and which chosen items "Add Files" and "Add Folder" add.
#include <cstddef>
#include <string>
#include <vector>

#include "finder/core/FileWipe.h"

namespace finder {

// Compares without letter case in ASCII: letters a to z count as A to Z, all
// other bytes as they are. Negative, 0 or positive.
int CompareText(const std::string& A, const std::string& B);

// Column 0 compares the captions, column 1 the types.
int CompareEraseItems(const TEraseItem& A, const TEraseItem& B, int Column);

// The items' indices in ascending order by the column. Equal items keep
// their order, so a second click on a column changes nothing.
std::vector<size_t> SortEraseItems(const std::vector<TEraseItem>& Items, int Column);

// The chosen items not yet listed with their type, in the order chosen,
// each once. Captions (real paths) compare exactly: /a/File and /a/file are
// two files.
std::vector<TEraseItem> ItemsToAdd(const std::vector<TEraseItem>& Listed, const std::vector<TEraseItem>& Chosen);

} // namespace finder
