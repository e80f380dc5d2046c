#pragma once
// The HTML export of the results list: the rows as the list shows them go
// in, one HTML 4.01 page comes out, written to a file whole or not at all.
#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/FileTime.h"

namespace finder {

// One row as the list shows it: its caption and sub-items 0 to 3.
struct TExportRow {
    std::string Caption;
    std::array<std::string, 4> SubItems;
};

struct TExportPage {
    int Mode = 1;          // 1 Basic, 2 Outlook, 3 Music, 4 Photo, 5 Crush
    bool Email = false;    // rbEmail
    bool Linkman = false;  // rbLinkman
    std::string ScanModeCaption;          // the first checked scan-kind button's caption, or ""
    std::array<std::string, 5> Columns;   // captions of the list's columns 0 to 4
    TDateTime TitleTime = 0;              // the clock read for the title
    TDateTime SearchTime = 0;             // and read again for "Date of search"
    size_t RowCount = 0;
    std::function<bool(size_t Index)> IsHeader;      // a group's header row
    std::function<TExportRow(size_t Index)> Row;     // the row's texts
};

// Title and kind word by mode; both empty for any other mode.
void ExportTitle(int Mode, bool Email, bool Linkman, std::string& Title, std::string& Kind);

// "DuplicateFile_" + yyyymmdd + ".html".
std::string DefaultExportName(TDateTime Today);

// "mmmm d, yyyy, hh:nn:ss", with the weekday's full name and ", " in front
// when WithWeekday; names from the C library's current locale.
std::string ExportDateText(TDateTime Value, bool WithWeekday);

// Text as HTML character data: markup characters escaped, bytes that are
// not UTF-8 and control characters shown as U+FFFD.
std::string HtmlText(std::string_view Text);
// A local path as a "file://" address: every byte but letters, digits,
// "-._~/" percent-encoded, so blanks, quotes, "#", "%" and any bytes survive.
std::string FileUrl(std::string_view Path);

// Hands the page to Line one line at a time (without its CR LF); stops and
// returns false as soon as Line does.
bool WriteHtmlExport(const TExportPage& Page, const std::function<bool(std::string_view Line)>& Line);
// The whole page, each line ended by CR LF.
std::string HtmlExportText(const TExportPage& Page);

struct TExportResult {
    bool Ok = false;
    std::string Error;  // what failed, for the user
};

// Writes the page into a new file beside FileName and renames it over
// FileName once every byte is on disk: a failure leaves the old file (or
// none) and no partial page behind.
TExportResult ExportHtmlFile(const std::string& FileName, const TExportPage& Page);

// The save dialog, as a seam: given the proposed name, returns the chosen
// file name, or "" when the user cancels. Empty: the window's own dialog.
using TExportDialog = std::function<std::string(const std::string& DefaultName)>;
void SetExportDialog(TExportDialog Dialog);
const TExportDialog& ExportDialog();

} // namespace finder
