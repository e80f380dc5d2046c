#include "windows/AboutUnit.h"

#include "frame/SettingsUnit.h"
#include "frame/StartupUnit.h"
#include "windows/Artwork.h"

const char* const TAboutForm::HomePage = VendorSite;

TAboutForm::TAboutForm(QWidget* Owner) : QDialog(Owner) {
    setWindowTitle("About");
    // A dialog's buttons: close only, nothing to minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(457, 175);
    SetBackground(this, Qt::white);
    const QString Blue = QColor(55, 122, 223).name();

    Image1 = new TClickLabel;
    AddLogo(this, Image1);
    Image1->OnClick = [this] { Image1Click(); };
    Image2 = AddTitle(this);

    abHomeBtn = new TClickLabel(HomePage, this);
    abHomeBtn->setFont(MakeFont("MS Sans Serif", 11, false, true));
    abHomeBtn->setStyleSheet(QString("color: %1").arg(Blue));
    abHomeBtn->setCursor(Qt::PointingHandCursor);
    abHomeBtn->move(104, 56);
    abHomeBtn->adjustSize();
    abHomeBtn->OnClick = [this] { abHomeBtnClick(); };

    abVersion = new QLabel(this);
    abVersion->setFont(MakeFont("MS Sans Serif", 13, true));
    abVersion->setStyleSheet(QString("color: %1").arg(Blue));
    abVersion->move(104, 80);

    Label1 = new QLabel(MakerNotice, this);
    Label1->setFont(MakeFont("Arial", 11));
    Label1->setStyleSheet(QString("color: %1").arg(QColor(31, 95, 190).name()));
    Label1->move(104, 152);
    Label1->adjustSize();

    FormCreate();
    CentreOnScreen(this);
}

void TAboutForm::FormCreate() {
    abVersion->setText(QString("Version %1").arg(QString::fromStdString(AppVersion)));
    abVersion->adjustSize();
}

void TAboutForm::abHomeBtnClick() { OpenURL(HomePage); }

void TAboutForm::Image1Click() { close(); }
