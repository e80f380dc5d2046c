#include "frame/CorvaneApplication.h"

#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <stdexcept>
#include <tuple>

#include "platform/widgets/MessageBox.h"

namespace {

TCorvaneApplication& App() { return *dynamic_cast<TCorvaneApplication*>(QCoreApplication::instance()); }

// An error that escapes an event handler is shown (a silent abort is not),
// captioned with the title, and the program goes on. The title is no display
// name of its own, which the window system would append to every caption.
TEST(CorvaneApplication, ErrorsOfEventHandlersReachTheExceptionDisplay) {
    App().SetTitle("Corvane");
    std::vector<std::string> Shown;
    plat::SetMessageBoxHandler([&](const std::string& T, const std::string& C, unsigned) {
        Shown.push_back(T + "|" + C);
        return plat::IDOK;
    });
    QTimer::singleShot(0, [] { throw std::runtime_error("Disk read error"); });
    QTimer::singleShot(0, [] { throw plat::EAbort(); });
    QTimer::singleShot(0, [] { throw 42; });
    for (int I = 0; I < 3; ++I) QCoreApplication::processEvents();
    plat::SetMessageBoxHandler(nullptr);
    ASSERT_EQ(Shown.size(), 2u);
    EXPECT_EQ(Shown[0], "Disk read error|Corvane");
    QCoreApplication::setApplicationName("Probe");  // a display name of its own would not follow
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Probe");
    App().SetTitle("Corvane");
}

// The real box, answered as Enter or Escape would answer it once it is up;
// Seen gets its caption and text, and whether it is plain text and on top.
int AnswerRealBox(unsigned Flags, bool Escape, const std::string& Text = "Delete?", std::string* Seen = nullptr) {
    QTimer::singleShot(0, [Escape, Seen] {
        auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!Box) return;
        if (Seen)
            *Seen = (Box->windowTitle() + "|" + Box->text()).toStdString() +
                    (Box->textFormat() == Qt::PlainText ? "|plain" : "|rich") +
                    (Box->windowFlags() & Qt::WindowStaysOnTopHint ? "|on top" : "");
        QAbstractButton* B = Escape ? Box->escapeButton() : static_cast<QAbstractButton*>(Box->defaultButton());
        B ? B->click() : Box->done(0);
    });
    return plat::MessageBox(Text, "Corvane - Delete Confirmation", Flags);
}

// Enter and Escape press the right buttons. File names are shown as they are,
// never as markup; CR breaks lines. A box asked while the splash stays on top
// comes up above it, and only then.
TEST(RealMessageBox, AnswersAndShowsTextAsItIs) {
    const std::tuple<unsigned, bool, int> Rows[] = {
        {plat::MB_YESNO | plat::MB_ICONWARNING | plat::MB_DEFBUTTON2, false, plat::IDNO}, {plat::MB_YESNO, false, plat::IDYES},
        {plat::MB_YESNO, true, plat::IDNO}, {plat::MB_OKCANCEL, false, plat::IDOK},
        {plat::MB_OKCANCEL | plat::MB_DEFBUTTON2, false, plat::IDCANCEL}, {plat::MB_OK | plat::MB_ICONERROR, false, plat::IDOK}};
    for (const auto& [Flags, Escape, Answer] : Rows) EXPECT_EQ(AnswerRealBox(Flags, Escape), Answer) << Flags;
    std::string Seen;
    AnswerRealBox(plat::MB_OK, false, "Delete <b>a&b</b>.mp3?\r\nSure?\rReally?", &Seen);
    EXPECT_EQ(Seen, "Corvane - Delete Confirmation|Delete <b>a&b</b>.mp3?\nSure?\nReally?|plain");
    QWidget Splash(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    Splash.show();
    EXPECT_EQ(AnswerRealBox(plat::MB_YESNO, false, "Update?", &Seen), plat::IDYES);
    EXPECT_EQ(Seen, "Corvane - Delete Confirmation|Update?|plain|on top");
}

// A main window that may refuse to close, as a window with unsaved work would.
class TMainForm : public QWidget {
public:
    bool Refuse = false;

protected:
    void closeEvent(QCloseEvent* E) override { Refuse ? E->ignore() : QWidget::closeEvent(E); }
};

// Closing the main window ends the message loop even while another top-level
// window (the update wait window) is open; a refused close does not; ending
// the program from code closes the main window on the way out without a stall.
TEST(CorvaneApplication, MainFormCloseEndsTheLoop) {
    for (const int Way : {0, 1, 2}) {  // close, refused close, quit
        TMainForm Main;
        QWidget Other;
        Main.Refuse = Way == 1;
        Main.show();
        Other.show();
        App().SetMainForm(&Main);
        QTimer::singleShot(0, &Main, [&Main, Way] { Way == 2 ? QCoreApplication::quit() : void(Main.close()); });
        QTimer::singleShot(Way == 1 ? 300 : 3000, &Other, [] { QCoreApplication::exit(7); });  // a stall's end
        EXPECT_EQ(QCoreApplication::exec(), Way == 1 ? 7 : 0) << Way;
        EXPECT_EQ(Main.isVisible(), Way == 1) << Way;
        App().SetMainForm(nullptr);
    }
}

} // namespace
