#pragma once
// The picture-button control: an image that tells when the mouse enters and
// leaves it, besides the click and mouse-down of any control.
#include <QLabel>
#include <QPixmap>
#include <functional>

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TMouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button,
                                       Qt::KeyboardModifiers Shift, int X, int Y)>;

class TImageEx : public QLabel {
    Q_OBJECT
public:
    explicit TImageEx(QWidget* Owner = nullptr);

    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TNotifyEvent OnClick;
    TMouseEvent OnMouseDown;

    // The picture shown; a null pixmap clears it.
    void SetPicture(const QPixmap& Picture);
    void ClearPicture();
    QPixmap Picture() const { return FPicture; }
    // Cache key of the picture shown, so tests can tell pictures apart.
    qint64 PictureKey() const { return FPicture.isNull() ? 0 : FPicture.cacheKey(); }

protected:
    void enterEvent(QEnterEvent* Event) override;
    void leaveEvent(QEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    QPixmap FPicture;
    bool FPressed = false;
};
