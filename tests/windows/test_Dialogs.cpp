// The About window and the message boxes as dialogs; the update wait window's animation.
#include <QApplication>
#include <QDialog>
#include <QImageReader>
#include <QTimer>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/widgets/MessageBox.h"
#include "windows/AboutUnit.h"
#include "windows/ShowLiveUpdateUnit.h"

namespace {

// A close button and no minimise or maximise button, which would do nothing.
TEST(DialogButtons, AboutAndMessageBoxesOfferCloseOnly) {
    Qt::WindowFlags Box;
    QTimer::singleShot(0, [&] {
        if (auto* D = qobject_cast<QDialog*>(QApplication::activeModalWidget())) Box = D->windowFlags(), D->done(0);
    });
    plat::MessageBox("Done.", "Corvane", plat::MB_OK);
    const TAboutForm About;
    for (const auto& [Name, Flags] : {std::pair{"About", About.windowFlags()}, std::pair{"message box", Box}}) {
        SCOPED_TRACE(Name);
        EXPECT_EQ((Flags & Qt::WindowType_Mask).toInt(), Qt::Dialog);
        EXPECT_EQ((Flags & (Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint)).toInt(),
                  (Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint).toInt());
    }
}

// The animation plays its picture at the picture's own pace: seven frames,
// six of 200 ms and the last 500 ms, looping for ever. The delays are read
// from the file; a playing movie's own figures lose the time spent decoding.
TEST(LiveUpdateWindow, AnimationLoopsWithThePicturesOwnDelays) {
    TShowLiveUpdateForm W;
    const QMovie& Movie = *W.Animation;
    EXPECT_EQ(Movie.state(), QMovie::Running);
    EXPECT_EQ(Movie.speed(), 100);
    QImageReader Picture(Movie.fileName());
    EXPECT_EQ(Picture.loopCount(), -1);
    std::vector<int> Delays;
    while (!Picture.read().isNull()) Delays.push_back(Picture.nextImageDelay());
    EXPECT_EQ(Delays, (std::vector<int>{200, 200, 200, 200, 200, 200, 500}));
}

} // namespace
