#include "platform/widgets/MessageBox.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QWidget>

#include <cstdio>

namespace plat {

namespace {

TMessageBoxHandler& Handler() {
    static TMessageBoxHandler H;
    return H;
}

// Without a window system nobody can answer: the box takes the cautious
// answer (No, Cancel) so that nothing is done unasked.
int Unanswered(const std::string& Text, const std::string& Caption, unsigned Flags) {
    std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Text.c_str());
    if ((Flags & 0x0f) == MB_YESNO) return IDNO;
    if ((Flags & 0x0f) == MB_OKCANCEL) return IDCANCEL;
    return IDOK;
}

// Box texts carry file names and tag text: shown as plain text, so that a
// name like "<b>a&b.mp3" reads as it is. CR and CR LF break lines as LF does.
QString BoxText(const std::string& Text) {
    QString T = QString::fromStdString(Text);
    T.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    T.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return T;
}

int RealBox(const std::string& Text, const std::string& Caption, unsigned Flags) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return Unanswered(Text, Caption, Flags);
    QMessageBox Box(QApplication::activeWindow());
    // A dialog's buttons: close only, nothing to minimise or maximise.
    Box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // A box must not open hidden under a window that stays on top (the update
    // question while the splash is up): nobody could answer it.
    for (QWidget* W : QApplication::topLevelWidgets())
        if (W != &Box && W->isVisible() && (W->windowFlags() & Qt::WindowStaysOnTopHint)) {
            Box.setWindowFlag(Qt::WindowStaysOnTopHint);
            break;
        }
    Box.setWindowTitle(QString::fromStdString(Caption));
    Box.setTextFormat(Qt::PlainText);
    Box.setText(BoxText(Text));
    switch (Flags & 0xf0) {
    case MB_ICONERROR: Box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: Box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: Box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: Box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    QMessageBox::StandardButton First = QMessageBox::Ok, Second = QMessageBox::NoButton;
    if ((Flags & 0x0f) == MB_YESNO) {
        First = QMessageBox::Yes;
        Second = QMessageBox::No;
    } else if ((Flags & 0x0f) == MB_OKCANCEL) {
        Second = QMessageBox::Cancel;
    }
    Box.setStandardButtons(Second == QMessageBox::NoButton ? First : (First | Second));
    Box.setDefaultButton((Flags & MB_DEFBUTTON2) && Second != QMessageBox::NoButton ? Second : First);
    if (Second != QMessageBox::NoButton) Box.setEscapeButton(Second);
    switch (Box.exec()) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Ok: return IDOK;
    default: return Second == QMessageBox::No ? IDNO : (Second == QMessageBox::Cancel ? IDCANCEL : IDOK);
    }
}

std::string ApplicationTitle() {
    QString Title = QGuiApplication::applicationDisplayName();
    return Title.isEmpty() ? std::string("Corvane") : Title.toStdString();
}

} // namespace

int MessageBox(const std::string& Text, const std::string& Caption, unsigned Flags) {
    if (Handler()) return Handler()(Text, Caption, Flags);
    return RealBox(Text, Caption, Flags);
}

void SetMessageBoxHandler(TMessageBoxHandler H) { Handler() = std::move(H); }

void ShowException(const std::exception& E) {
    if (dynamic_cast<const EAbort*>(&E)) return;
    ShowException(std::string(E.what()));
}

void ShowException(const std::string& Text) { MessageBox(Text, ApplicationTitle(), MB_OK | MB_ICONERROR); }

} // namespace plat
