#include "windows/WindowHelpers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>
#include <QWindow>
#include <QMouseEvent>
#include <QPalette>
#include <QScreen>
#include <QWidget>

void SetBackground(QWidget* W, const QColor& C) {
    QPalette P = W->palette();
    P.setColor(QPalette::Window, C);
    W->setPalette(P);
    W->setAutoFillBackground(true);
}

void CentreOnScreen(QWidget* W) {
    QScreen* S = W->screen() ? W->screen() : QGuiApplication::primaryScreen();
    if (!S) return;
    const QRect Area = S->availableGeometry();
    W->move(Area.center() - QPoint(W->width() / 2, W->height() / 2));
}

void ShowAndPaintNow(QWidget* W) {
    W->show();
    // A window manager maps a new window a moment after show(): painted
    // before that, it stays blank while the thread blocks. Wait until it can
    // be seen, at most a second, letting no user input through.
    QElapsedTimer Waited;
    Waited.start();
    QWindow* Handle = W->window()->windowHandle();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (!Handle || Handle->isExposed() || Waited.elapsed() >= 1000) break;
        QThread::msleep(5);
    }
    W->repaint();
}

QFont MakeFont(const QString& Family, int PixelSize, bool Bold, bool Underline) {
    QFont F(Family);
    F.setPixelSize(PixelSize);
    F.setBold(Bold);
    F.setUnderline(Underline);
    return F;
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* E) {
    QLabel::mouseReleaseEvent(E);
    if (E->button() == Qt::LeftButton && rect().contains(E->position().toPoint()) && OnClick) OnClick();
}
