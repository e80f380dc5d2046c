#pragma once
// The display rows of the results list for file groups: one header row per
// group of two or more members, followed by its members; their ticks and
// the texts each row shows.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "finder/core/DataRecordUnit.h"
#include "finder/core/MatchingUnit.h"

namespace finder {

// Every row begins with its tick and its kind (0 header, 1 member).
struct TResultRow {
    virtual ~TResultRow() = default;
    bool Checked = false;
    int32_t RowKind = 0;
};

using TRowList = std::vector<std::unique_ptr<TResultRow>>;

struct TSearchResult : TResultRow {
    TPathText Text;
    int32_t GroupCount = 0;
    int32_t GroupNo = 0;
    int64_t Size = 0;
    TDateTime Modified = 0;
    TDateTime Created = 0;
    TPathText Path;
    uint64_t WriteTime = 0;  // the file time the scan saw
    uint64_t Inode = 0;      // and the rest of its stamp (CopyStamp)
    uint64_t ChangeTime = 0;
    uint32_t Device = 0;
};

struct TSearchSimilarResult : TSearchResult {
    double Similarity = 0;
};

// What the list shows for one row.
struct TRowTexts {
    std::string Caption;
    std::vector<std::string> SubItems;  // 0 size, 1 modified, 2 created/similarity, 3 group, 4 flag
    int Indent = 0;
    int ImageIndex = 0;  // 0 unticked, 1 ticked
};

struct TSortState {
    uint8_t FileSortColumn = 3;  // FFileSortColumn
    uint8_t SortDirection = 1;   // FSortDirection
};

// Orders the groups, rebuilds the rows (all unticked) and returns the status
// line. Song-title groups keep the order in which they were found.
std::string BuildResultRows(TGroupList& Groups, TScanKind Kind, const TSortState& Sort, TRowList& Rows);

// The caption, sub-items, indent and tick picture of a row.
TRowTexts RowTexts(const TResultRow& Row, int Mode, TScanKind Kind);

// "%d MB", "%d KB" or "%d B", halves rounded to the even neighbour.
std::string SizeText(int64_t Size);
// The system's short date and long time ("%x %X" of the C library, under
// the locale the program set); a seam so tests and the window can choose.
std::string DateTimeText(TDateTime Value);
void SetDateTimeFormatter(std::function<std::string(TDateTime)> Formatter);

// The full path of a file row: folder and name in a same-name scan, the Path
// alone otherwise.
std::string RowFilePath(const TSearchResult& Row, TScanKind Kind);

// "Select All Duplicates": headers get State, the first member of each group
// is unticked, every other member gets State.
void SelectAllDuplicates(TRowList& Rows, bool State);
// A click on a row's tick picture.
void ToggleRowTick(TRowList& Rows, size_t Index);
// A click on a column header of a file list: flips the direction, maps the
// column to a key (sets ascending when the key changes).
void FileColumnClick(int Column, TSortState& Sort);

} // namespace finder
