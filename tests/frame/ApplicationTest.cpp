#include "frame/CorvaneApplication.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <stdexcept>

#include "platform/widgets/MessageBox.h"

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
int AnswerRealBox(unsigned Flags, bool Escape, QString* Shown = nullptr, bool* OnTop = nullptr,
                  const std::string& Text = "Delete the ticked files?", bool* Plain = nullptr) {
    QTimer::singleShot(0, [Escape, Shown, OnTop, Plain] {
        auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!Box) return;
        if (Shown) *Shown = Box->windowTitle() + "|" + Box->text();
        if (Plain) *Plain = Box->textFormat() == Qt::PlainText;
        if (OnTop) *OnTop = Box->windowFlags() & Qt::WindowStaysOnTopHint;
        QAbstractButton* B = Escape ? Box->escapeButton() : static_cast<QAbstractButton*>(Box->defaultButton());
        if (B)
            B->click();
        else
            Box->done(0);
    });
    return plat::MessageBox(Text, "Corvane - Delete Confirmation", Flags);
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

// File names in a box are shown as they are, never as markup; CR breaks lines.
TEST(RealMessageBox, ShowsNamesAsPlainText) {
    QString Shown;
    bool Plain = false;
    AnswerRealBox(plat::MB_OK, false, &Shown, nullptr, "Delete <b>a&b</b>.mp3?\r\nSure?\rReally?", &Plain);
    EXPECT_TRUE(Plain);
    EXPECT_EQ(Shown, "Corvane - Delete Confirmation|Delete <b>a&b</b>.mp3?\nSure?\nReally?");
}

// A box asked while the splash stays on top must come up above it.
TEST(RealMessageBox, StaysAboveAWindowThatStaysOnTop) {
    bool OnTop = true;
    AnswerRealBox(plat::MB_YESNO | plat::MB_ICONINFORMATION, false, nullptr, &OnTop);
    EXPECT_FALSE(OnTop);  // no reason to stay above other programs' windows
    QWidget Splash(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    Splash.show();
    OnTop = false;
    EXPECT_EQ(AnswerRealBox(plat::MB_YESNO | plat::MB_ICONINFORMATION, false, nullptr, &OnTop), plat::IDYES);
    EXPECT_TRUE(OnTop);
}

} // namespace

#include <QCloseEvent>
#include <QWidget>

namespace {

// A main window that may refuse to close, as a window with unsaved work would.
class TMainForm : public QWidget {
public:
    bool Refuse = false;

protected:
    void closeEvent(QCloseEvent* E) override {
        if (Refuse)
            E->ignore();
        else
            QWidget::closeEvent(E);
    }
};

// Closing the main window ends the message loop even while another top-level
// window (the update wait window) is open; a refused close does not.
TEST(CorvaneApplication, MainFormCloseEndsTheLoop) {
    auto* App = dynamic_cast<TCorvaneApplication*>(QCoreApplication::instance());
    ASSERT_NE(App, nullptr);
    for (const bool Refuse : {false, true}) {
        TMainForm Main;
        Main.Refuse = Refuse;
        QWidget Other;
        Main.show();
        Other.show();
        App->SetMainForm(&Main);
        QTimer::singleShot(0, &Main, [&Main] { Main.close(); });
        // Ends the loop with another code when the close did not.
        QTimer Guard;
        Guard.setSingleShot(true);
        QObject::connect(&Guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
        Guard.start(Refuse ? 300 : 3000);
        EXPECT_EQ(QCoreApplication::exec(), Refuse ? 7 : 0) << "refuse " << Refuse;
        EXPECT_EQ(Main.isVisible(), Refuse);
        App->SetMainForm(nullptr);
    }
    // Ending the program from code (after starting the updater) closes the
    // main window on the way out: that must not stall or loop.
    TMainForm Main;
    Main.show();
    App->SetMainForm(&Main);
    QTimer::singleShot(0, App, [] { QCoreApplication::quit(); });
    QTimer Guard;
    Guard.setSingleShot(true);
    QObject::connect(&Guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    Guard.start(3000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    App->SetMainForm(nullptr);
}

} // namespace

namespace {

// Captions stay as written: the title is no display name of its own, which
// the window system would append to every caption.
TEST(CorvaneApplication, TitleLeavesCaptionsAlone) {
    auto* App = dynamic_cast<TCorvaneApplication*>(QCoreApplication::instance());
    ASSERT_NE(App, nullptr);
    App->SetTitle("Corvane");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Corvane");  // error boxes are captioned with it
    // A display name set on its own would not follow the application name.
    QCoreApplication::setApplicationName("Probe");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Probe");
    App->SetTitle("Corvane");
}

} // namespace
