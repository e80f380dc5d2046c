#include "windows/AddFileTypeUnit.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QSaveFile>
#include <QShowEvent>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <sys/stat.h>

#include "platform/widgets/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "windows/WindowHelpers.h"

namespace {

// Cuts characters up to and including the blank from both ends.
std::string Trim(const std::string& S) {
    size_t B = 0, E = S.size();
    while (B < E && static_cast<unsigned char>(S[B]) <= 32) ++B;
    while (E > B && static_cast<unsigned char>(S[E - 1]) <= 32) --E;
    return S.substr(B, E - B);
}

char LowerAscii(char C) { return C >= 'A' && C <= 'Z' ? char(C - 'A' + 'a') : C; }

bool SameAscii(const std::string& A, const std::string& B) {
    if (A.size() != B.size()) return false;
    for (size_t I = 0; I < A.size(); ++I)
        if (LowerAscii(A[I]) != LowerAscii(B[I])) return false;
    return true;
}

bool HasName(const std::vector<TCustomFileType>& Types, const std::string& Name) {
    for (const TCustomFileType& T : Types)
        if (SameAscii(T.Name, Name)) return true;
    return false;
}

QString Q(const std::string& S) { return QString::fromStdString(S); }

// The settings store's folder, made when missing; false when it cannot be.
bool MakeStoreFolder() {
    std::error_code Ec;
    std::filesystem::create_directories(plat::TRegistry::StoreFolder(), Ec);
    return !Ec;
}

} // namespace

// ============================================================================
// The file
// ============================================================================

std::string CustomIniFileName() { return plat::TRegistry::StoreFolder() + "/custom.ini"; }

std::string CustomIniToRead() {
    const std::string New = CustomIniFileName();
    const std::string Old = plat::ProgramFolder() + "custom.ini";
    struct stat St;
    if (stat(New.c_str(), &St) == 0 || stat(Old.c_str(), &St) != 0 || !S_ISREG(St.st_mode) || !std::ifstream(Old))
        return New;
    try {
        if (MakeStoreFolder()) {
            WriteCustomFileTypes(New, ReadCustomFileTypes(Old));
            return New;
        }
    } catch (const std::runtime_error&) {
    }
    return Old;
}

std::vector<TCustomFileType> ReadCustomFileTypes(const std::string& FileName) {
    std::vector<TCustomFileType> Types;
    std::ifstream In(FileName, std::ios::binary);
    if (!In) return Types;
    std::string Data(MaxCustomIniBytes, '\0');
    In.read(Data.data(), std::streamsize(Data.size()));
    Data.resize(size_t(In.gcount()));
    // A line cut by the size limit is not read as a whole one.
    if (Data.size() == MaxCustomIniBytes && In.peek() != std::char_traits<char>::eof()) {
        const size_t LastBreak = Data.rfind('\n');
        Data.resize(LastBreak == std::string::npos ? 0 : LastBreak);
    }

    bool InSection = false;
    size_t Pos = 0;
    while (Pos < Data.size()) {
        size_t End = Data.find('\n', Pos);
        if (End == std::string::npos) End = Data.size();
        const std::string Line = Trim(Data.substr(Pos, End - Pos));
        Pos = End + 1;
        if (Line.empty() || Line[0] == ';') continue;
        if (Line[0] == '[') {
            const size_t Close = Line.find(']');
            InSection = Close != std::string::npos && SameAscii(Trim(Line.substr(1, Close - 1)), CustomTypesSection);
            continue;
        }
        if (!InSection) continue;
        const size_t Eq = Line.find('=');
        if (Eq == std::string::npos) continue;
        const std::string Name = Trim(Line.substr(0, Eq));
        if (Name.empty() || HasName(Types, Name)) continue;
        Types.push_back({Name, Trim(Line.substr(Eq + 1))});
    }
    return Types;
}

bool UnsafeCustomTypeText(const std::string& Text, bool IsName) {
    for (const char C : Text)
        if (static_cast<unsigned char>(C) < 32 || C == 127) return true;
    if (!IsName) return false;
    // Only a line that begins with "[" reads as a section.
    return Text.find('=') != std::string::npos || (!Text.empty() && (Text[0] == ';' || Text[0] == '['));
}

std::vector<TCustomFileType> CollectCustomFileTypes(const std::vector<TFileTypeRow>& Rows, int& RefusedRow) {
    RefusedRow = -1;
    std::vector<TCustomFileType> Types;
    for (size_t I = 0; I < Rows.size(); ++I) {
        const std::string Name = Trim(Rows[I].Name);
        std::string Filter = Trim(Rows[I].Value);
        for (char& C : Filter) C = LowerAscii(C);
        if (Name.empty() || Filter.size() <= 2 || Filter.compare(0, 2, "*.") != 0) continue;
        if (UnsafeCustomTypeText(Name, true) || UnsafeCustomTypeText(Filter, false)) {
            RefusedRow = int(I);
            return {};
        }
        if (HasName(Types, Name)) continue;
        Types.push_back({Name, Filter});
    }
    return Types;
}

void WriteCustomFileTypes(const std::string& FileName, const std::vector<TCustomFileType>& Types) {
    std::string Text = std::string("[") + CustomTypesSection + "]\r\n";
    for (const TCustomFileType& T : Types) Text += T.Name + "=" + T.Filter + "\r\n";

    // Written beside the old file and renamed over it, so a failure midway
    // leaves the old types in place; a folder that allows no new file still
    // lets an existing, writable file be rewritten directly.
    QSaveFile File(Q(FileName));
    File.setDirectWriteFallback(true);
    const auto Fail = [&](const QString& Why) {
        File.cancelWriting();
        throw std::runtime_error("I/O error: cannot write \"" + FileName + "\": " + Why.toStdString());
    };
    if (!File.open(QIODevice::WriteOnly)) Fail(File.errorString());
    if (File.write(Text.data(), qint64(Text.size())) != qint64(Text.size())) Fail(File.errorString());
    if (!File.commit()) Fail(File.errorString());
}

// ============================================================================
// The grid
// ============================================================================

TValueListGrid::TValueListGrid(QWidget* Parent) : QTableWidget(0, 2, Parent) {
    setHorizontalHeaderLabels({"Filter Name", "Filter"});
    verticalHeader()->hide();
    horizontalHeader()->setHighlightSections(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setColumnWidth(0, 241);
    setColumnWidth(1, 119);
}

void TValueListGrid::CommitEdit() {
    if (state() != QAbstractItemView::EditingState) return;
    QWidget* Editor = QApplication::focusWidget();
    if (!Editor || !isAncestorOf(Editor)) return;
    commitData(Editor);
    closeEditor(Editor, QAbstractItemDelegate::NoHint);
}

std::vector<TFileTypeRow> TValueListGrid::Rows() const {
    std::vector<TFileTypeRow> Result;
    for (int R = 0; R < rowCount(); ++R) {
        const QTableWidgetItem* N = item(R, 0);
        const QTableWidgetItem* V = item(R, 1);
        Result.push_back({N ? N->text().toStdString() : std::string(), V ? V->text().toStdString() : std::string()});
    }
    return Result;
}

void TValueListGrid::SetRow(int Row, const std::string& Name, const std::string& Value) {
    if (Row >= rowCount()) setRowCount(Row + 1);
    setItem(Row, 0, new QTableWidgetItem(Q(Name)));
    setItem(Row, 1, new QTableWidgetItem(Q(Value)));
}

void TValueListGrid::keyPressEvent(QKeyEvent* E) {
    const int Row = currentRow();
    const int Column = currentColumn() < 0 ? 0 : currentColumn();
    // Enter edits the current cell; it must not reach the window's buttons.
    if ((E->key() == Qt::Key_Return || E->key() == Qt::Key_Enter) && Row >= 0) {
        if (QTableWidgetItem* Item = item(Row, Column)) editItem(Item);
        return;
    }
    if (E->key() == Qt::Key_Insert && E->modifiers() == Qt::NoModifier) {
        const int At = Row < 0 ? rowCount() : Row;
        insertRow(At);
        setCurrentCell(At, Column);
        return;
    }
    if (E->key() == Qt::Key_Down && E->modifiers() == Qt::NoModifier && Row == rowCount() - 1) {
        insertRow(rowCount());
        setCurrentCell(rowCount() - 1, Column);
        return;
    }
    if (E->key() == Qt::Key_Delete && E->modifiers() == Qt::NoModifier && Row >= 0) {
        // One row always stays, so that moving down can add more.
        if (rowCount() > 1) {
            removeRow(Row);
            setCurrentCell(std::min(Row, rowCount() - 1), Column);
        } else {
            SetRow(0, "", "");
        }
        return;
    }
    QTableWidget::keyPressEvent(E);
}

// ============================================================================
// The window
// ============================================================================

TfrmAddFileType::TfrmAddFileType(QWidget* Owner) : QDialog(Owner) {
    setObjectName("frmAddFileType");
    setWindowTitle("Custom file types");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // The outer 390 x 273 less the window frame.
    setFixedSize(382, 241);
    SetBackground(this, Qt::white);

    constexpr int PanelHeight = 41;
    vlstFileType = new TValueListGrid(this);
    vlstFileType->setObjectName("vlstFileType");
    vlstFileType->setGeometry(0, 0, width(), height() - PanelHeight);
    vlstFileType->setRowCount(21);
    for (int R = 0; R < 21; ++R) vlstFileType->SetRow(R, "", "");

    panButton = new QWidget(this);
    panButton->setObjectName("panButton");
    panButton->setGeometry(0, height() - PanelHeight, width(), PanelHeight);

    btnSave = new QPushButton("&Ok", panButton);
    btnSave->setObjectName("btnSave");
    btnSave->setGeometry(width() - 2 * 75 - 2 * 10, 8, 75, 25);
    btnCancel = new QPushButton("&Cancel", panButton);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setGeometry(width() - 75 - 10, 8, 75, 25);
    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
}

void TfrmAddFileType::showEvent(QShowEvent* E) {
    QDialog::showEvent(E);
    if (!E->spontaneous()) FormShow();
}

void TfrmAddFileType::FormShow() {
    FIniFileName = CustomIniFileName();
    const std::vector<TCustomFileType> Types = ReadCustomFileTypes(CustomIniToRead());
    for (size_t I = 0; I < Types.size(); ++I) vlstFileType->SetRow(int(I), Types[I].Name, Types[I].Filter);
    btnSave->setFocus();
}

void TfrmAddFileType::btnSaveClick() {
    vlstFileType->CommitEdit();
    int Refused = -1;
    const std::vector<TCustomFileType> Types = CollectCustomFileTypes(vlstFileType->Rows(), Refused);
    if (Refused >= 0) {
        // Such a name or filter would split or hide lines of the file.
        vlstFileType->setCurrentCell(Refused, 0);
        plat::MessageBox("A file type's name cannot hold \"=\" or a line break, nor begin with \"[\" or \";\", "
                         "and its filter cannot hold a line break.",
                         "Corvane - Error", plat::MB_OK | plat::MB_ICONWARNING);
        return;
    }
    // Errors go to the default exception display; the window stays open.
    MakeStoreFolder();
    WriteCustomFileTypes(FIniFileName, Types);
    if (!Types.empty()) accept();
}

void TfrmAddFileType::btnCancelClick() { reject(); }
