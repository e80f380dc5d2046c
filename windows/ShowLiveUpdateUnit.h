#pragma once
// The wait window of a requested update check: modeless, on top, painted once
// before the blocking download.
#include <QLabel>
#include <QMovie>
#include <QWidget>

class TShowLiveUpdateForm : public QWidget {
public:
    explicit TShowLiveUpdateForm(QWidget* Owner = nullptr);
    // Shows the window and paints it now: no message loop runs while the
    // download blocks.
    void ShowAndPaint();

    QLabel* imgLiveUpdate;
    QMovie* Animation;
    QLabel* Label1;
};

// The wait window while a requested check runs, else nullptr.
extern TShowLiveUpdateForm* ShowLiveUpdateForm;
