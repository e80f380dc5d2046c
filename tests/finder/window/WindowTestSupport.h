#pragma once
// A main window over a fake mount table whose second drive is a temporary
// folder, and the clicks the tests give it.
#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <memory>

#include <gtest/gtest.h>

#include "finder/window/DeleteDuplicatesUnit.h"
#include "tests/common/TempTree.h"
#include "tests/common/FakeMountTable.h"

namespace corvane_test {

inline void SendClick(QWidget* W, const QPoint& P, Qt::MouseButton B = Qt::LeftButton) {
    QMouseEvent Press(QEvent::MouseButtonPress, QPointF(P), QPointF(W->mapToGlobal(P)), B, B, Qt::NoModifier);
    QApplication::sendEvent(W, &Press);
    QMouseEvent Release(QEvent::MouseButtonRelease, QPointF(P), QPointF(W->mapToGlobal(P)), B, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(W, &Release);
    QApplication::processEvents();
}

inline void SendClick(QWidget* W) { SendClick(W, W->rect().center()); }

inline void SendEnter(QWidget* W) {
    const QPointF P = W->rect().center();
    QEnterEvent E(P, P, QPointF(W->mapToGlobal(P.toPoint())));
    QApplication::sendEvent(W, &E);
}

inline void SendLeave(QWidget* W) {
    QEvent E(QEvent::Leave);
    QApplication::sendEvent(W, &E);
}

inline bool SamePicture(const QPixmap& A, const QPixmap& B) {
    return !A.isNull() && !B.isNull() && A.toImage() == B.toImage();
}

enum class NodePart { State, Icon, Label, Empty };

class WindowTest : public ::testing::Test {
protected:
    TempTree Tree;
    std::unique_ptr<ScopedMountTable> Mounts;
    std::unique_ptr<TDeleteDuplicatesForm> Form;

    void SetUp() override {
        Mounts = std::make_unique<ScopedMountTable>(std::vector<plat::TMountEntry>{
            Mount("/", plat::TMountKind::Fixed, "System"),
            Mount(Tree.Root(), plat::TMountKind::Fixed, "Data"),
            Mount("/media/full", plat::TMountKind::Removable, "FULL", true, 0),
            Mount("/media/stick", plat::TMountKind::Removable, "STICK", true, 1 << 20),
            Mount("/mnt/share", plat::TMountKind::Hidden, "SHARE", true, 1 << 30, "nfs"),
            Mount("/proc", plat::TMountKind::Hidden, "", true, 0, "proc"),
        });
        Form = std::make_unique<TDeleteDuplicatesForm>();
        Form->show();
        QApplication::processEvents();
    }

    void TearDown() override {
        Form.reset();
        Mounts.reset();
    }

    TPlaceNode* Root() { return Form->tvDiskDir->Root(); }

    // The drive node with the given text.
    TPlaceNode* Drive(const QString& Text) {
        TPlaceNode* R = Root();
        for (int I = 0; R && I < R->Count(); ++I)
            if (R->Child(I)->Text() == Text) return R->Child(I);
        return nullptr;
    }

    static TPlaceNode* ChildNamed(TPlaceNode* Node, const QString& Text) {
        for (int I = 0; Node && I < Node->Count(); ++I)
            if (Node->Child(I)->Text() == Text) return Node->Child(I);
        return nullptr;
    }

    void ClickNode(TPlaceNode* Node, NodePart Part, Qt::MouseButton B = Qt::LeftButton) {
        ASSERT_NE(Node, nullptr);
        TPlacesTreeView* T = Form->tvDiskDir;
        T->scrollToItem(Node);
        QApplication::processEvents();
        const QRect Row = T->visualItemRect(Node);
        QPoint P;
        switch (Part) {
        case NodePart::State: P = T->StateRect(Row).center(); break;
        case NodePart::Icon: P = T->IconRect(Row).center(); break;
        case NodePart::Label: P = T->LabelRect(Row, Node->Text()).center(); break;
        case NodePart::Empty: P = QPoint(T->LabelRect(Row, Node->Text()).right() + 30, Row.center().y()); break;
        }
        SendClick(T->viewport(), P, B);
    }
};

} // namespace corvane_test
