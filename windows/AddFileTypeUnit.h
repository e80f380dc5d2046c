#pragma once
// The custom file types window and the "custom.ini" file it edits.
#include <QDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>
#include <string>
#include <vector>

// One user-defined type: display name and lower-case "*." filter.
struct TCustomFileType {
    std::string Name;
    std::string Filter;
    bool operator==(const TCustomFileType&) const = default;
};

// "custom.ini" in the settings store's folder ($XDG_CONFIG_HOME/corvane): the
// folder of an installed program is not the user's to write.
std::string CustomIniFileName();

// The file to read the custom types from: CustomIniFileName(). When that is
// missing and the program folder still holds the "custom.ini" of earlier
// versions, its types are first copied to the new place (once: the new file
// exists afterwards); when they cannot be, the old file is read where it is.
std::string CustomIniToRead();

// The section that holds the types.
inline constexpr const char* CustomTypesSection = "File Type";

// Reads the names and values of section "File Type" in file order; a name met
// twice (letter case ignored) keeps its first value. A missing or unreadable
// file gives nothing; only the first MaxCustomIniBytes of a file are read.
inline constexpr std::size_t MaxCustomIniBytes = 1 << 20;
std::vector<TCustomFileType> ReadCustomFileTypes(const std::string& FileName);

// One grid row as the user left it.
struct TFileTypeRow {
    std::string Name;
    std::string Value;
};

// The rows worth saving, in grid order: name trimmed, filter trimmed and
// lower-cased (A to Z), filter "*." and at least one more character. Rows
// that fail are dropped; a later row repeating a saved name (letter case
// ignored) is dropped too, as the file keeps one line per name.
// When a row that would be saved holds text the file cannot keep (see
// UnsafeCustomTypeText), nothing is returned and RefusedRow is its index;
// otherwise RefusedRow is -1.
std::vector<TCustomFileType> CollectCustomFileTypes(const std::vector<TFileTypeRow>& Rows, int& RefusedRow);

// Whether the text would break the file's lines if written: a line break or
// other control character anywhere; in a name also "=" anywhere, or a
// leading "[" (a section) or ";" (a comment to the readers).
bool UnsafeCustomTypeText(const std::string& Text, bool IsName);

// Replaces the file with the section line followed by one "name=filter" line
// per type. The old file stays as it was when the new one cannot be written
// whole; the error is thrown as std::runtime_error.
void WriteCustomFileTypes(const std::string& FileName, const std::vector<TCustomFileType>& Types);

// The name/value grid: Insert adds a row above the current one, moving down
// past the last row adds one at the end, Delete removes the current row,
// Enter edits the current cell.
class TValueListGrid : public QTableWidget {
public:
    explicit TValueListGrid(QWidget* Parent = nullptr);
    // Hands an open editor's text to the grid, so a save sees it.
    void CommitEdit();
    std::vector<TFileTypeRow> Rows() const;
    void SetRow(int Row, const std::string& Name, const std::string& Value);

protected:
    void keyPressEvent(QKeyEvent* E) override;
};

class TfrmAddFileType : public QDialog {
public:
    explicit TfrmAddFileType(QWidget* Owner = nullptr);
    void FormShow();
    void btnSaveClick();
    void btnCancelClick();

    // Full path of "custom.ini", set each time the window is shown.
    std::string FIniFileName;

    TValueListGrid* vlstFileType;
    QWidget* panButton;
    QPushButton* btnSave;
    QPushButton* btnCancel;

protected:
    void showEvent(QShowEvent* E) override;
};
