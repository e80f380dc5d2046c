#include "windows/ShowLiveUpdateUnit.h"

#include <QCoreApplication>

#include "windows/WindowHelpers.h"

TShowLiveUpdateForm* ShowLiveUpdateForm = nullptr;

TShowLiveUpdateForm::TShowLiveUpdateForm(QWidget* Owner)
    : QWidget(Owner, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::CustomizeWindowHint) {
    setWindowTitle("Live Update");
    setFixedSize(380, 166);
    SetBackground(this, QColor(0xFD, 0xFD, 0xFD));

    imgLiveUpdate = new QLabel(this);
    imgLiveUpdate->setGeometry(15, 8, 350, 80);
    Animation = new QMovie(":/animations/LiveUpdate.gif", QByteArray(), this);
    imgLiveUpdate->setMovie(Animation);
    Animation->start();

    Label1 = new QLabel("The newest version is testing , wait please...", this);
    Label1->setFont(MakeFont("Georgia", 16, true));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);
    Label1->setGeometry(4, 96, 372, 62);

    CentreOnScreen(this);
}

void TShowLiveUpdateForm::ShowAndPaint() {
    // Only painting: no user input may run handlers in the middle of the check.
    ShowAndPaintNow(this);
}
