#include "windows/StartUnit.h"

#include <QPainter>

#include "frame/SettingsUnit.h"
#include "frame/StartupUnit.h"
#include "windows/Artwork.h"
#include "windows/WindowHelpers.h"

TStartForm* StartForm = nullptr;

TStartForm::TStartForm(QWidget* Owner)
    : QWidget(Owner, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::SplashScreen) {
    setFixedSize(458, 178);
    SetBackground(this, Qt::white);
    const QColor Blue(55, 122, 223);

    Image1 = AddLogo(this, new QLabel);
    Image2 = AddTitle(this);

    abVersion = new QLabel(this);
    abVersion->setFont(MakeFont("MS Sans Serif", 13, true));
    abVersion->setStyleSheet(QString("color: %1").arg(Blue.name()));
    abVersion->move(104, 56);

    abHomeBtn = new QLabel(VendorSite, this);
    abHomeBtn->setFont(MakeFont("Arial", 13, false, true));
    abHomeBtn->setStyleSheet(QString("color: %1").arg(Blue.name()));
    abHomeBtn->move(104, 88);
    abHomeBtn->adjustSize();

    Label1 = new QLabel(MakerNotice, this);
    Label1->setFont(MakeFont("Arial", 11));
    Label1->setStyleSheet(QString("color: %1").arg(QColor(31, 95, 190).name()));
    Label1->move(104, 152);
    Label1->adjustSize();

    FormCreate();
    CentreOnScreen(this);
}

void TStartForm::FormCreate() {
    abVersion->setText(QString("Version: %1").arg(QString::fromStdString(AppVersion)));
    abVersion->adjustSize();
}

void TStartForm::paintEvent(QPaintEvent* E) {
    QWidget::paintEvent(E);
    QPainter P(this);
    // The 2-pixel frame along the whole client edge.
    P.setPen(Qt::NoPen);
    P.setBrush(QColor(13, 87, 234));
    const int W = width(), H = height();
    P.drawRect(0, 0, W, 2);
    P.drawRect(0, H - 2, W, 2);
    P.drawRect(0, 0, 2, H);
    P.drawRect(W - 2, 0, 2, H);
}
