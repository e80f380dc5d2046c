// The image lists and the splash, About and wait windows.
#include <QApplication>
#include <QImage>
#include <QImageReader>
#include <QMouseEvent>
#include <QMovie>
#include <QTimer>

#include <gtest/gtest.h>

#include "frame/SettingsUnit.h"
#include "frame/StartupUnit.h"
#include "platform/Shell.h"
#include "platform/widgets/MessageBox.h"
#include "windows/AboutUnit.h"
#include "windows/DMUnit.h"
#include "windows/ShowLiveUpdateUnit.h"
#include "windows/StartUnit.h"

namespace {

void Click(QWidget* W, QPoint At) {
    const QPointF Global = W->mapToGlobal(At);
    QMouseEvent Press(QEvent::MouseButtonPress, At, Global, Qt::LeftButton, Qt::LeftButton, {});
    QMouseEvent Release(QEvent::MouseButtonRelease, At, Global, Qt::LeftButton, Qt::NoButton, {});
    QApplication::sendEvent(W, &Press);
    QApplication::sendEvent(W, &Release);
}

// Whether any pixel of the picture can be seen.
bool HasInk(const QPixmap& P) {
    const QImage I = P.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int Y = 0; Y < I.height(); ++Y)
        for (int X = 0; X < I.width(); ++X)
            if (qAlpha(I.pixel(X, Y)) > 0) return true;
    return false;
}

struct TListCase {
    const char* Name;
    TImageList TDM::*List;
    int Width, Height, Count;
    int FirstBlank;  // a picture that is empty on purpose, else -1
};

class ImageLists : public ::testing::TestWithParam<TListCase> {};

TEST_P(ImageLists, HaveTheirSizeCountAndPictures) {
    static TDM Dm;
    const TListCase& C = GetParam();
    const TImageList& L = Dm.*C.List;
    EXPECT_EQ(L.Width(), C.Width);
    EXPECT_EQ(L.Height(), C.Height);
    ASSERT_EQ(L.Count(), C.Count);
    for (int I = 0; I < L.Count(); ++I) {
        const QPixmap P = L.Pixmap(I);
        ASSERT_FALSE(P.isNull()) << I;
        EXPECT_EQ(P.size(), QSize(C.Width, C.Height)) << I;
        EXPECT_EQ(HasInk(P), I != C.FirstBlank) << I;
        EXPECT_FALSE(L.Icon(I).isNull()) << I;
    }
    // Normal and hover pictures of a pair differ.
    if (C.FirstBlank < 0 && C.Count % 2 == 0) {
        for (int I = 0; I + 1 < L.Count(); I += 2)
            EXPECT_NE(L.Pixmap(I).toImage(), L.Pixmap(I + 1).toImage()) << I;
    }
    EXPECT_TRUE(L.Pixmap(-1).isNull());
    EXPECT_TRUE(L.Pixmap(C.Count).isNull());
    EXPECT_TRUE(L.Icon(C.Count).isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ImageLists,
    ::testing::Values(TListCase{"DiskImageList", &TDM::DiskImageList, 16, 16, 4, -1},
                      TListCase{"DiskStatImageList", &TDM::DiskStatImageList, 16, 16, 3, 0},
                      TListCase{"DuplicateImages", &TDM::DuplicateImages, 16, 16, 2, -1},
                      TListCase{"MinMaxImageList", &TDM::MinMaxImageList, 22, 15, 4, -1},
                      TListCase{"UpdateRegs", &TDM::UpdateRegs, 74, 64, 12, -1},
                      TListCase{"MainImageList", &TDM::MainImageList, 113, 30, 6, -1},
                      TListCase{"SetImages", &TDM::SetImages, 45, 14, 2, -1},
                      TListCase{"MainImageList_big", &TDM::MainImageList_big, 237, 30, 8, -1}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(ImageList, AddScalesToTheListSize) {
    TImageList L(16, 16);
    QPixmap Big(32, 20);
    Big.fill(Qt::red);
    L.Add(Big);
    QPixmap Strip(40, 16);
    Strip.fill(Qt::blue);
    L.AddStrip(Strip);  // two whole pictures; the last 8 columns are no picture
    ASSERT_EQ(L.Count(), 3);
    for (int I = 0; I < 3; ++I) EXPECT_EQ(L.Pixmap(I).size(), QSize(16, 16));
    L.AddStrip(QPixmap());
    EXPECT_EQ(L.Count(), 3);
}

// ----------------------------------------------------------------- windows

class VersionTexts : public ::testing::TestWithParam<std::pair<std::string, std::string>> {
protected:
    void SetUp() override { Saved = AppVersion; }
    void TearDown() override { AppVersion = Saved; }
    std::string Saved;
};

TEST_P(VersionTexts, SplashAndAboutShowTheVersion) {
    AppVersion = GetParam().first;
    const QString V = QString::fromStdString(GetParam().second);
    TStartForm Splash;
    EXPECT_EQ(Splash.abVersion->text(), "Version: " + V);
    EXPECT_EQ(Splash.abHomeBtn->text(), QString(VendorSite));
    EXPECT_EQ(Splash.size(), QSize(458, 178));
    EXPECT_TRUE(Splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(Splash.windowFlags() & Qt::WindowStaysOnTopHint);
    TAboutForm About;
    EXPECT_EQ(About.windowTitle(), "About");
    EXPECT_EQ(About.abVersion->text(), "Version " + V);
    EXPECT_EQ(About.abHomeBtn->text(), QString(VendorSite));
    EXPECT_EQ(About.size(), QSize(457, 175));
    EXPECT_EQ(About.Label1->text(), Splash.Label1->text());
}

INSTANTIATE_TEST_SUITE_P(Table, VersionTexts,
                         ::testing::Values(std::make_pair(std::string("2.3.5.48"), std::string("2.3.5.48")),
                                           std::make_pair(std::string(""), std::string(""))));

TEST(Artwork, SharedPicturesAtTheirPlaces) {
    TStartForm Splash;
    TAboutForm About;
    for (QLabel* Logo : {Splash.Image1, static_cast<QLabel*>(About.Image1)}) {
        EXPECT_EQ(Logo->geometry(), QRect(8, 8, 81, 81));
        EXPECT_EQ(Logo->pixmap().size(), QSize(81, 81));
    }
    for (QLabel* Title : {Splash.Image2, About.Image2}) {
        EXPECT_EQ(Title->geometry(), QRect(98, 16, 278, 27));
        EXPECT_EQ(Title->pixmap().size(), QSize(278, 27));
    }
}

// Place, font and colour of every text of the two windows.
TEST(Artwork, TextsAtTheirPlacesInTheirFonts) {
    TStartForm Splash;
    TAboutForm About;
    struct {
        const char* What;
        QLabel* Label;
        QPoint At;
        int PixelSize;
        bool Bold, Underline;
        QColor Colour;
    } const Cases[] = {
        {"splash version", Splash.abVersion, {104, 56}, 13, true, false, QColor(55, 122, 223)},
        {"splash address", Splash.abHomeBtn, {104, 88}, 13, false, true, QColor(55, 122, 223)},
        {"splash notice", Splash.Label1, {104, 152}, 11, false, false, QColor(31, 95, 190)},
        {"about address", About.abHomeBtn, {104, 56}, 11, false, true, QColor(55, 122, 223)},
        {"about version", About.abVersion, {104, 80}, 13, true, false, QColor(55, 122, 223)},
        {"about notice", About.Label1, {104, 152}, 11, false, false, QColor(31, 95, 190)},
    };
    for (const auto& C : Cases) {
        C.Label->ensurePolished();
        EXPECT_EQ(C.Label->pos(), C.At) << C.What;
        EXPECT_EQ(C.Label->font().pixelSize(), C.PixelSize) << C.What;
        EXPECT_EQ(C.Label->font().bold(), C.Bold) << C.What;
        EXPECT_EQ(C.Label->font().underline(), C.Underline) << C.What;
        EXPECT_EQ(C.Label->palette().color(QPalette::WindowText), C.Colour) << C.What;
        // The whole text fits inside the window.
        EXPECT_TRUE(C.Label->parentWidget()->rect().contains(C.Label->geometry())) << C.What;
    }
    EXPECT_EQ(About.abHomeBtn->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(Splash.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(About.palette().color(QPalette::Window), QColor(Qt::white));
    // The splash's 2-pixel frame line along the whole edge.
    const QImage Shot = Splash.grab().toImage();
    for (const QPoint P : {QPoint(0, 0), QPoint(1, 90), QPoint(457, 177), QPoint(200, 176), QPoint(456, 3)})
        EXPECT_EQ(Shot.pixelColor(P), QColor(13, 87, 234)) << P.x() << "," << P.y();
    EXPECT_EQ(Shot.pixelColor(2, 120), QColor(Qt::white));
}

TEST(AboutWindow, LinkOpensTheSiteAndLogoCloses) {
    std::vector<std::string> Opened;
    plat::TShellHooks Hooks;
    Hooks.Open = [&](const std::string& T) { Opened.push_back(T); };
    plat::SetShellHooks(Hooks);
    TAboutForm About;
    About.show();
    Click(About.abHomeBtn, QPoint(3, 3));
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0], VendorSite);
    EXPECT_TRUE(About.isVisible());
    Click(About.Image1, QPoint(40, 40));
    EXPECT_FALSE(About.isVisible());
    plat::SetShellHooks({});
}

TEST(DialogButtons, AboutAndMessageBoxesOfferCloseOnly) {
    const auto CloseOnly = [](Qt::WindowFlags F) {
        return (F & Qt::WindowType_Mask) == Qt::Dialog && (F & Qt::CustomizeWindowHint) &&
               (F & Qt::WindowCloseButtonHint) && !(F & Qt::WindowMinMaxButtonsHint);
    };
    TAboutForm About;
    EXPECT_TRUE(CloseOnly(About.windowFlags())) << About.windowFlags();
    Qt::WindowFlags Box;
    QTimer::singleShot(0, [&] {
        if (auto* D = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            Box = D->windowFlags();
            D->done(0);
        }
    });
    plat::MessageBox("Done.", "Corvane", plat::MB_OK);
    EXPECT_TRUE(CloseOnly(Box)) << Box;
}

TEST(LiveUpdateWindow, LooksAsSpecified) {
    TShowLiveUpdateForm W;
    EXPECT_EQ(W.windowTitle(), "Live Update");
    EXPECT_EQ(W.size(), QSize(380, 166));
    EXPECT_TRUE(W.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(W.Label1->text(), "The newest version is testing , wait please...");
    EXPECT_TRUE(W.Label1->font().bold());
    EXPECT_EQ(W.Label1->font().pixelSize(), 16);
    EXPECT_EQ(W.palette().color(QPalette::Window), QColor(0xFD, 0xFD, 0xFD));
    // Seven frames of 200 ms, the last 500 ms, looping: the delays the file
    // gives, not the ones a playing movie measures.
    QImageReader Gif(":/animations/LiveUpdate.gif");
    EXPECT_EQ(Gif.imageCount(), 7);
    EXPECT_EQ(Gif.loopCount(), -1);  // for ever
    std::vector<int> Delays;
    for (QImage Frame = Gif.read(); !Frame.isNull(); Frame = Gif.read()) {
        EXPECT_EQ(Frame.size(), QSize(350, 80)) << Delays.size();
        Delays.push_back(Gif.nextImageDelay());
    }
    EXPECT_EQ(Delays, (std::vector<int>{200, 200, 200, 200, 200, 200, 500}));
    EXPECT_EQ(W.Animation->state(), QMovie::Running);
}

} // namespace
