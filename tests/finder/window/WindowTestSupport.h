#pragma once
// A main window over a fake mount table whose second drive ("Data") is a
// temporary folder; the clicks the tests give it, message boxes recorded and
// answered from a queue, and the rows of the results list read back.
#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <deque>
#include <utility>

#include <gtest/gtest.h>

#include "finder/window/DeleteDuplicatesUnit.h"
#include "platform/widgets/MessageBox.h"
#include "tests/common/FakeMountTable.h"
#include "tests/common/TempTree.h"

namespace corvane_test {

inline void SendClick(QWidget* W, const QPoint& P, Qt::MouseButton B = Qt::LeftButton) {
    for (QEvent::Type T : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent E(T, QPointF(P), QPointF(W->mapToGlobal(P)), B, T == QEvent::MouseButtonPress ? B : Qt::NoButton,
                      Qt::NoModifier);
        QApplication::sendEvent(W, &E);
    }
    QApplication::processEvents();
}

inline void SendClick(QWidget* W) { SendClick(W, W->rect().center()); }

// Radio buttons and check boxes take a click near their left edge.
inline void ClickOption(QWidget* W) { SendClick(W, QPoint(6, W->height() / 2)); }

// A box nobody answers would hang a test: it fails loudly instead.
inline int UnexpectedBox(const std::string& Text, const std::string& Caption, unsigned) {
    ADD_FAILURE() << "unexpected message box \"" << Caption << "\": " << Text;
    return plat::IDOK;
}

enum class NodePart { State, Icon, Label, Empty };

struct TBox {
    std::string Text, Caption;
    unsigned Flags = 0;
};

// One row of the results list as it shows.
struct TShownRow {
    std::string Caption;
    std::vector<std::string> SubItems;
    int Image = -1;
    bool Header() const { return SubItems.size() > 4 && SubItems[4] == "0"; }
};

class WindowTest : public ::testing::Test {
protected:
    TempTree Tree;
    std::unique_ptr<ScopedMountTable> Mounts;
    std::unique_ptr<TDeleteDuplicatesForm> Form;
    std::vector<TBox> Boxes;  // every box shown; a test takes the ones it expects
    std::deque<int> Answers;  // for boxes in turn; none left: OK, or No for a question

    void SetUp() override {
        plat::SetMessageBoxHandler([this](const std::string& Text, const std::string& Caption, unsigned Flags) {
            Boxes.push_back({Text, Caption, Flags});
            if (Answers.empty()) return (Flags & 0x0f) == plat::MB_YESNO ? plat::IDNO : plat::IDOK;
            const int A = Answers.front();
            Answers.pop_front();
            return A;
        });
        Mounts = std::make_unique<ScopedMountTable>(std::vector<plat::TMountEntry>{
            Mount("/", plat::TMountKind::Fixed, "System"), Mount(Tree.Root(), plat::TMountKind::Fixed, "Data"),
            Mount("/media/full", plat::TMountKind::Removable, "FULL", true, 0)});
        Form = std::make_unique<TDeleteDuplicatesForm>();
        Form->show();
        QApplication::processEvents();
    }

    void TearDown() override {
        Form.reset();
        Mounts.reset();
        for (const TBox& B : Boxes) UnexpectedBox(B.Text, B.Caption, B.Flags);
        plat::SetMessageBoxHandler(UnexpectedBox);
    }

    std::vector<TBox> TakeBoxes() { return std::exchange(Boxes, {}); }

    TPlaceNode* Root() { return Form->tvDiskDir->Root(); }
    TPlaceNode* Drive(const QString& Text) { return ChildNamed(Root(), Text); }

    static TPlaceNode* ChildNamed(TPlaceNode* Node, const QString& Text) {
        for (int I = 0; Node && I < Node->Count(); ++I)
            if (Node->Child(I)->Text() == Text) return Node->Child(I);
        return nullptr;
    }

    static std::vector<std::string> ChildNames(TPlaceNode* Node) {
        std::vector<std::string> Out;
        for (int I = 0; Node && I < Node->Count(); ++I) Out.push_back(Node->Child(I)->Text().toStdString());
        return Out;
    }

    void ClickNode(TPlaceNode* Node, NodePart Part, Qt::MouseButton B = Qt::LeftButton) {
        ASSERT_NE(Node, nullptr);
        TPlacesTreeView* T = Form->tvDiskDir;
        T->scrollToItem(Node);
        QApplication::processEvents();
        const QRect Row = T->visualItemRect(Node), Label = T->LabelRect(Row, Node->Text());
        const QPoint P = Part == NodePart::State ? T->StateRect(Row).center()
                         : Part == NodePart::Icon ? T->IconRect(Row).center()
                         : Part == NodePart::Label ? Label.center()
                                                   : QPoint(Label.right() + 30, Row.center().y());
        SendClick(T->viewport(), P, B);
    }

    // Ticks the temporary tree's drive and presses Scan Now.
    void TickDataAndScan() {
        ClickNode(Drive("Data"), NodePart::State);
        ASSERT_EQ(Drive("Data")->StateIndex, places::StateTicked);
        Scan();
    }

    void Scan() { SendClick(Form->ScanNowButton); }

    std::string Folder(const std::string& Rel) { return Tree.Root() + "/" + Rel; }

    std::vector<TShownRow> Rows() {
        std::vector<TShownRow> Out;
        for (int I = 0; I < Form->DuplicatesListView->ItemCount(); ++I) {
            const TListItem It = Form->DuplicatesListView->Item(I);
            Out.push_back({It.Caption.toStdString(), {}, It.ImageIndex});
            for (const QString& S : It.SubItems) Out.back().SubItems.push_back(S.toStdString());
        }
        return Out;
    }

    // The row index of the header with this caption, or -1.
    int HeaderRow(const std::string& Caption) {
        const auto R = Rows();
        for (size_t I = 0; I < R.size(); ++I)
            if (R[I].Header() && R[I].Caption == Caption) return int(I);
        return -1;
    }

    // The member captions of the group whose header is at Index, each with ";"
    // and without the temporary folder: "docs/sub/;other/;".
    std::string Members(int Index) {
        const auto R = Rows();
        std::string Out;
        for (size_t I = size_t(Index) + 1; I < R.size() && !R[I].Header(); ++I)
            Out += R[I].Caption.substr(Tree.Root().size() + 1) + ";";
        return Out;
    }

    std::string Ticks() {
        std::string S;
        for (const TShownRow& R : Rows()) S += R.Image == 1 ? 'x' : '.';
        return S;
    }

    // A point on the tick picture of a row, found by the list's own hit test.
    QPoint TickPoint(int Row) {
        TVirtualListView* L = Form->DuplicatesListView;
        L->scrollTo(L->model()->index(Row, 0));
        QApplication::processEvents();
        const QRect Cell = L->visualRect(L->model()->index(Row, 0));
        for (int X = Cell.left(); X < Cell.left() + 80; ++X)
            if (L->OnItemImage(QPoint(X, Cell.center().y()))) return QPoint(X, Cell.center().y());
        ADD_FAILURE() << "no tick picture on row " << Row;
        return QPoint();
    }

    void ClickTick(int Row, Qt::MouseButton B = Qt::LeftButton) {
        SendClick(Form->DuplicatesListView->viewport(), TickPoint(Row), B);
    }

    void ClickColumn(int Column) {
        QHeaderView* H = Form->DuplicatesListView->header();
        SendClick(H->viewport(), QPoint(H->sectionViewportPosition(Column) + 5, H->height() / 2));
    }

    // What the window shows of a run in one line: the page, the letters of
    // the bottom buttons shown (Export, Back, Delete, Scan, sTop, Finish), the
    // run state, then "timer" while it ticks and "locked" while the mode
    // buttons are off; "2 EBD finished" after a run with results.
    std::string RunView() {
        static const char* States[] = {"idle", "running", "stopped", "finished"};
        std::string S = std::to_string(Form->DataNotebook->currentIndex()) + " ";
        const std::pair<QWidget*, char> All[] = {{Form->ExportButton, 'E'}, {Form->BackButton, 'B'},
                                                 {Form->DeleteButton, 'D'}, {Form->ScanNowButton, 'S'},
                                                 {Form->StopButton, 'T'},   {Form->FinishButton, 'F'}};
        for (const auto& [W, C] : All)
            if (!W->isHidden()) S += C;
        bool Locked = false;
        for (QWidget* W : {Form->BasicBtn, Form->OutlookBtn, Form->MusicBtn, Form->PhotoBtn, Form->CrushBtn})
            Locked = Locked || !W->isEnabled();
        return S + " " + States[Form->FRunState] + (Form->ScanTimer->isActive() ? " timer" : "") +
               (Locked ? " locked" : "");
    }

    // A row of the shredder's list, recorded as a dialog's choice is, and the
    // texts of a list's column.
    void AddErase(const std::string& Path, const char* Type, bool Ticked) {
        Form->AddEraseRow(finder::RecordEraseItem(Path, Type))->setCheckState(0, Ticked ? Qt::Checked : Qt::Unchecked);
    }

    static std::string ListTexts(const QTreeWidget* L, int Column) {
        std::string S;
        for (int I = 0; I < L->topLevelItemCount(); ++I) S += L->topLevelItem(I)->text(Column).toStdString() + ";";
        return S;
    }
};

} // namespace corvane_test
