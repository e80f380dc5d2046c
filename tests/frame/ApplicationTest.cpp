#include "frame/CorvaneApplication.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <stdexcept>

#include "platform/MessageBox.h"

namespace {

// An object whose event handler throws what it is told to.
class TThrower : public QObject {
public:
    int Kind = 0;
    bool event(QEvent* E) override {
        if (E->type() != QEvent::User) return QObject::event(E);
        if (Kind == 1) throw std::runtime_error("Disk read error");
        if (Kind == 2) throw plat::EAbort();
        throw 42;
    }
};

TEST(CorvaneApplication, ErrorsOfEventHandlersReachTheExceptionDisplay) {
    ASSERT_NE(dynamic_cast<TCorvaneApplication*>(QCoreApplication::instance()), nullptr);
    std::vector<std::string> Shown;
    plat::SetMessageBoxHandler([&](const std::string& T, const std::string&, unsigned) {
        Shown.push_back(T);
        return plat::IDOK;
    });
    TThrower Obj;
    for (int Kind : {1, 2, 3}) {
        Obj.Kind = Kind;
        QCoreApplication::postEvent(&Obj, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
    }
    plat::SetMessageBoxHandler(nullptr);
    ASSERT_EQ(Shown.size(), 2u);  // the silent abort shows nothing
    EXPECT_EQ(Shown[0], "Disk read error");
    EXPECT_FALSE(Shown[1].empty());
}

} // namespace

#include <QAbstractButton>
#include <QPushButton>
#include <QMessageBox>
#include <QTimer>

namespace {

// Presses what Enter or Escape would press in the real box once it is up.
int AnswerRealBox(unsigned Flags, bool Escape, QString* Shown = nullptr) {
    QTimer::singleShot(0, [Escape, Shown] {
        auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!Box) return;
        if (Shown) *Shown = Box->windowTitle() + "|" + Box->text();
        QAbstractButton* B = Escape ? Box->escapeButton() : static_cast<QAbstractButton*>(Box->defaultButton());
        if (B)
            B->click();
        else
            Box->done(0);
    });
    return plat::MessageBox("Delete the ticked files?", "Corvane - Delete Confirmation", Flags);
}

TEST(RealMessageBox, ButtonsAndDefaults) {
    QString Shown;
    EXPECT_EQ(AnswerRealBox(plat::MB_YESNO | plat::MB_ICONWARNING | plat::MB_DEFBUTTON2, false, &Shown), plat::IDNO);
    EXPECT_EQ(Shown, "Corvane - Delete Confirmation|Delete the ticked files?");
    EXPECT_EQ(AnswerRealBox(plat::MB_YESNO | plat::MB_ICONQUESTION, false), plat::IDYES);
    EXPECT_EQ(AnswerRealBox(plat::MB_YESNO, true), plat::IDNO);
    EXPECT_EQ(AnswerRealBox(plat::MB_OKCANCEL, false), plat::IDOK);
    EXPECT_EQ(AnswerRealBox(plat::MB_OKCANCEL | plat::MB_DEFBUTTON2, false), plat::IDCANCEL);
    EXPECT_EQ(AnswerRealBox(plat::MB_OK | plat::MB_ICONERROR, false), plat::IDOK);
}

} // namespace
