#include "finder/window/MainSkin.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>
#include <cmath>

namespace skin {

namespace {
const QColor Blue(13, 87, 234);
const QColor BlueDark(9, 60, 170);
const QColor Paper(255, 255, 255);
const QColor Line(126, 166, 230);
} // namespace

QPixmap Picture(const QString& Name, const QSize& Size) {
    QPixmap Out(Size);
    Out.fill(BlueDark);
    QSvgRenderer Renderer(":/main/" + Name);
    if (!Renderer.isValid()) return Out;
    Out.fill(Qt::transparent);
    QPainter P(&Out);
    P.setRenderHint(QPainter::Antialiasing);
    P.setRenderHint(QPainter::TextAntialiasing);
    Renderer.render(&P, QRectF(QPointF(0, 0), QSizeF(Size)));
    return Out;
}

namespace {

void Page(QPainter& P, const QRectF& R) {
    QLinearGradient G(R.topLeft(), R.bottomLeft());
    G.setColorAt(0, Paper);
    G.setColorAt(1, QColor(220, 231, 248));
    P.setPen(QPen(QColor(111, 141, 184), 1));
    P.setBrush(G);
    P.drawRoundedRect(R, 4, 4);
    P.setPen(QPen(Line, 2.2, Qt::SolidLine, Qt::RoundCap));
    for (int I = 0; I < 4; ++I) {
        const double Y = R.top() + 14 + I * 9;
        P.drawLine(QPointF(R.left() + 9, Y), QPointF(R.right() - (I == 3 ? 18 : 9), Y));
    }
}

} // namespace

std::vector<QPixmap> SearchAnimation(const QSize& Size) {
    constexpr int Frames = 12;
    std::vector<QPixmap> Out;
    const double W = Size.width(), H = Size.height();
    for (int F = 0; F < Frames; ++F) {
        QPixmap Pic(Size);
        Pic.fill(Qt::white);
        QPainter P(&Pic);
        P.setRenderHint(QPainter::Antialiasing);
        // Three pages side by side, the middle two alike.
        const double PW = 46, PH = 58, Top = H / 2 - PH / 2 - 6;
        for (int I = 0; I < 3; ++I) Page(P, QRectF(W / 2 - 85 + I * 62, Top, PW, PH));
        // A magnifier travelling over them on an ellipse.
        const double A = 2 * M_PI * F / Frames;
        const QPointF C(W / 2 + std::cos(A) * 62, Top + PH / 2 + std::sin(A) * 12);
        P.setPen(QPen(QColor(38, 50, 70), 6, Qt::SolidLine, Qt::RoundCap));
        P.drawLine(C + QPointF(14, 14), C + QPointF(30, 30));
        P.setPen(QPen(BlueDark, 4));
        P.setBrush(QColor(190, 220, 255, 110));
        P.drawEllipse(C, 18, 18);
        P.setPen(QPen(QColor(255, 255, 255, 200), 2, Qt::SolidLine, Qt::RoundCap));
        P.setBrush(Qt::NoBrush);
        P.drawArc(QRectF(C.x() - 12, C.y() - 12, 24, 24), 100 * 16, 70 * 16);
        // Progress dots along the foot.
        for (int D = 0; D < 5; ++D) {
            const bool On = D == (F / 2) % 5;
            P.setPen(Qt::NoPen);
            P.setBrush(On ? Blue : QColor(200, 212, 232));
            P.drawEllipse(QPointF(W / 2 - 32 + D * 16, H - 10), On ? 4.5 : 3.5, On ? 4.5 : 3.5);
        }
        Out.push_back(Pic);
    }
    return Out;
}

QPixmap FallbackButton(const QSize& Size, const QString& Caption, bool Hover) {
    QPixmap Pic(Size);
    Pic.fill(Qt::transparent);
    QPainter P(&Pic);
    P.setRenderHint(QPainter::Antialiasing);
    const QRectF R(0.5, 0.5, Size.width() - 1, Size.height() - 1);
    QLinearGradient G(R.topLeft(), R.bottomLeft());
    G.setColorAt(0, Hover ? Blue.lighter(130) : Blue.lighter(112));
    G.setColorAt(1, Hover ? Blue : BlueDark);
    P.setPen(QPen(BlueDark.darker(115), 1));
    P.setBrush(G);
    P.drawRoundedRect(R, 5, 5);
    QFont F("DejaVu Sans");
    F.setPixelSize(std::max(9, std::min(13, Size.height() - 6)));
    F.setBold(true);
    P.setFont(F);
    P.setPen(Qt::white);
    P.drawText(R, Qt::AlignCenter, Caption);
    return Pic;
}

} // namespace skin
