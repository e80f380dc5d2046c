#pragma once
// Small helpers shared by the secondary windows.
#include <QColor>
#include <QLabel>
#include <QString>
#include <functional>

class QWidget;

// A flat, opaque background of one colour.
void SetBackground(QWidget* W, const QColor& C);
// Centres a top-level window on the screen it is on.
void CentreOnScreen(QWidget* W);
// Shows a top-level window and paints it now, for windows that stay up while
// the GUI thread blocks (the splash, the update wait window).
void ShowAndPaintNow(QWidget* W);
// A font by family, pixel height and style.
QFont MakeFont(const QString& Family, int PixelSize, bool Bold = false, bool Underline = false);

// A picture or text that reacts to a left click, like the toolkit's image and
// label controls with an OnClick handler.
class TClickLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* E) override;
};
