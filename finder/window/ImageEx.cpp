#include "finder/window/ImageEx.h"

#include <QMouseEvent>
#include <QPointer>

TImageEx::TImageEx(QWidget* Owner) : QLabel(Owner) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TImageEx::SetPicture(const QPixmap& Picture) {
    FPicture = Picture;
    setPixmap(Picture);
}

void TImageEx::ClearPicture() {
    FPicture = QPixmap();
    clear();
}

void TImageEx::enterEvent(QEnterEvent* Event) {
    QLabel::enterEvent(Event);
    if (OnMouseEnter) OnMouseEnter(this);
}

void TImageEx::leaveEvent(QEvent* Event) {
    QLabel::leaveEvent(Event);
    if (OnMouseLeave) OnMouseLeave(this);
}

void TImageEx::mousePressEvent(QMouseEvent* Event) {
    QLabel::mousePressEvent(Event);
    // A picture button takes its clicks: the header under it must not start a drag.
    Event->accept();
    FPressed = Event->button() == Qt::LeftButton;
    if (OnMouseDown) {
        const QPoint P = Event->position().toPoint();
        OnMouseDown(this, Event->button(), Event->modifiers(), P.x(), P.y());
    }
}

void TImageEx::mouseReleaseEvent(QMouseEvent* Event) {
    QLabel::mouseReleaseEvent(Event);
    Event->accept();
    // A click is a press and release of the left button over the picture.
    const bool Click = FPressed && Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint());
    FPressed = false;
    if (Click && OnClick) OnClick(this);
}
