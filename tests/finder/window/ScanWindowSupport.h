#pragma once
// A main window ready for runs: message boxes recorded and answered from a
// queue, the rows of the results list read back as texts, clicks on the
// tick pictures, the column headers and the buttons.
#include <QHeaderView>
#include <deque>
#include <string>
#include <vector>

#include "platform/widgets/MessageBox.h"
#include "tests/finder/window/WindowTestSupport.h"

namespace corvane_test {

struct TBox {
    std::string Text, Caption;
    unsigned Flags = 0;
};

// One row of the results list as it shows.
struct TShownRow {
    std::string Caption;
    std::vector<std::string> SubItems;
    int Image = -1;
    int Indent = 0;
    bool Header() const { return SubItems.size() > 4 && SubItems[4] == "0"; }
};

// Radio buttons and check boxes take a click near their left edge.
inline void ClickLeftEdge(QWidget* W) { SendClick(W, QPoint(6, W->height() / 2)); }

class ScanWindowTest : public WindowTest {
protected:
    std::vector<TBox> Boxes;
    std::deque<int> Answers;  // for boxes in turn; none left: OK, or No for a question

    void SetUp() override {
        plat::SetMessageBoxHandler([this](const std::string& Text, const std::string& Caption, unsigned Flags) {
            Boxes.push_back({Text, Caption, Flags});
            if (!Answers.empty()) {
                const int A = Answers.front();
                Answers.pop_front();
                return A;
            }
            return (Flags & 0x0f) == plat::MB_YESNO ? plat::IDNO : plat::IDOK;
        });
        WindowTest::SetUp();
    }

    void TearDown() override {
        WindowTest::TearDown();
        plat::SetMessageBoxHandler([](const std::string& Text, const std::string& Caption, unsigned) {
            ADD_FAILURE() << "unexpected message box \"" << Caption << "\": " << Text;
            return plat::IDOK;
        });
    }

    // Ticks the temporary tree's drive and presses Scan Now.
    void TickDataAndScan() {
        ClickNode(Drive("Data"), NodePart::State);
        ASSERT_EQ(Drive("Data")->StateIndex, places::StateTicked);
        Scan();
    }

    void Scan() { ClickButton(Form->ScanNowButton); }

    void ClickButton(QWidget* B) { SendClick(B); }

    void ClickOption(QWidget* W) { ClickLeftEdge(W); }

    std::vector<TShownRow> Rows() {
        std::vector<TShownRow> Out;
        TVirtualListView* L = Form->DuplicatesListView;
        for (int I = 0; I < L->ItemCount(); ++I) {
            const TListItem It = L->Item(I);
            TShownRow R;
            R.Caption = It.Caption.toStdString();
            for (const QString& S : It.SubItems) R.SubItems.push_back(S.toStdString());
            R.Image = It.ImageIndex;
            R.Indent = It.Indent;
            Out.push_back(R);
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

    // The member captions of the group whose header is at Index.
    std::vector<std::string> Members(int Index) {
        const auto R = Rows();
        std::vector<std::string> Out;
        for (size_t I = size_t(Index) + 1; I < R.size() && !R[I].Header(); ++I) Out.push_back(R[I].Caption);
        return Out;
    }

    std::string Ticks() {
        std::string S;
        for (const TShownRow& R : Rows()) S += R.Image == 1 ? 'x' : '.';
        return S;
    }

    // A click on the tick picture of a row, found by the list's own hit test.
    void ClickTick(int Row, Qt::MouseButton B = Qt::LeftButton) {
        TVirtualListView* L = Form->DuplicatesListView;
        const QModelIndex I = L->model()->index(Row, 0);
        L->scrollTo(I);
        QApplication::processEvents();
        const QRect Cell = L->visualRect(I);
        for (int X = Cell.left(); X < Cell.left() + 80; ++X) {
            const QPoint P(X, Cell.center().y());
            if (L->OnItemImage(P)) {
                SendClick(L->viewport(), P, B);
                return;
            }
        }
        ADD_FAILURE() << "no tick picture on row " << Row;
    }

    void ClickColumn(int Column) {
        QHeaderView* H = Form->DuplicatesListView->header();
        const int X = H->sectionViewportPosition(Column) + H->sectionSize(Column) / 2;
        SendClick(H->viewport(), QPoint(X, H->height() / 2));
    }

    // The letters of the bottom buttons shown: Export, Back, Delete, Scan, sTop, Finish.
    std::string Buttons() {
        std::string S;
        const std::pair<QWidget*, char> All[] = {{Form->ExportButton, 'E'}, {Form->BackButton, 'B'},
                                                 {Form->DeleteButton, 'D'}, {Form->ScanNowButton, 'S'},
                                                 {Form->StopButton, 'T'},   {Form->FinishButton, 'F'}};
        for (const auto& [W, C] : All)
            if (!W->isHidden()) S += C;
        return S;
    }

    bool ModeButtonsEnabled() {
        for (QWidget* W : {Form->BasicBtn, Form->OutlookBtn, Form->MusicBtn, Form->PhotoBtn, Form->CrushBtn})
            if (!W->isEnabled()) return false;
        return true;
    }
};

} // namespace corvane_test
