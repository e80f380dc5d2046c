#include "finder/window/DeleteDuplicatesUnit.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "finder/core/EraseList.h"
#include "finder/core/HtmlExport.h"
#include "finder/window/MainSkin.h"
#include "frame/SettingsUnit.h"
#include "frame/StartupUnit.h"
#include "platform/widgets/MessageBox.h"
#include "tags/RealMediaFile.h"
#include "windows/AboutUnit.h"
#include "windows/AddFileTypeUnit.h"
#include "windows/DMUnit.h"
#include "windows/OptionUnit.h"

namespace {

constexpr int FormWidth = 700;
constexpr int FormHeight = 553;

// Design colours are written $BBGGRR; these are the same colours as RGB.
const QColor BottomBarColor(0xE6, 0xED, 0xF7);  // $F7EDE6
const QColor LinkColor(0xE8, 0xE8, 0xE8);       // $E8E8E8
const QColor CountColor(0x0D, 0x57, 0xEA);
const QColor TitleColor(0x09, 0x3C, 0xAA);

QFont BaseFont() {
    QFont F("DejaVu Sans");
    F.setPixelSize(11);
    return F;
}

QFont BoldFont(int PixelSize) {
    QFont F = BaseFont();
    F.setPixelSize(PixelSize);
    F.setBold(true);
    return F;
}

template <class T>
T* Place(T* W, int X, int Y, int Width, int Height) {
    W->setGeometry(X, Y, Width, Height);
    return W;
}

QLabel* NewLabel(QWidget* Parent, const QString& Caption, int X, int Y) {
    auto* L = new QLabel(Caption, Parent);
    L->move(X, Y);
    L->adjustSize();
    return L;
}

// A panel of the options area with its bold title.
TPanel* NewOptionPanel(QWidget* Parent, const QString& Title, int Height) {
    auto* P = new TPanel(Parent, Qt::white);
    P->setFixedHeight(Height);
    if (!Title.isEmpty()) {
        auto* L = NewLabel(P, Title, 8, 2);
        L->setFont(BoldFont(11));
        L->setStyleSheet(QString("color: %1;").arg(TitleColor.name()));
        L->adjustSize();
    }
    return P;
}

TRadioButton* NewRadio(QWidget* Parent, const QString& Caption, int X, int Y, bool Checked = false) {
    auto* R = new TRadioButton(Caption, Parent);
    R->move(X, Y);
    R->adjustSize();
    R->setChecked(Checked);
    return R;
}

TCheckBox* NewCheck(QWidget* Parent, const QString& Caption, int X, int Y, bool Checked = false) {
    auto* C = new TCheckBox(Caption, Parent);
    C->move(X, Y);
    C->adjustSize();
    C->setChecked(Checked);
    return C;
}

void SetCaption(QAbstractButton* B, const QString& Caption) {
    B->setText(Caption);
    B->adjustSize();
}

void SetCaption(QLabel* L, const QString& Caption) {
    L->setText(Caption);
    L->adjustSize();
}

QTreeWidget* NewReportList(QWidget* Parent) {
    auto* L = new QTreeWidget(Parent);
    L->setRootIsDecorated(false);
    L->setUniformRowHeights(true);
    L->setAllColumnsShowFocus(true);
    L->setEditTriggers(QAbstractItemView::NoEditTriggers);
    L->setSelectionBehavior(QAbstractItemView::SelectRows);
    L->header()->setStretchLastSection(false);
    L->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return L;
}

// Grid lines for the report lists.
const char* ReportListStyle =
    "QTreeView { border: 1px solid #C5D3E8; gridline-color: #E3E9F2; }"
    "QTreeView::item { border-right: 1px solid #E3E9F2; border-bottom: 1px solid #E3E9F2; padding: 1px 2px; }"
    "QTreeView::item:selected { background: #0D57EA; color: white; }"
    "QHeaderView::section { background: #EEF3FA; border: none; border-right: 1px solid #C5D3E8;"
    " border-bottom: 1px solid #C5D3E8; padding: 3px 4px; color: #263246; }";

} // namespace

// ============================================================================
// Construction
// ============================================================================

TDeleteDuplicatesForm::TDeleteDuplicatesForm(QWidget* Parent) : QWidget(Parent) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle("Corvane");
    setFixedSize(FormWidth, FormHeight);
    setFont(BaseFont());
    QPalette Pal = palette();
    Pal.setColor(QPalette::Window, Qt::white);
    Pal.setColor(QPalette::Base, Qt::white);
    Pal.setColor(QPalette::WindowText, Qt::black);
    Pal.setColor(QPalette::Text, Qt::black);
    Pal.setColor(QPalette::ButtonText, Qt::black);
    Pal.setColor(QPalette::Highlight, QColor(0x0D, 0x57, 0xEA));
    Pal.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(Pal);
    setAutoFillBackground(true);
    setStyleSheet(
        "QGroupBox { border: 1px solid #C5D3E8; border-radius: 4px; margin-top: 7px; background: white; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 3px; color: #093CAA; font-weight: bold; }"
        "QGroupBox:disabled { color: #8A96A8; }");

    BuildHeader();
    BuildFrame();
    BuildPlaces();
    BuildOptionsPage();
    BuildProgressPage();
    BuildResultsPage();
    BuildSummaryPage();
    BuildBottom();

    ScanTimer = new QTimer(this);
    ScanTimer->setInterval(10);
    connect(ScanTimer, &QTimer::timeout, this, [this] { ScanTimerTimer(ScanTimer); });

    pmDuplicates = new QMenu(this);
    OpenwithDirectory1 = pmDuplicates->addAction("Open with Directory");
    Property1 = pmDuplicates->addAction("Property");
    Showfile1 = pmDuplicates->addAction("Show file");
    pmDuplicates->setDefaultAction(OpenwithDirectory1);

    FFindAnimation = new QTimer(this);
    FFindAnimation->setInterval(120);
    connect(FFindAnimation, &QTimer::timeout, this, [this] {
        if (FFindFrames.empty()) return;
        FFindFrame = (FFindFrame + 1) % int(FFindFrames.size());
        imgFind->SetPicture(FFindFrames[size_t(FFindFrame)]);
    });
    connect(DataNotebook, &QStackedWidget::currentChanged, this, [this](int Page) {
        // The searching animation runs only while its page is shown.
        if (Page == 1)
            FFindAnimation->start();
        else
            FFindAnimation->stop();
    });

    // Centred on the screen.
    if (QScreen* S = QGuiApplication::primaryScreen()) {
        const QRect A = S->availableGeometry();
        move(A.center() - QPoint(FormWidth / 2, FormHeight / 2));
    }

    DataNotebook->installEventFilter(this);
    LayoutPages();
    FormCreate(this);
}

// The pages follow the notebook's width, which grows when the places are hidden.
void TDeleteDuplicatesForm::LayoutPages() {
    const int W = DataNotebook->width();
    gboxOptions->setGeometry(0, 0, W - 4, 366);
    panDFile->setGeometry(4, 16, gboxOptions->width() - 8, 349);
    panPFile->setGeometry(panDFile->geometry());
    EraseListView->setGeometry(2, 4, panPFile->width() - 4, 314);
    imgEmail->move(std::max(4, (panDFile->width() - imgEmail->width()) / 2), 2);

    ScanMessage->setGeometry(24, 60, W - 48, 22);
    imgFind->move((W - imgFind->width()) / 2, 200);

    const int RW = W - 4;
    panResult_Hint->setGeometry(0, 0, RW, 22);
    DuplicatesListView->setGeometry(0, 22, RW, 251);
    panState->setGeometry(0, 273, RW, 48);
    cbSelectAllDel->move(RW - cbSelectAllDel->width() - 4, 1);
    abStatus->setGeometry(4, 3, cbSelectAllDel->x() - 12, 15);
    labDouble->setGeometry(40, 19, RW - 44, 28);
    gboxDelOption->setGeometry(0, 321, RW, 45);

    FinishListView->setGeometry(0, 0, RW, 282);
    // The file column takes what the status column leaves, also when the
    // page widens as the places are hidden.
    if (FinishListView->columnCount() >= 2)
        FinishListView->setColumnWidth(0, RW - (FinishListView->columnWidth(1) + 20));
    gboxResult->setGeometry(0, 286, RW, 80);
    for (QLabel* L : {DelStatus1, DelStatus2, DelStatus3}) L->resize(RW - 24, L->height());
}

TDeleteDuplicatesForm::~TDeleteDuplicatesForm() {
    FormDestroy(this);
}

void TDeleteDuplicatesForm::BuildHeader() {
    TopPanel = Place(new TPanel(this, Qt::white), 0, 0, FormWidth, 125);
    TopPanel->OnMouseDown = [this](QObject* S, Qt::MouseButton B, Qt::KeyboardModifiers K, int X, int Y) {
        TopPanelMouseDown(S, B, K, X, Y);
    };
    const QPixmap Header = skin::Picture("header.svg", QSize(FormWidth, 125));

    panHeader_Left = Place(new TPanel(TopPanel), 0, 0, 9, 125);
    imgLeft_Top = Place(new TImageEx(panHeader_Left), 0, 0, 9, 60);
    imgLeft_Top->SetPicture(Header.copy(0, 0, 9, 60));
    imgLeft1 = Place(new TImageEx(panHeader_Left), 0, 60, 9, 65);
    imgLeft1->SetPicture(Header.copy(0, 60, 9, 65));
    imgHeader = Place(new TImageEx(TopPanel), 9, 0, FormWidth - 9, 125);
    imgHeader->SetPicture(Header.copy(9, 0, FormWidth - 9, 125));
    for (TImageEx* I : {imgHeader, imgLeft1, imgLeft_Top})
        I->OnMouseDown = [this](QObject* S, Qt::MouseButton B, Qt::KeyboardModifiers K, int X, int Y) {
            TopPanelMouseDown(S, B, K, X, Y);
        };

    auto PictureButton = [this](QWidget* Parent, int X, int Y, int W, int H) {
        auto* B = Place(new TImageEx(Parent), X, Y, W, H);
        B->setCursor(Qt::PointingHandCursor);
        B->OnMouseEnter = [this](QObject* S) { MinBtnMouseEnter(S); };
        B->OnMouseLeave = [this](QObject* S) { MinBtnMouseLeave(S); };
        return B;
    };
    MinBtn = PictureButton(TopPanel, 647, 7, 22, 15);
    MinBtn->setToolTip("Minimize");
    CloseBtn = PictureButton(TopPanel, 672, 7, 22, 15);
    CloseBtn->setToolTip("Close");
    MinBtn->OnClick = [this](QObject* S) { MinBtnClick(S); };
    CloseBtn->OnClick = [this](QObject* S) { CloseBtnClick(S); };

    BasicBtn = PictureButton(TopPanel, 91, 60, 74, 64);
    OutlookBtn = PictureButton(TopPanel, 169, 60, 74, 64);
    MusicBtn = PictureButton(TopPanel, 247, 60, 74, 64);
    PhotoBtn = PictureButton(TopPanel, 324, 60, 74, 64);
    CrushBtn = PictureButton(TopPanel, 402, 60, 74, 64);
    BasicBtn->OnClick = [this](QObject* S) { BasicBtnClick(S); };
    OutlookBtn->OnClick = [this](QObject* S) { OutlookBtnClick(S); };
    MusicBtn->OnClick = [this](QObject* S) { MusicBtnClick(S); };
    PhotoBtn->OnClick = [this](QObject* S) { PhotoBtnClick(S); };
    CrushBtn->OnClick = [this](QObject* S) { CrushBtnClick(S); };

    abMainVersion = new QLabel(TopPanel);
    abMainVersion->move(456, 38);
    abMainVersion->setStyleSheet("color: black; background: transparent;");
    abMainVersion->installEventFilter(this);

    auto Link = [this](const QString& Caption, int X, int Y) {
        auto* L = new TLabelEx(Caption, TopPanel);
        QFont F = BaseFont();
        L->setFont(F);
        L->setStyleSheet(QString("color: %1; background: transparent;").arg(LinkColor.name()));
        L->move(X, Y);
        L->adjustSize();
        L->setCursor(Qt::PointingHandCursor);
        L->OnMouseEnter = [this](QObject* S) { labUpdateMouseEnter(S); };
        L->OnMouseLeave = [this](QObject* S) { labUpdateMouseLeave(S); };
        return L;
    };
    labUpdate = Link("Update", 509, 13);
    labOptions = Link("Options", 560, 27);
    labAbout = Link("About", 609, 45);
    labHelp = Link("Help", 650, 63);
    labUpdate->OnClick = [this](QObject* S) { labUpdateClick(S); };
    labOptions->OnClick = [this](QObject* S) { labOptionsClick(S); };
    labAbout->OnClick = [this](QObject* S) { labAboutClick(S); };
    labHelp->OnClick = [this](QObject* S) { labHelpClick(S); };
}

void TDeleteDuplicatesForm::BuildFrame() {
    const int Top = 125;
    const int Height = FormHeight - Top;
    const QPixmap Side = skin::Picture("frame_side.svg", QSize(9, Height));
    panLeft = Place(new TPanel(this), 0, Top, 9, Height);
    imgLeftLine = Place(new TImageEx(panLeft), 0, 0, 9, Height);
    imgLeftLine->SetPicture(Side);
    panRight = Place(new TPanel(this), FormWidth - 9, Top, 9, Height);
    imtRightLine = Place(new TImageEx(panRight), 0, 0, 9, Height);
    imtRightLine->SetPicture(Side);

    BackPanel = Place(new TPanel(this, Qt::white), 9, Top, FormWidth - 18, Height);
    panLine_Top = Place(new TPanel(BackPanel, BottomBarColor), 0, 0, BackPanel->width(), 9);
    panLine_Bottom = Place(new TPanel(BackPanel), 0, Height - 9, BackPanel->width(), 9);
    imgBottom = Place(new TImageEx(panLine_Bottom), 0, 0, BackPanel->width(), 9);
    imgBottom->SetPicture(skin::Picture("frame_bottom.svg", QSize(BackPanel->width(), 9)));
}

void TDeleteDuplicatesForm::BuildPlaces() {
    // Between the top line and the bottom bar: 369 pixels. The notebook takes
    // the whole width when the places are hidden.
    auto* Middle = Place(new TPanel(BackPanel, Qt::white), 0, 9, BackPanel->width(), 369);
    auto* Row = new QHBoxLayout(Middle);
    Row->setContentsMargins(0, 0, 0, 0);
    Row->setSpacing(0);
    panDriveDir = new TPanel(Middle, Qt::white);
    panDriveDir->setFixedWidth(256);
    Row->addWidget(panDriveDir);
    gboxDrive = Place(new QGroupBox("Select Drives or Directories", panDriveDir), 4, 0, 248, 366);
    tvDiskDir = new TPlacesTreeView(gboxDrive);
    tvDiskDir->setGeometry(6, 18, 236, 342);
    tvDiskDir->setUniformRowHeights(true);
    tvDiskDir->NodeImage = [](int Index) { return DM ? DM->DiskImageList.Pixmap(Index) : QPixmap(); };
    tvDiskDir->StateImage = [](int Index) { return DM ? DM->DiskStatImageList.Pixmap(Index) : QPixmap(); };
    if (DM && DM->DiskImageList.Width() > 0)
        tvDiskDir->ImageSize = QSize(DM->DiskImageList.Width(), DM->DiskImageList.Height());
    tvDiskDir->OnMouseDown = [this](QObject* S, Qt::MouseButton B, Qt::KeyboardModifiers K, int X, int Y) {
        tvDiskDirMouseDown(S, B, K, X, Y);
    };
    tvDiskDir->OnGetImageIndex = [this](TPlaceNode* Node) { tvDiskDirGetImageIndex(tvDiskDir, Node); };

    DataNotebook = new QStackedWidget(Middle);
    DataNotebook->resize(BackPanel->width() - 256, 369);
    Row->addWidget(DataNotebook, 1);
}

void TDeleteDuplicatesForm::BuildOptionsPage() {
    auto* Page = new TPanel(nullptr, Qt::white);
    DataNotebook->addWidget(Page);
    const int W = DataNotebook->width();
    gboxOptions = Place(new QGroupBox(Page), 0, 0, W - 4, 366);

    // ---- The option panels of modes 1 to 4 ----
    panDFile = Place(new TPanel(gboxOptions, Qt::white), 4, 16, gboxOptions->width() - 8, 349);
    auto* Column = new QVBoxLayout(panDFile);
    Column->setContentsMargins(0, 0, 0, 0);
    Column->setSpacing(0);

    panObject = NewOptionPanel(panDFile, "Scan Object", 59);
    rbEmail = NewRadio(panObject, "Duplicate emails", 24, 22, true);
    rbLinkman = NewRadio(panObject, "Duplicate contacts", 200, 22);

    panMode = NewOptionPanel(panDFile, "Scan Mode", 70);
    rbScanFileName = NewRadio(panMode, "Scan for same name", 24, 20, true);
    rbScanFileBye = NewRadio(panMode, "Scan for same byte", 24, 44);
    rbScanTitle = NewRadio(panMode, "Scan for same song title", 210, 20);
    rbScanSimilar = NewRadio(panMode, "Scan for similar picture", 210, 20);

    panFilter = NewOptionPanel(panDFile, "  Scan Filter", 125);
    const int SubW = panDFile->width();
    pan_Filter_Basic = Place(new TPanel(panFilter, Qt::white), 0, 18, SubW, 107);
    rbAllFiles = NewRadio(pan_Filter_Basic, "All files", 24, 2, true);
    rbDocumentfiles = NewRadio(pan_Filter_Basic, "Documents", 24, 24);
    rbPicturePhoto = NewRadio(pan_Filter_Basic, "Pictures and Photos", 24, 46);
    rbMusic = NewRadio(pan_Filter_Basic, "Music", 24, 68);
    rbVideoMovies = NewRadio(pan_Filter_Basic, "Video and Movies", 210, 2);
    rbCustom = NewRadio(pan_Filter_Basic, "Custom file types", 210, 24);
    rbZero = NewRadio(pan_Filter_Basic, "Zero-size files", 210, 46);
    imgAddFileType = Place(new TImageEx(pan_Filter_Basic), rbCustom->x() + rbCustom->width() + 6,
                           rbCustom->y() + (rbCustom->height() - 14) / 2, 45, 14);
    imgAddFileType->setCursor(Qt::PointingHandCursor);
    imgAddFileType->setToolTip("Custom file types");
    imgAddFileType->OnMouseEnter = [this](QObject* S) { MinBtnMouseEnter(S); };
    imgAddFileType->OnMouseLeave = [this](QObject* S) { MinBtnMouseLeave(S); };
    imgAddFileType->OnClick = [this](QObject* S) { imgAddFileTypeClick(S); };

    pan_Filter_Music = Place(new TPanel(panFilter, Qt::white), 0, 18, SubW, 107);
    rbMusicAll = NewRadio(pan_Filter_Music, "All music", 24, 2, true);
    rbMusicSpec = NewRadio(pan_Filter_Music, "Specific music", 24, 24);
    gboxSpecMusic = Place(new QGroupBox(pan_Filter_Music), 24, 44, SubW - 48, 52);
    cbMp3 = NewCheck(gboxSpecMusic, "Mp3", 12, 20, true);
    cbWMA = NewCheck(gboxSpecMusic, "WMA", 78, 20, true);
    cbRM = NewCheck(gboxSpecMusic, "Rm", 148, 20, true);
    cbOgg = NewCheck(gboxSpecMusic, "Ogg", 210, 20, true);
    cbFLAC = NewCheck(gboxSpecMusic, "FLAC", 276, 20, true);
    gboxSpecMusic->setEnabled(false);

    pan_Filter_Photo = Place(new TPanel(panFilter, Qt::white), 0, 18, SubW, 107);
    rbPhotoAll = NewRadio(pan_Filter_Photo, "All pictures", 24, 0, true);
    rbPhotoSpec = NewRadio(pan_Filter_Photo, "Specific pictures", 210, 0);
    goxSpecPhoto = Place(new QGroupBox(pan_Filter_Photo), 24, 20, SubW - 48, 50);
    cbBmp = NewCheck(goxSpecPhoto, "BMP", 10, 20, true);
    cbJpeg = NewCheck(goxSpecPhoto, "JPEG", 66, 20, true);
    cbGif = NewCheck(goxSpecPhoto, "GIF", 126, 20, true);
    cbWmf = NewCheck(goxSpecPhoto, "WMF/EMF", 178, 20, true);
    cbPng = NewCheck(goxSpecPhoto, "PNG", 262, 20, true);
    cbIco = NewCheck(goxSpecPhoto, "ICO", 312, 20, true);
    goxSpecPhoto->setEnabled(false);
    chkSimilarty = NewCheck(pan_Filter_Photo, "Similarity" + QString(26, ' ') + "%", 24, 78);
    chkSimilarty->setEnabled(false);
    {
        // The edit and its arrows sit over the blanks of the caption.
        const QFontMetrics FM = chkSimilarty->fontMetrics();
        const int Indicator = chkSimilarty->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                              chkSimilarty->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
        const int Blanks = FM.horizontalAdvance(QString(26, ' '));
        const int X = chkSimilarty->x() + Indicator + FM.horizontalAdvance("Similarity") + (Blanks - 62) / 2;
        edtSimilarity = Place(new QLineEdit("90", pan_Filter_Photo), X, chkSimilarty->y() - 2, 42,
                              chkSimilarty->height() + 4);
        edtSimilarity->setReadOnly(true);
        edtSimilarity->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        UpDown1 = Place(new TUpDown(pan_Filter_Photo), X + 43, edtSimilarity->y(), 19, edtSimilarity->height());
        UpDown1->setRange(1, 100);
        UpDown1->setValue(90);
        UpDown1->setWrapping(false);
        connect(UpDown1, &QSpinBox::valueChanged, this,
                [this](int V) { edtSimilarity->setText(QString::number(V)); });
    }

    panAlso = NewOptionPanel(panDFile, "Duplicates also Have", 48);
    cbFileModifyTime = NewCheck(panAlso, "Same date", 24, 22);
    cbFileSize = NewCheck(panAlso, "Same size", 140, 22);
    cbMailSender = NewCheck(panAlso, "Same sender", 256, 22);

    panEmailPhoto = NewOptionPanel(panDFile, QString(), 15);
    imgEmail = Place(new TImageEx(panEmailPhoto), 4, 2, 520, 105);
    imgEmail->SetPicture(skin::Picture("email.svg", QSize(520, 105)));

    panNotScan = NewOptionPanel(panDFile, "Don't Scan", 106);
    cbUserFileSize = NewCheck(panNotScan, "When files size less than", 24, 20);
    sedUserFileSize = Place(new QSpinBox(panNotScan), cbUserFileSize->x() + cbUserFileSize->width() + 6, 18, 78, 20);
    sedUserFileSize->setRange(1, 1000000);
    sedUserFileSize->setValue(10);
    NewLabel(panNotScan, "KB", sedUserFileSize->x() + sedUserFileSize->width() + 5, 21);
    cbZero = NewCheck(panNotScan, "Skip zero-size files", 24, 42);
    cbSystemPath = NewCheck(panNotScan, "Protect system folders", 24, 62, true);
    cbSystemFile = NewCheck(panNotScan, "Protect other system files (*.sys,*.ocx,*.drv,*.dll)", 24, 82, true);

    for (QWidget* P : std::initializer_list<QWidget*>{panObject, panMode, panFilter, panAlso, panEmailPhoto, panNotScan})
        Column->addWidget(P);
    Column->addStretch(1);
    AlignAlsoPanel(false);

    // ---- The shredder list of mode 5 ----
    panPFile = Place(new TPanel(gboxOptions, Qt::white), 4, 16, gboxOptions->width() - 8, 349);
    EraseListView = NewReportList(panPFile);
    EraseListView->setGeometry(2, 4, panPFile->width() - 4, 314);
    EraseListView->setStyleSheet(ReportListStyle);
    EraseListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    EraseListView->setHeaderLabels({"File/Path", "Type"});
    EraseListView->setColumnWidth(0, 550);
    EraseListView->setColumnWidth(1, 60);
    EraseListView->header()->setSectionsClickable(true);
    connect(EraseListView->header(), &QHeaderView::sectionClicked, this,
            [this](int Column) { EraseListViewColumnClick(Column); });
    auto PageLink = [this](const QString& Caption, int X) {
        auto* L = new TLabelEx(Caption, panPFile);
        L->setStyleSheet(QString("color: %1;").arg(CountColor.name()));
        L->move(X, 326);
        L->adjustSize();
        L->setCursor(Qt::PointingHandCursor);
        L->OnMouseEnter = [this](QObject* S) { labUpdateMouseEnter(S); };
        L->OnMouseLeave = [this](QObject* S) { labUpdateMouseLeave(S); };
        return L;
    };
    labAddFile = PageLink("Add Files", 8);
    labAddFolder = PageLink("Add Folder", 96);
    labRemoveItem = PageLink("Remove Item", 192);
    labAddFile->OnClick = [this](QObject* S) { labAddFileClick(S); };
    labAddFolder->OnClick = [this](QObject* S) { labAddFolderClick(S); };
    labRemoveItem->OnClick = [this](QObject* S) { labRemoveItemClick(S); };
    panPFile->hide();

    // ---- Handlers of the option controls ----
    for (TRadioButton* R : {rbAllFiles, rbDocumentfiles, rbCustom, rbPicturePhoto, rbMusic, rbVideoMovies})
        R->OnClick = [this](QObject* S) { rbCustomClick(S); };
    rbZero->OnClick = [this](QObject* S) { rbZeroClick(S); };
    for (TRadioButton* R : {rbMusicAll, rbMusicSpec}) R->OnClick = [this](QObject* S) { rbMusicSpecClick(S); };
    for (TRadioButton* R : {rbPhotoAll, rbPhotoSpec}) R->OnClick = [this](QObject* S) { rbPhotoSpecClick(S); };
    for (TRadioButton* R : {rbScanFileName, rbScanFileBye, rbScanTitle, rbScanSimilar})
        R->OnClick = [this](QObject* S) { rbScanTitleClick(S); };
    for (TRadioButton* R : {rbEmail, rbLinkman}) R->OnClick = [this](QObject* S) { rbEmailClick(S); };
}

void TDeleteDuplicatesForm::BuildProgressPage() {
    ScanProcessPanel = new TPanel(nullptr, Qt::white);
    DataNotebook->addWidget(ScanProcessPanel);
    const int W = DataNotebook->width();
    labScanTitle = NewLabel(ScanProcessPanel, "Scanning in process", 24, 24);
    labScanTitle->setFont(BoldFont(16));
    labScanTitle->setStyleSheet(QString("color: %1;").arg(TitleColor.name()));
    labScanTitle->adjustSize();
    ScanMessage = Place(new QLabel(ScanProcessPanel), 24, 60, W - 48, 22);
    ScanMessage->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    ScanMessage->setStyleSheet("QLabel { border: 1px solid #AEBBD0; background: #F7F9FC; padding-left: 4px; }");
    ScanMessage->setTextFormat(Qt::PlainText);

    auto Count = [this](const QString& Caption, int X, int Y) {
        auto* L = NewLabel(ScanProcessPanel, Caption, X, Y);
        QFont F = BaseFont();
        F.setBold(true);
        L->setFont(F);
        L->setStyleSheet(QString("color: %1;").arg(CountColor.name()));
        L->setMinimumWidth(80);
        L->adjustSize();
        return L;
    };
    labGroup = NewLabel(ScanProcessPanel, "Duplicate groups found:", 24, 104);
    abDuplicates = Count("0", 210, 104);
    labGroupNum = NewLabel(ScanProcessPanel, "Files in duplicate groups:", 24, 128);
    abDupFiles = Count("0", 210, 128);
    Label14 = NewLabel(ScanProcessPanel, "Elapsed time:", 24, 152);
    abScanTime = Count("00:00:00", 210, 152);

    FFindFrames = skin::SearchAnimation(QSize(220, 120));
    imgFind = Place(new TImageEx(ScanProcessPanel), (W - 220) / 2, 200, 220, 120);
    if (!FFindFrames.empty()) imgFind->SetPicture(FFindFrames.front());
}

void TDeleteDuplicatesForm::BuildResultsPage() {
    auto* Page = new TPanel(nullptr, Qt::white);
    DataNotebook->addWidget(Page);
    const int W = DataNotebook->width() - 4;
    panResult_Hint = Place(new QLabel(Page), 0, 0, W, 22);
    panResult_Hint->setFont(BoldFont(13));
    panResult_Hint->setAlignment(Qt::AlignCenter);
    panResult_Hint->setStyleSheet("color: #DA3434;");

    DuplicatesListView = Place(new TVirtualListView(Page), 0, 22, W, 251);
    DuplicatesListView->setStyleSheet(QString(ReportListStyle) + "QTreeView::item { padding: 1px 1px; }");
    {
        // The columns keep their design widths, which were made for a
        // narrower face: a pixel smaller lets a date and time or "3  files"
        // show whole.
        QFont F = BaseFont();
        F.setPixelSize(10);
        DuplicatesListView->setFont(F);
    }
    DuplicatesListView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DuplicatesListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& P) { pmDuplicates->popup(DuplicatesListView->viewport()->mapToGlobal(P)); });
    DuplicatesListView->SmallImage = [](int Index) { return DM ? DM->DuplicateImages.Pixmap(Index) : QPixmap(); };
    if (DM && DM->DuplicateImages.Width() > 0) DuplicatesListView->SmallImageWidth = DM->DuplicateImages.Width();

    panState = Place(new TPanel(Page, Qt::white), 0, 273, W, 48);
    abStatus = Place(new QLabel(panState), 4, 3, W - 8, 15);
    labNote = NewLabel(panState, "Note:", 4, 19);
    labNote->setFont(BoldFont(11));
    labNote->adjustSize();
    labDouble = Place(new QLabel(panState), 40, 19, 250, 28);
    labDouble->setStyleSheet("color: #4A5568;");
    QFont Small = BaseFont();
    Small.setPixelSize(10);
    labDouble->setFont(Small);
    cbSelectAllDel = NewCheck(panState, "Select All Duplicates", 0, 1);
    cbSelectAllDel->move(W - cbSelectAllDel->width() - 4, 1);
    cbSelectAllDel->OnClick = [this](QObject* S) { cbSelectAllDelClick(S); };

    gboxDelOption = Place(new QGroupBox("File Deletion Options", Page), 0, 321, W, 45);
    rbDeleteToRec = NewRadio(gboxDelOption, "Remove to recycle bin", 16, 20, true);
    rbDeleteFile = NewRadio(gboxDelOption, "Delete directly", 220, 20);
}

void TDeleteDuplicatesForm::BuildSummaryPage() {
    auto* Page = new TPanel(nullptr, Qt::white);
    DataNotebook->addWidget(Page);
    const int W = DataNotebook->width() - 4;
    FinishListView = NewReportList(Page);
    FinishListView->setGeometry(0, 0, W, 282);
    FinishListView->setStyleSheet(ReportListStyle);
    FinishListView->setHeaderLabels({"File", "Status"});
    FinishListView->headerItem()->setTextAlignment(1, Qt::AlignCenter);
    FinishListView->setColumnWidth(0, 520);
    FinishListView->setColumnWidth(1, 120);

    gboxResult = Place(new QGroupBox("Results", Page), 0, 286, W, 80);
    DelStatus1 = Place(new QLabel("0 files have been scanned. 0 files were selected for deletion.", gboxResult),
                       14, 20, W - 24, 16);
    DelStatus2 = Place(new QLabel("0 files have been deleted successfully", gboxResult), 14, 38, W - 24, 16);
    DelStatus3 = Place(new QLabel("Fail to delete 0 files", gboxResult), 14, 56, W - 24, 16);
    ApplyFontColor(DelStatus3, Qt::red);
}

void TDeleteDuplicatesForm::BuildBottom() {
    panBottomButton = Place(new TPanel(BackPanel, BottomBarColor), 0, 378, BackPanel->width(), 41);
    panButton = Place(new TPanel(panBottomButton, BottomBarColor), panBottomButton->width() - 389, 0, 389, 41);
    auto Button = [this](int X, int W) {
        auto* B = Place(new TImageEx(panButton), X, 6, W, 30);
        B->setCursor(Qt::PointingHandCursor);
        B->OnMouseEnter = [this](QObject* S) { MinBtnMouseEnter(S); };
        B->OnMouseLeave = [this](QObject* S) { MinBtnMouseLeave(S); };
        return B;
    };
    ExportButton = Button(19, 113);
    BackButton = Button(142, 113);
    DeleteButton = Button(264, 113);
    ScanNowButton = Button(140, 237);
    StopButton = Button(140, 237);
    FinishButton = Button(140, 237);
    ExportButton->OnClick = [this](QObject* S) { ExportButtonClick(S); };
    BackButton->OnClick = [this](QObject* S) { BackButtonClick(S); };
    DeleteButton->OnClick = [this](QObject* S) { DeleteButtonClick(S); };
    ScanNowButton->OnClick = [this](QObject* S) { ScanNowButtonClick(S); };
    StopButton->OnClick = [this](QObject* S) { StopButtonClick(S); };
    FinishButton->OnClick = [this](QObject* S) { FinishButtonClick(S); };
    for (TImageEx* B : {ExportButton, BackButton, DeleteButton, StopButton, FinishButton}) B->hide();
}

// Where "Duplicates also Have" stands: under the scan kinds (top) or at the
// foot of the options area (bottom).
void TDeleteDuplicatesForm::AlignAlsoPanel(bool Top) {
    auto* Column = static_cast<QVBoxLayout*>(panDFile->layout());
    Column->removeWidget(panAlso);
    // Drop the stretch, then rebuild the tail in order.
    for (int I = Column->count() - 1; I >= 0; --I)
        if (Column->itemAt(I)->spacerItem()) delete Column->takeAt(I);
    if (Top) {
        Column->insertWidget(Column->indexOf(panFilter) + 1, panAlso);
        Column->addStretch(1);
    } else {
        Column->addStretch(1);
        Column->addWidget(panAlso);
    }
}

// ============================================================================
// Frame handlers
// ============================================================================

QString TDeleteDuplicatesForm::VersionCaption(const std::string& Version) {
    // A missing "." leaves the part empty: "" reads as "v.".
    std::string Rest = Version;
    size_t Dot = Rest.find('.');
    std::string First = Dot == std::string::npos ? std::string() : Rest.substr(0, Dot);
    Rest = Dot == std::string::npos ? std::string() : Rest.substr(Dot + 1);
    Dot = Rest.find('.');
    std::string Second = Dot == std::string::npos ? std::string() : Rest.substr(0, Dot);
    return QString("v%1").arg(QString::fromStdString(First + "." + Second));
}

void TDeleteDuplicatesForm::FormCreate(QObject*) {
    // The rounded shape, made once.
    QPainterPath Shape;
    Shape.addRoundedRect(QRectF(0, 0, width() + 1, height() + 1), 5, 5);
    setMask(QRegion(Shape.toFillPolygon().toPolygon()));

    FGroupList.clear();
    FRowList.clear();
    FCustomFileTypes.clear();
    FContactSortColumn = 0;
    ConnectResultsList();
    // The RealMedia reader's warnings are boxes of their own, owned by no window.
    tags::SetRMWarningHandler([](const std::string& Text, const std::string& Caption) {
        plat::MessageBox(Text, Caption, plat::MB_OK | plat::MB_ICONWARNING);
    });

    abMainVersion->setText(VersionCaption(AppVersion));
    abMainVersion->adjustSize();
}

void TDeleteDuplicatesForm::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    if (!FShown) {
        FShown = true;
        FormShow(this);
    }
}

void TDeleteDuplicatesForm::FormShow(QObject*) {
    for (TImageEx* B : {BasicBtn, OutlookBtn, MusicBtn, PhotoBtn, CrushBtn, MinBtn, CloseBtn, ExportButton, BackButton,
                        ScanNowButton, FinishButton, DeleteButton, StopButton})
        MinBtnMouseLeave(B);
    imgAddFileType->SetPicture(DM ? DM->SetImages.Pixmap(0) : QPixmap());

    tvDiskDir->clear();
    TPlaceNode* Root = tvDiskDir->AddChild(nullptr, places::RootText);
    Root->StateIndex = places::StateUnticked;
    Root->ImageIndex = places::ImageRoot;
    Root->SelectedIndex = places::ImageRoot;

    ResetPages();
    FillDriveTree();
    DataNotebook->setCurrentIndex(0);
    imgAddFileType->hide();
    BasicBtnClick(nullptr);
}

void TDeleteDuplicatesForm::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    FormResize(this);
}

void TDeleteDuplicatesForm::FormResize(QObject*) {
    if (DuplicatesListView->ColumnCount() >= 5) {
        int Others = 0;
        for (int I = 1; I <= 4; ++I) Others += DuplicatesListView->Column(I).Width;
        DuplicatesListView->SetColumnWidth(0, DuplicatesListView->width() - (Others + 20));
    }
    if (FinishListView->columnCount() >= 2)
        FinishListView->setColumnWidth(0, FinishListView->width() - (FinishListView->columnWidth(1) + 20));
}

void TDeleteDuplicatesForm::closeEvent(QCloseEvent* Event) {
    FormClose(this);
    QWidget::closeEvent(Event);
}

void TDeleteDuplicatesForm::FormClose(QObject*) {
    // A run under way ends at its next test instead of walking on unseen.
    if (FRunState == rsRunning) FRunState = rsStopRequested;
}

void TDeleteDuplicatesForm::FormDestroy(QObject*) {
    FGroupList.clear();
    FRowList.clear();
    FCustomFileTypes.clear();
    FOutlookApp.reset();
}

void TDeleteDuplicatesForm::EmptyResultLists() {
    FGroupList.clear();
    FRowList.clear();
}

void TDeleteDuplicatesForm::ApplyFontColor(QLabel* Label, const QColor& Color) {
    QPalette P = Label->palette();
    P.setColor(QPalette::WindowText, Color);
    Label->setPalette(P);
}

void TDeleteDuplicatesForm::SummaryTexts(int Mode, QString& Line1, QString& Line2, QString& Line3) {
    switch (Mode) {
    case 1: case 3: case 4: case 5:
        Line1 = "0 files have been scanned. 0 files were selected for deletion.";
        Line2 = "0 files have been deleted successfully";
        Line3 = "Fail to delete 0 files";
        break;
    case 2:
        Line1 = "0 mails have been scanned. 0 mails were selected for deletion.";
        Line2 = "0 mails have been deleted successfully";
        Line3 = "Fail to delete 0 mails";
        break;
    default:
        break;  // before the first mode switch the design texts stay
    }
}

void TDeleteDuplicatesForm::ResetPages() {
    FFileSortColumn = 3;
    FMailSortColumn = 2;
    FSortDirection = 1;
    FRunState = rsIdle;

    EmptyResultLists();

    // Setting these runs their click handlers where the state changes.
    rbScanFileName->SetChecked(true);
    rbScanFileBye->SetChecked(false);
    rbAllFiles->SetChecked(true);
    cbFileSize->SetChecked(false);
    cbFileModifyTime->SetChecked(false);
    cbUserFileSize->SetChecked(false);
    cbMailSender->SetChecked(false);
    sedUserFileSize->setValue(10);

    ScanMessage->clear();
    abStatus->clear();

    DuplicatesListView->SetItemCount(0);
    DuplicatesListView->Repaint();

    cbSelectAllDel->SetChecked(false);
    rbDeleteToRec->SetChecked(true);

    FinishListView->setUpdatesEnabled(false);
    FinishListView->clear();
    FinishListView->setUpdatesEnabled(true);

    for (int I = EraseListView->topLevelItemCount() - 1; I >= 0; --I)
        if (EraseListView->topLevelItem(I)->checkState(0) == Qt::Checked) delete EraseListView->takeTopLevelItem(I);

    QString L1, L2, L3;
    SummaryTexts(FMode, L1, L2, L3);
    if (!L1.isEmpty()) {
        DelStatus1->setText(L1);
        DelStatus2->setText(L2);
        DelStatus3->setText(L3);
    }
    ApplyFontColor(DelStatus3, Qt::black);
}

void TDeleteDuplicatesForm::BackButtonClick(QObject*) {
    if (FRunState == rsRunning) FRunState = rsStopRequested;
    ScanNowButton->show();
    for (TImageEx* B : {BackButton, StopButton, DeleteButton, FinishButton, ExportButton}) B->hide();
    panDriveDir->setVisible(FMode != 2);
    EmptyResultLists();
    ResetPages();
    if (TPlaceNode* Root = tvDiskDir->Root()) Root->StateIndex = places::StateUnticked;
    FillDriveTree();
    DataNotebook->setCurrentIndex(0);
}

void TDeleteDuplicatesForm::FinishButtonClick(QObject*) {
    ScanNowButton->show();
    for (TImageEx* B : {BackButton, StopButton, DeleteButton, FinishButton, ExportButton}) B->hide();
    panDriveDir->setVisible(FMode == 1 || FMode == 3 || FMode == 4);
    ResetPages();
    if (TPlaceNode* Root = tvDiskDir->Root()) Root->StateIndex = places::StateUnticked;
    FillDriveTree();
    DataNotebook->setCurrentIndex(0);
}

void TDeleteDuplicatesForm::TopPanelMouseDown(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers, int X,
                                              int Y) {
    if (Button != Qt::LeftButton || Y < 0 || Y > TopPanel->height()) return;
    // The system's own move loop where the window system offers one; else we
    // follow the mouse ourselves until the button is released.
    if (QWindow* W = windowHandle(); W && W->startSystemMove()) return;
    if (auto* Control = qobject_cast<QWidget*>(Sender)) {
        FDragging = true;
        // The control that took the press receives the moves until the release.
        FDragOffset = Control->mapToGlobal(QPoint(X, Y)) - pos();
        Control->installEventFilter(this);
    }
}

bool TDeleteDuplicatesForm::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == DataNotebook && Event->type() == QEvent::Resize) LayoutPages();
    if (FDragging && (Event->type() == QEvent::MouseMove || Event->type() == QEvent::MouseButtonRelease)) {
        auto* M = static_cast<QMouseEvent*>(Event);
        move(M->globalPosition().toPoint() - FDragOffset);
        if (Event->type() == QEvent::MouseButtonRelease) {
            FDragging = false;
            if (Watched != abMainVersion) Watched->removeEventFilter(this);
        }
        return true;
    }
    if (Watched == abMainVersion && Event->type() == QEvent::MouseButtonPress) {
        auto* M = static_cast<QMouseEvent*>(Event);
        const QPoint P = M->position().toPoint();
        TopPanelMouseDown(abMainVersion, M->button(), M->modifiers(), P.x(), P.y());
        return true;
    }
    return QWidget::eventFilter(Watched, Event);
}

void TDeleteDuplicatesForm::MinBtnClick(QObject*) {
    showMinimized();
}

void TDeleteDuplicatesForm::CloseBtnClick(QObject*) {
    close();
}

bool TDeleteDuplicatesForm::ButtonPictures(QObject* Sender, QPixmap& Normal, QPixmap& Hover) const {
    if (!Sender) return false;
    struct TEntry {
        TImageEx* Button;
        TImageList* List;
        int Index;
        const char* Caption;
    };
    const bool Crush = FMode == 5;
    const TEntry Table[] = {
        {MinBtn, DM ? &DM->MinMaxImageList : nullptr, 0, "_"},
        {CloseBtn, DM ? &DM->MinMaxImageList : nullptr, 2, "x"},
        {BasicBtn, DM ? &DM->UpdateRegs : nullptr, 0, "Basic"},
        {OutlookBtn, DM ? &DM->UpdateRegs : nullptr, 2, "Outlook"},
        {MusicBtn, DM ? &DM->UpdateRegs : nullptr, 4, "Music"},
        {PhotoBtn, DM ? &DM->UpdateRegs : nullptr, 8, "Photo"},
        {CrushBtn, DM ? &DM->UpdateRegs : nullptr, 10, "Crush"},
        {BackButton, DM ? &DM->MainImageList : nullptr, 0, "Back"},
        {DeleteButton, DM ? &DM->MainImageList : nullptr, 2, "Delete"},
        {ExportButton, DM ? &DM->MainImageList : nullptr, 4, "Export"},
        {imgAddFileType, DM ? &DM->SetImages : nullptr, 0, "Set"},
        {ScanNowButton, DM ? &DM->MainImageList_big : nullptr, Crush ? 6 : 0, Crush ? "Erase Now" : "Scan Now"},
        {StopButton, DM ? &DM->MainImageList_big : nullptr, 2, "Stop"},
        {FinishButton, DM ? &DM->MainImageList_big : nullptr, 4, "Finish"},
    };
    for (const TEntry& E : Table) {
        if (Sender != E.Button) continue;
        Normal = E.List ? E.List->Pixmap(E.Index) : QPixmap();
        Hover = E.List ? E.List->Pixmap(E.Index + 1) : QPixmap();
        // Without the data module's pictures a drawn button keeps the window usable.
        if (Normal.isNull()) Normal = skin::FallbackButton(E.Button->size(), E.Caption, false);
        if (Hover.isNull()) Hover = skin::FallbackButton(E.Button->size(), E.Caption, true);
        return true;
    }
    return false;
}

void TDeleteDuplicatesForm::MinBtnMouseEnter(QObject* Sender) {
    QPixmap Normal, Hover;
    if (ButtonPictures(Sender, Normal, Hover)) static_cast<TImageEx*>(Sender)->SetPicture(Hover);
}

void TDeleteDuplicatesForm::MinBtnMouseLeave(QObject* Sender) {
    QPixmap Normal, Hover;
    if (ButtonPictures(Sender, Normal, Hover)) static_cast<TImageEx*>(Sender)->SetPicture(Normal);
}

void TDeleteDuplicatesForm::labUpdateMouseEnter(QObject* Sender) {
    for (QLabel* L : std::initializer_list<QLabel*>{labUpdate, labOptions, labAbout, labHelp, labAddFile, labAddFolder,
                                                    labRemoveItem})
        if (Sender == L) {
            QFont F = L->font();
            F.setUnderline(true);
            L->setFont(F);
        }
}

void TDeleteDuplicatesForm::labUpdateMouseLeave(QObject* Sender) {
    for (QLabel* L : std::initializer_list<QLabel*>{labUpdate, labOptions, labAbout, labHelp, labAddFile, labAddFolder,
                                                    labRemoveItem})
        if (Sender == L) {
            QFont F = L->font();
            F.setUnderline(false);
            F.setBold(false);
            F.setItalic(false);
            L->setFont(F);
        }
}

void TDeleteDuplicatesForm::labUpdateClick(QObject*) {
    if (DM) DM->CheckForUpdate(true);
}

void TDeleteDuplicatesForm::labOptionsClick(QObject*) {
    TFormOptions Options(this);
    Options.exec();
}

void TDeleteDuplicatesForm::labAboutClick(QObject*) {
    TAboutForm About(this);
    About.exec();
}

void TDeleteDuplicatesForm::labHelpClick(QObject*) {
    OpenURL(std::string(VendorSite) + "/help");
}

void TDeleteDuplicatesForm::imgAddFileTypeClick(QObject*) {
    TfrmAddFileType Form(this);
    Form.exec();
}

// ============================================================================
// Modes and option pages
// ============================================================================

void TDeleteDuplicatesForm::BasicBtnClick(QObject*) { SwitchMode(1); }
void TDeleteDuplicatesForm::OutlookBtnClick(QObject*) { SwitchMode(2); }
void TDeleteDuplicatesForm::MusicBtnClick(QObject*) { SwitchMode(3); }
void TDeleteDuplicatesForm::PhotoBtnClick(QObject*) { SwitchMode(4); }
void TDeleteDuplicatesForm::CrushBtnClick(QObject*) { SwitchMode(5); }

void TDeleteDuplicatesForm::SetFinishColumnCaption(const QString& Caption) {
    FinishListView->headerItem()->setText(0, Caption);
}

void TDeleteDuplicatesForm::SetLabDouble(const QString& Line1, const QString& Line2) {
    labDouble->setText(Line1 + "\n" + Line2);
}

void TDeleteDuplicatesForm::SetFileColumns(bool MusicPhotoWidths) {
    const int Wide = MusicPhotoWidths ? 115 : 105;
    DuplicatesListView->AddColumn("Name and Path", 310, Qt::AlignLeft);
    DuplicatesListView->AddColumn("File Size", 55, Qt::AlignHCenter);
    DuplicatesListView->AddColumn("Modified", Wide, Qt::AlignHCenter);
    DuplicatesListView->AddColumn("Created", Wide, Qt::AlignHCenter);
    DuplicatesListView->AddColumn("Group", MusicPhotoWidths ? 45 : 43, Qt::AlignHCenter);
    DuplicatesListView->AddColumn("ResultFlag", 0, Qt::AlignHCenter);
}

void TDeleteDuplicatesForm::SwitchMode(uint16_t Mode) {
    BackButtonClick(nullptr);
    DuplicatesListView->ClearColumns();

    gboxDrive->setTitle("Select Drives or Directories");
    SetCaption(rbScanFileBye, "Scan for same byte");
    panResult_Hint->setText("Please take caution before you delete the duplicate files.");
    SetFinishColumnCaption("File");
    SetCaption(labGroupNum, "Files in duplicate groups:");
    DelStatus1->setText("0 files have been found. 0 files were selected for deletion.");
    DelStatus2->setText("0 files have been deleted successfully.");
    DelStatus3->setText("Fail to delete 0 files.");
    SetLabDouble("* Double click to open  your specified directory",
                 "* The selected duplicate files are older than the unselected one");
    gboxOptions->setTitle("Scan Criteria For Duplicates With The Same Name");
    SetCaption(labScanTitle, "Scanning in process");

    const bool Basic = Mode == 1, Outlook = Mode == 2, Music = Mode == 3, Photo = Mode == 4, Crush = Mode == 5;
    panDriveDir->setVisible(Basic || Music || Photo);
    panDFile->setVisible(!Crush);
    panPFile->setVisible(Crush);
    panObject->setVisible(Outlook);
    rbScanTitle->setVisible(Music);
    rbScanSimilar->setVisible(Photo);
    panFilter->setVisible(Basic || Music || Photo);
    pan_Filter_Basic->setVisible(Basic);
    pan_Filter_Music->setVisible(Music);
    pan_Filter_Photo->setVisible(Photo);
    panAlso->setVisible(true);
    cbMailSender->setVisible(Outlook);
    panNotScan->setVisible(!Outlook);
    cbSystemFile->setVisible(Basic || Outlook);
    panEmailPhoto->setVisible(Outlook);
    gboxDelOption->setVisible(!Outlook);
    for (QWidget* W : std::initializer_list<QWidget*>{labGroup, abDuplicates, labGroupNum, abDupFiles})
        W->setVisible(!Crush);

    panAlso->setVisible(true);
    AlignAlsoPanel(false);

    switch (Mode) {
    case 1:
        SetCaption(rbScanFileName, "Scan for same name");
        SetFileColumns(false);
        SetFinishColumnCaption("File");
        break;
    case 2:
        AlignAlsoPanel(true);
        panEmailPhoto->setFixedHeight(111);
        panResult_Hint->setText("Please take caution before you delete the duplicate emails.");
        SetCaption(rbScanFileBye, "Scan for same content");
        SetCaption(rbScanFileName, "Scan for same subject");
        SetCaption(cbMailSender, "Same sender");
        rbEmailClick(nullptr);
        SetFinishColumnCaption("Email");
        SetCaption(labGroupNum, "Emails in duplicate groups:");
        DelStatus1->setText("0 emails have been found. 0 emails were selected for deletion.");
        DelStatus2->setText("0 emails have been deleted successfully.");
        DelStatus3->setText("Fail to delete 0 emails.");
        SetLabDouble("* Double click to open  your specified email",
                     "* The selected duplicate mails are older than the unselected one");
        gboxOptions->setTitle("Scan Criteria For Duplicates With The Same Subject");
        break;
    case 3:
        SetCaption(rbScanTitle, "Scan for same song title");
        SetCaption(rbScanFileName, "Scan for same file name");
        SetCaption(cbMailSender, "Same artist");
        SetFileColumns(true);
        SetFinishColumnCaption("File");
        break;
    case 4:
        SetCaption(rbScanFileName, "Scan for same file name");
        SetFileColumns(true);
        SetFinishColumnCaption("File");
        SetLabDouble("* Double click to open  your specified picture",
                     "* The selected duplicate pictures are older than the unselected one");
        break;
    case 5:
        gboxOptions->setTitle(QString());
        SetCaption(labScanTitle, "Erasing in process");
        DelStatus1->setText("0 items have been found. 0 items were selected for erasion.");
        DelStatus2->setText("0 items have been erased successfully.");
        DelStatus3->setText("Fail to erase 0 items.");
        break;
    default:
        break;
    }

    FMode = Mode;
    MinBtnMouseLeave(ScanNowButton);
}

void TDeleteDuplicatesForm::rbEmailClick(QObject*) {
    DuplicatesListView->ClearColumns();
    if (rbEmail->Checked()) {
        SetCaption(rbScanFileBye, "Scan for same content");
        SetCaption(rbScanFileName, "Scan for same subject");
        SetCaption(cbMailSender, "Same sender");
        panNotScan->hide();
        cbMailSender->show();
        gboxDelOption->hide();
        DuplicatesListView->AddColumn("Subject", 310, Qt::AlignLeft);
        DuplicatesListView->AddColumn("Size", 65, Qt::AlignHCenter);
        DuplicatesListView->AddColumn("Received", 105, Qt::AlignHCenter);
        DuplicatesListView->AddColumn("From", 105, Qt::AlignHCenter);
        DuplicatesListView->AddColumn("Group", 45, Qt::AlignHCenter);
        DuplicatesListView->AddColumn("ResultFlag", 0, Qt::AlignHCenter);
        DuplicatesListView->AddColumn("EntryID", 0, Qt::AlignHCenter);
        SetFinishColumnCaption("Email");
        SetCaption(labGroupNum, "Emails in duplicate groups:");
        DelStatus1->setText("0 emails have been found. 0 emails were selected for deletion.");
        DelStatus2->setText("0 emails have been deleted successfully.");
        DelStatus3->setText("Fail to delete 0 emails.");
        SetLabDouble("* Double click to open  your specified email",
                     "* The selected duplicate mails are older than the unselected one");
        gboxOptions->setTitle("Scan Criteria For Duplicates With The Same Subject");
    } else {
        SetCaption(rbScanFileBye, "Scan for same email");
        SetCaption(rbScanFileName, "Scan for same name");
        SetCaption(rbScanTitle, "Scan for same nickname");
        SetCaption(cbMailSender, "Same sender");
        panNotScan->hide();
        cbMailSender->show();
        gboxDelOption->hide();
        DuplicatesListView->AddColumn("Full Name", 200, Qt::AlignLeft);
        DuplicatesListView->AddColumn("Nickname", 80, Qt::AlignHCenter);
        DuplicatesListView->AddColumn("Phone", 110, Qt::AlignLeft);
        DuplicatesListView->AddColumn("Email Address", 200, Qt::AlignLeft);
        DuplicatesListView->AddColumn("Group", 45, Qt::AlignHCenter);
        DuplicatesListView->AddColumn("ResultFlag", 0, Qt::AlignHCenter);
        DuplicatesListView->AddColumn("EntryID", 0, Qt::AlignHCenter);
        SetFinishColumnCaption("Contact");
        SetCaption(labGroupNum, "Contacts in duplicate groups:");
        DelStatus1->setText("0 Contacts have been found. 0 Contacts were selected for deletion.");
        DelStatus2->setText("0 Contacts have been deleted successfully.");
        DelStatus3->setText("Fail to delete 0 Contacts.");
        SetLabDouble("* Double click to open  your specified contact",
                     "* The selected duplicate contact are older than the unselected one");
        gboxOptions->setTitle("Scan Criteria For Duplicates With The Same Name");
    }
    rbScanFileName->SetChecked(true);
    rbScanTitle->setVisible(rbLinkman->Checked());
    panAlso->setVisible(!rbLinkman->Checked());
}

void TDeleteDuplicatesForm::rbScanTitleClick(QObject*) {
    if (rbScanFileName->Checked())
        gboxOptions->setTitle("Scan Criteria For Duplicates With The Same Name");
    else if (rbScanFileBye->Checked())
        gboxOptions->setTitle("Scan Criteria For Duplicates By Byte-By-Byte Comparison");
    else if (rbScanSimilar->Checked())
        gboxOptions->setTitle("Scan Criteria For Duplicates By Similarity");
    else if (rbScanTitle->Checked())
        gboxOptions->setTitle("Scan Criteria For Duplicates With The Song Title");

    switch (FMode) {
    case 2:
        if (rbEmail->Checked()) {
            if (rbScanFileName->Checked())
                gboxOptions->setTitle("Scan Criteria For Duplicates With The Same Subject");
            else if (rbScanFileBye->Checked())
                gboxOptions->setTitle("Scan Criteria For Duplicates With The Same Content");
        } else if (rbLinkman->Checked()) {
            if (rbScanFileName->Checked())
                gboxOptions->setTitle("Scan Criteria For Duplicates With The Same Name");
            else if (rbScanTitle->Checked())
                gboxOptions->setTitle("Scan Criteria For Duplicates With The Same Nickname");
            else if (rbScanFileBye->Checked())
                gboxOptions->setTitle("Scan Criteria For Duplicates With The Same Email");
        }
        break;
    case 3: {
        // The song-title scan always works on the chosen specific music types.
        const bool Title = rbScanTitle->Checked();
        rbMusicSpec->SetChecked(Title);
        rbMusicAll->setEnabled(!Title);
        rbMusicAll->SetChecked(rbMusicAll->isEnabled());
        cbMailSender->setVisible(Title);
        break;
    }
    case 4: {
        // The similar-picture scan always works on the chosen specific picture types.
        const bool Similar = rbScanSimilar->Checked();
        chkSimilarty->SetChecked(Similar);
        chkSimilarty->setEnabled(Similar);
        rbPhotoSpec->SetChecked(chkSimilarty->Checked());
        rbPhotoAll->setEnabled(!chkSimilarty->Checked());
        rbPhotoAll->SetChecked(rbPhotoAll->isEnabled());
        break;
    }
    default:
        break;
    }
}

void TDeleteDuplicatesForm::rbCustomClick(QObject*) {
    imgAddFileType->setVisible(rbCustom->Checked());
}

void TDeleteDuplicatesForm::rbZeroClick(QObject*) {
    imgAddFileType->setVisible(rbCustom->Checked());
    cbZero->SetChecked(false);
    rbScanFileBye->SetChecked(true);
}

void TDeleteDuplicatesForm::rbMusicSpecClick(QObject*) {
    gboxSpecMusic->setEnabled(rbMusicSpec->Checked());
}

void TDeleteDuplicatesForm::rbPhotoSpecClick(QObject*) {
    goxSpecPhoto->setEnabled(rbPhotoSpec->Checked());
}

// ============================================================================
// Places tree
// ============================================================================

void TDeleteDuplicatesForm::FillDriveTree() {
    TPlaceNode* Root = tvDiskDir->Root();
    if (!Root) return;
    Root->DeleteChildren();
    QList<QTreeWidgetItem*> Drives;
    for (TDirectoryInfo& D : places::ListDrives()) {
        auto* Node = new TPlaceNode();
        Node->setText(0, QString::fromStdString(D.DisplayName));
        Node->Data = std::make_unique<TDirectoryInfo>(std::move(D));
        Node->StateIndex = places::StateUnticked;
        Node->ImageIndex = places::ImageDrive;
        Node->SelectedIndex = places::ImageDrive;
        Drives.append(Node);
    }
    Root->addChildren(Drives);
    Root->setExpanded(true);
    tvDiskDir->setCurrentItem(Root, 0, QItemSelectionModel::NoUpdate);
    tvDiskDir->viewport()->update();
}

void TDeleteDuplicatesForm::ShellDisplayName(const std::string& Path, std::string& Name) {
    places::ShellDisplayName(Path, Name);
}

bool TDeleteDuplicatesForm::AddSubFolders(const std::string& Path, TDirectoryList& List) {
    return places::AddSubFolders(Path, List);
}

void TDeleteDuplicatesForm::ExpandPlaceNode(TPlaceNode* Node) {
    if (!Node) return;
    if (Node->Level() == 0) {
        FillDriveTree();
        return;
    }
    Node->DeleteChildren();
    if (!Node->Data) return;
    TDirectoryList List;
    if (AddSubFolders(Node->Data->Path, List)) {
        // One insertion for the whole listing keeps a large folder quick.
        QList<QTreeWidgetItem*> Children;
        Children.reserve(qsizetype(List.size()));
        for (std::unique_ptr<TDirectoryInfo>& Info : List) {
            auto* Child = new TPlaceNode();
            Child->setText(0, QString::fromStdString(Info->DisplayName));
            Child->Data = std::move(Info);
            Child->StateIndex = Node->StateIndex;
            Child->ImageIndex = places::ImageFolder;
            Child->SelectedIndex = places::ImageFolder + 1;
            Children.append(Child);
        }
        Node->addChildren(Children);
        Node->setExpanded(true);
    }
}

void TDeleteDuplicatesForm::CopyStateToChildren(TPlaceNode* Node) {
    for (int I = 0; I < Node->Count(); ++I) Node->Child(I)->StateIndex = Node->StateIndex;
}

void TDeleteDuplicatesForm::tvDiskDirMouseDown(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int X, int Y) {
    const QPoint P(X, Y);
    TPlaceNode* Node = tvDiskDir->NodeAt(P);
    if (!Node) return;
    switch (tvDiskDir->HitTest(P)) {
    case TPlacesTreeView::THit::StateIcon:
        if (Node->StateIndex == places::StateUnticked)
            Node->StateIndex = places::StateTicked;
        else if (Node->StateIndex == places::StateTicked)
            Node->StateIndex = places::StateUnticked;
        // The node, its children and its grandchildren; deeper listed nodes keep theirs.
        CopyStateToChildren(Node);
        for (int I = 0; I < Node->Count(); ++I)
            if (Node->Child(I)->HasChildren()) CopyStateToChildren(Node->Child(I));
        tvDiskDir->viewport()->update();
        break;
    case TPlacesTreeView::THit::Icon:
    case TPlacesTreeView::THit::Label:
        ExpandPlaceNode(Node);
        break;
    default:
        break;
    }
}

void TDeleteDuplicatesForm::tvDiskDirGetImageIndex(QObject*, TPlaceNode* Node) {
    Node->SelectedIndex = Node->ImageIndex + (Node->Level() > 1 ? 1 : 0);
}

// ============================================================================
// Entry points of the run, the results and the shredder list
// ============================================================================

void TDeleteDuplicatesForm::ExportButtonClick(QObject*) {
    // The proposed name carries today's date, set afresh on every click.
    const std::string DefaultName = finder::DefaultExportName(plat::NowDateTime());
    if (FDeleting || FRunState == rsRunning) return;
    const size_t Count = std::min(FRowList.size(), size_t(std::max(DuplicatesListView->ItemCount(), 0)));
    if (Count == 0) return;

    std::string FileName;
    if (finder::ExportDialog()) {
        FileName = finder::ExportDialog()(DefaultName);
    } else {
        QFileDialog Dialog(this);
        Dialog.setAcceptMode(QFileDialog::AcceptSave);
        Dialog.setFileMode(QFileDialog::AnyFile);
        Dialog.setNameFilter("Html File (*.html)");
        Dialog.setDefaultSuffix("html");
        Dialog.setOption(QFileDialog::DontConfirmOverwrite);
        Dialog.selectFile(QString::fromStdString(DefaultName));
        if (Dialog.exec() == QDialog::Accepted && !Dialog.selectedFiles().isEmpty())
            FileName = QFile::encodeName(Dialog.selectedFiles().first()).toStdString();
    }
    if (FileName.empty()) return;

    finder::TExportPage Page;
    Page.Mode = FMode;
    Page.Email = rbEmail->Checked();
    Page.Linkman = rbLinkman->Checked();
    for (TRadioButton* R : {rbScanFileName, rbScanFileBye, rbScanTitle, rbScanSimilar})
        if (R->Checked()) {
            Page.ScanModeCaption = R->text().toStdString();
            break;
        }
    for (int K = 0; K < 5 && K < DuplicatesListView->ColumnCount(); ++K)
        Page.Columns[size_t(K)] = DuplicatesListView->Column(K).Caption.toStdString();
    Page.TitleTime = plat::NowDateTime();
    Page.SearchTime = plat::NowDateTime();
    Page.RowCount = Count;
    // The rows' own bytes, as the list is given them: a name that is no
    // UTF-8 still links to its file.
    Page.IsHeader = [this](size_t I) { return FRowList[I]->RowKind == 0; };
    const finder::TScanKind Kind = ScanKind();
    Page.Row = [this, Kind](size_t I) {
        const finder::TRowTexts T = finder::RowTexts(*FRowList[I], FMode, Kind);
        finder::TExportRow R;
        R.Caption = T.Caption;
        for (size_t K = 0; K < R.SubItems.size() && K < T.SubItems.size(); ++K) R.SubItems[K] = T.SubItems[K];
        return R;
    };

    finder::TExportResult Result;
    try {
        Result = finder::ExportHtmlFile(FileName, Page);
    } catch (const std::exception& E) {
        Result.Ok = false;
        Result.Error = E.what();
    }
    if (!Result.Ok) {
        plat::ShowException(Result.Error);
        return;
    }
    plat::MessageBox("Data has been exported to " + FileName, "Corvane - Export",
                     plat::MB_OK | plat::MB_ICONINFORMATION);
}

namespace {

// A row of the shredder's list: the item as recorded when it was chosen; the
// row's texts only show it (a name that is no UTF-8 shows with U+FFFD).
class TEraseRow : public QTreeWidgetItem {
public:
    TEraseRow(QTreeWidget* List, const finder::TEraseItem& It)
        : QTreeWidgetItem(List,
                          {QFile::decodeName(QByteArray::fromStdString(It.Caption)), QString::fromStdString(It.Type)},
                          UserType),
          Item(It) {}
    const finder::TEraseItem Item;
};

} // namespace

QTreeWidgetItem* TDeleteDuplicatesForm::AddEraseRow(const finder::TEraseItem& Item) {
    auto* Row = new TEraseRow(EraseListView, Item);
    Row->setCheckState(0, Qt::Checked);
    return Row;
}

std::vector<finder::TEraseItem> TDeleteDuplicatesForm::EraseListItems() const {
    std::vector<finder::TEraseItem> Items;
    for (int I = 0; I < EraseListView->topLevelItemCount(); ++I) {
        const QTreeWidgetItem* It = EraseListView->topLevelItem(I);
        const auto* Row = dynamic_cast<const TEraseRow*>(It);
        Items.push_back(Row ? Row->Item : finder::TEraseItem{});  // a row without a record erases nothing
        Items.back().Ticked = It->checkState(0) == Qt::Checked;
    }
    return Items;
}

void TDeleteDuplicatesForm::AddChosenEraseItems(const QStringList& Paths, const std::string& Type) {
    // Qt holds a name as UTF-16 and puts U+FFFD for bytes it cannot decode:
    // such a path might name another file, so it is refused, never guessed.
    std::vector<finder::TEraseItem> Chosen;
    std::string Refused;
    int RefusedCount = 0;
    for (const QString& P : Paths) {
        if (P.isEmpty()) continue;
        if (P.contains(QChar::ReplacementCharacter)) {
            Refused += "\r" + P.toStdString();
            ++RefusedCount;
        } else {
            Chosen.push_back(finder::RecordEraseItem(QFile::encodeName(P).toStdString(), Type));
        }
    }
    for (const finder::TEraseItem& It : finder::ItemsToAdd(EraseListItems(), Chosen)) AddEraseRow(It);
    if (RefusedCount > 0)
        plat::MessageBox((RefusedCount == 1 ? "This name cannot be read exactly, so it was not added:"
                                            : "These names cannot be read exactly, so they were not added:") +
                             Refused,
                         "Corvane - Error", plat::MB_OK | plat::MB_ICONWARNING);
}

void TDeleteDuplicatesForm::labAddFileClick(QObject*) {
    AddChosenEraseItems(ChooseEraseFiles ? ChooseEraseFiles()
                                         : QFileDialog::getOpenFileNames(this, QString(), QString(), "All Type (*)"),
                        "File");
}

void TDeleteDuplicatesForm::EraseListViewColumnClick(int Column) {
    // Always ascending; items added later go to the end unsorted.
    const std::vector<size_t> Order = finder::SortEraseItems(EraseListItems(), Column);
    const QList<QTreeWidgetItem*> Selected = EraseListView->selectedItems();
    std::vector<QTreeWidgetItem*> Taken;
    for (int I = EraseListView->topLevelItemCount() - 1; I >= 0; --I) Taken.push_back(EraseListView->takeTopLevelItem(I));
    std::reverse(Taken.begin(), Taken.end());
    for (size_t I : Order) EraseListView->addTopLevelItem(Taken[I]);
    for (QTreeWidgetItem* It : Selected) It->setSelected(true);
}

void TDeleteDuplicatesForm::labAddFolderClick(QObject*) {
    const QString Folder = ChooseEraseFolder
                               ? ChooseEraseFolder()
                               : QFileDialog::getExistingDirectory(this, "Please select the folder to wipe...");
    AddChosenEraseItems({Folder}, "Folder");
}

void TDeleteDuplicatesForm::labRemoveItemClick(QObject*) {
    // The ticked items go, not the highlighted ones.
    EraseListView->setUpdatesEnabled(false);
    for (int I = EraseListView->topLevelItemCount() - 1; I >= 0; --I)
        if (EraseListView->topLevelItem(I)->checkState(0) == Qt::Checked) delete EraseListView->takeTopLevelItem(I);
    EraseListView->setUpdatesEnabled(true);
}
