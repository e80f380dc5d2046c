#include "windows/WindowHelpers.h"

#include <QGuiApplication>
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
