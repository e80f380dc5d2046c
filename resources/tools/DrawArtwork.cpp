// Draws Corvane's pictures: the image lists as strips of equal pictures laid
// side by side, the logo, the title and the frames of the update animation.
//   corvane_drawartwork IMAGES_FOLDER FRAMES_FOLDER
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// One palette for every picture.
const QColor Blue(13, 87, 234);
const QColor BlueLight(74, 144, 248);
const QColor BlueDark(9, 60, 170);
const QColor Orange(240, 118, 34);
const QColor OrangeDark(196, 78, 14);
const QColor Green(46, 170, 90);
const QColor Red(218, 52, 52);
const QColor Ink(38, 50, 70);
const QColor Folder(246, 190, 60);
const QColor FolderDark(214, 150, 30);
const QColor Paper(255, 255, 255);
const QString Family = "DejaVu Sans";

using TDraw = std::function<void(QPainter&, int Index)>;

QImage NewImage(int W, int H) {
    QImage I(W, H, QImage::Format_ARGB32_Premultiplied);
    I.fill(Qt::transparent);
    return I;
}

void Prepare(QPainter& P) {
    P.setRenderHint(QPainter::Antialiasing);
    P.setRenderHint(QPainter::TextAntialiasing);
    P.setRenderHint(QPainter::SmoothPixmapTransform);
}

bool Save(const QImage& I, const QString& Path) {
    if (!I.save(Path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(Path));
        return false;
    }
    return true;
}

// A strip of Count pictures of W x H, each drawn by Draw in its own cell.
bool SaveStrip(const QString& Folder, const QString& Name, int W, int H, int Count, const TDraw& Draw) {
    QImage Strip = NewImage(W * Count, H);
    for (int I = 0; I < Count; ++I) {
        QImage Cell = NewImage(W, H);
        QPainter P(&Cell);
        Prepare(P);
        Draw(P, I);
        P.end();
        QPainter S(&Strip);
        S.drawImage(I * W, 0, Cell);
    }
    return Save(Strip, Folder + "/" + Name + ".png");
}

QFont Font(int PixelSize, bool Bold = true) {
    QFont F(Family);
    F.setPixelSize(PixelSize);
    F.setBold(Bold);
    F.setHintingPreference(QFont::PreferFullHinting);
    return F;
}

QLinearGradient Vertical(const QRectF& R, const QColor& Top, const QColor& Bottom) {
    QLinearGradient G(R.topLeft(), R.bottomLeft());
    G.setColorAt(0, Top);
    G.setColorAt(1, Bottom);
    return G;
}

// ------------------------------------------------------------- small glyphs

void TickBox(QPainter& P, bool Ticked, bool Enabled = true) {
    const QRectF R(2.5, 2.5, 11, 11);
    P.setPen(QPen(Enabled ? (Ticked ? BlueDark : QColor(120, 132, 150)) : QColor(190, 196, 204), 1));
    P.setBrush(Ticked ? QBrush(Vertical(R, BlueLight, Blue)) : QBrush(Vertical(R, Qt::white, QColor(232, 236, 242))));
    P.drawRoundedRect(R, 2, 2);
    if (Ticked) {
        P.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        P.setBrush(Qt::NoBrush);
        P.drawPolyline(QPolygonF({QPointF(5, 8.2), QPointF(7.2, 10.5), QPointF(11.2, 5.2)}));
    }
}

void Computer(QPainter& P) {
    const QRectF Screen(1.5, 2.5, 13, 9);
    P.setPen(QPen(Ink, 1));
    P.setBrush(QColor(200, 206, 216));
    P.drawRoundedRect(Screen, 1.5, 1.5);
    P.setPen(Qt::NoPen);
    P.setBrush(Vertical(Screen, BlueLight, Blue));
    P.drawRect(QRectF(3, 4, 10, 6));
    P.setBrush(QColor(120, 130, 146));
    P.drawRect(QRectF(7, 11.5, 2, 2));
    P.setBrush(Ink);
    P.drawRoundedRect(QRectF(4, 13.5, 8, 1.5), 0.7, 0.7);
}

void Drive(QPainter& P) {
    const QRectF Body(1.5, 5.5, 13, 7);
    P.setPen(QPen(QColor(90, 98, 112), 1));
    P.setBrush(Vertical(Body, QColor(236, 239, 244), QColor(168, 176, 190)));
    P.drawRoundedRect(Body, 2, 2);
    P.setPen(QPen(QColor(130, 138, 152), 1));
    P.drawLine(QPointF(3.5, 10.5), QPointF(9.5, 10.5));
    P.setPen(Qt::NoPen);
    P.setBrush(Green);
    P.drawEllipse(QRectF(11, 9, 2.2, 2.2));
}

void FolderGlyph(QPainter& P, bool Open) {
    P.setPen(QPen(FolderDark, 1));
    P.setBrush(FolderDark.lighter(115));
    QPainterPath Back;
    Back.moveTo(1.5, 3.5);
    Back.lineTo(6, 3.5);
    Back.lineTo(7.5, 5);
    Back.lineTo(14.5, 5);
    Back.lineTo(14.5, 13.5);
    Back.lineTo(1.5, 13.5);
    Back.closeSubpath();
    P.drawPath(Back);
    if (!Open) {
        const QRectF Front(1.5, 6.5, 13, 7);
        P.setBrush(Vertical(Front, Folder.lighter(112), Folder));
        P.drawRoundedRect(Front, 1, 1);
        return;
    }
    P.setPen(Qt::NoPen);
    P.setBrush(Paper);
    P.drawRect(QRectF(3.5, 5.5, 10, 5));
    P.setPen(QPen(FolderDark, 1));
    QPainterPath Front;
    Front.moveTo(3.5, 7.5);
    Front.lineTo(15.5, 7.5);
    Front.lineTo(13.5, 13.5);
    Front.lineTo(1.5, 13.5);
    Front.closeSubpath();
    P.setBrush(Vertical(Front.boundingRect(), Folder.lighter(118), Folder));
    P.drawPath(Front);
}

// ------------------------------------------------------- mode button icons

void PageIcon(QPainter& P, const QRectF& R, const QColor& Fill) {
    QPainterPath Page;
    const qreal Fold = R.width() * 0.3;
    Page.moveTo(R.left(), R.top());
    Page.lineTo(R.right() - Fold, R.top());
    Page.lineTo(R.right(), R.top() + Fold);
    Page.lineTo(R.right(), R.bottom());
    Page.lineTo(R.left(), R.bottom());
    Page.closeSubpath();
    P.setPen(QPen(QColor(40, 60, 100, 160), 1));
    P.setBrush(Fill);
    P.drawPath(Page);
    P.setPen(QPen(QColor(150, 170, 200), 1.4, Qt::SolidLine, Qt::RoundCap));
    for (qreal Y = R.top() + Fold + 3; Y < R.bottom() - 3; Y += 4)
        P.drawLine(QPointF(R.left() + 4, Y), QPointF(R.right() - 4, Y));
}

// Each icon fills a 36 x 36 box at its origin.
void BasicIcon(QPainter& P) {
    PageIcon(P, QRectF(4, 2, 20, 26), QColor(232, 240, 252));
    PageIcon(P, QRectF(12, 8, 20, 26), Paper);
}

void MailIcon(QPainter& P) {
    const QRectF R(2, 8, 32, 22);
    P.setPen(QPen(QColor(40, 60, 100, 160), 1));
    P.setBrush(Vertical(R, Paper, QColor(226, 234, 246)));
    P.drawRoundedRect(R, 3, 3);
    P.setPen(QPen(Blue, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    P.setBrush(Qt::NoBrush);
    P.drawPolyline(QPolygonF({QPointF(5, 11), QPointF(18, 21), QPointF(31, 11)}));
}

void MusicIcon(QPainter& P) {
    P.setPen(Qt::NoPen);
    P.setBrush(Paper);
    P.drawEllipse(QRectF(4, 23, 11, 8.5));
    P.drawEllipse(QRectF(20, 19, 11, 8.5));
    P.setPen(QPen(Paper, 3, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    P.drawLine(QPointF(13.5, 27), QPointF(13.5, 7));
    P.drawLine(QPointF(29.5, 23), QPointF(29.5, 3));
    QPainterPath Beam;
    Beam.moveTo(12, 5.5);
    Beam.lineTo(31, 1.5);
    Beam.lineTo(31, 7.5);
    Beam.lineTo(12, 11.5);
    Beam.closeSubpath();
    P.setPen(Qt::NoPen);
    P.drawPath(Beam);
}

void UpdateIcon(QPainter& P) {
    P.setPen(QPen(Paper, 4, Qt::SolidLine, Qt::FlatCap));
    P.setBrush(Qt::NoBrush);
    const QRectF R(6, 6, 24, 24);
    P.drawArc(R, 30 * 16, 150 * 16);
    P.drawArc(R, 210 * 16, 150 * 16);
    P.setPen(Qt::NoPen);
    P.setBrush(Paper);
    P.drawPolygon(QPolygonF({QPointF(33, 10), QPointF(33, 21), QPointF(23, 17)}));
    P.drawPolygon(QPolygonF({QPointF(3, 26), QPointF(3, 15), QPointF(13, 19)}));
}

void PhotoIcon(QPainter& P) {
    const QRectF R(2, 5, 32, 26);
    P.setPen(QPen(QColor(40, 60, 100, 160), 1));
    P.setBrush(Paper);
    P.drawRoundedRect(R, 3, 3);
    const QRectF Sky(5, 8, 26, 20);
    P.setPen(Qt::NoPen);
    P.setBrush(Vertical(Sky, QColor(140, 196, 255), QColor(210, 232, 255)));
    P.drawRect(Sky);
    P.setBrush(QColor(255, 200, 40));
    P.drawEllipse(QRectF(22, 10, 6, 6));
    P.setBrush(Green);
    P.drawPolygon(QPolygonF({QPointF(5, 28), QPointF(14, 16), QPointF(21, 24), QPointF(25, 20), QPointF(31, 28)}));
}

void CrushIcon(QPainter& P) {
    PageIcon(P, QRectF(9, 1, 18, 16), Paper);
    const QRectF Body(2, 15, 32, 9);
    P.setPen(QPen(QColor(40, 40, 40, 160), 1));
    P.setBrush(Vertical(Body, QColor(250, 250, 250), QColor(190, 198, 210)));
    P.drawRoundedRect(Body, 2, 2);
    P.setPen(Qt::NoPen);
    P.setBrush(Ink);
    P.drawRect(QRectF(7, 18.5, 22, 2));
    P.setPen(QPen(Paper, 2, Qt::SolidLine, Qt::FlatCap));
    for (int X = 10; X <= 26; X += 4) P.drawLine(QPointF(X, 25), QPointF(X + (X % 8 ? 1 : -1), 34));
}

// A header button: icon over its name, light on the dark header; the hover
// picture lifts it on a soft glass plate.
void ModeButton(QPainter& P, bool Hover, const QString& Name, const std::function<void(QPainter&)>& Icon) {
    const QRectF R(1.5, 1.5, 71, 61);
    if (Hover) {
        P.setPen(QPen(QColor(255, 255, 255, 170), 1));
        P.setBrush(Vertical(R, QColor(255, 255, 255, 110), QColor(255, 255, 255, 40)));
        P.drawRoundedRect(R, 8, 8);
    }
    P.save();
    P.translate(19, 4);
    // A soft shadow keeps the white icon readable on any header colour.
    P.setOpacity(0.35);
    P.translate(1, 1.5);
    QImage Shadow = NewImage(38, 38);
    {
        QPainter S(&Shadow);
        Prepare(S);
        Icon(S);
        S.setCompositionMode(QPainter::CompositionMode_SourceIn);
        S.fillRect(Shadow.rect(), QColor(0, 20, 60));
    }
    P.drawImage(0, 0, Shadow);
    P.setOpacity(1);
    P.translate(-1, -1.5);
    Icon(P);
    P.restore();
    P.setFont(Font(12));
    const QRectF Text(0, 42, 74, 18);
    P.setPen(QColor(0, 20, 60, 120));
    P.drawText(Text.translated(0.8, 1), Qt::AlignCenter, Name);
    P.setPen(Hover ? QColor(255, 255, 255) : QColor(238, 242, 250));
    P.drawText(Text, Qt::AlignCenter, Name);
}

// A bottom button: a glossy rounded bar with its caption.
void BarButton(QPainter& P, int W, int H, bool Hover, const QColor& Base, const QColor& Dark, const QString& Caption) {
    const QRectF R(0.5, 0.5, W - 1, H - 1);
    const QColor Top = Hover ? Base.lighter(128) : Base.lighter(112);
    const QColor Bottom = Hover ? Base : Dark;
    P.setPen(QPen(Dark.darker(115), 1));
    P.setBrush(Vertical(R, Top, Bottom));
    P.drawRoundedRect(R, 6, 6);
    P.setPen(QPen(QColor(255, 255, 255, Hover ? 150 : 110), 1));
    P.drawLine(QPointF(6, 1.5), QPointF(W - 6, 1.5));
    P.setFont(Font(13));
    P.setPen(QColor(0, 0, 0, 70));
    P.drawText(R.translated(0, 1), Qt::AlignCenter, Caption);
    P.setPen(Qt::white);
    P.drawText(R, Qt::AlignCenter, Caption);
}

// ----------------------------------------------------------------- strips

bool DrawLists(const QString& Out) {
    bool Ok = true;
    Ok &= SaveStrip(Out, "DiskImageList", 16, 16, 4, [](QPainter& P, int I) {
        if (I == 0) Computer(P);
        else if (I == 1) Drive(P);
        else FolderGlyph(P, I == 3);
    });
    // State 0 is "no state": an empty picture.
    Ok &= SaveStrip(Out, "DiskStatImageList", 16, 16, 3, [](QPainter& P, int I) {
        if (I > 0) TickBox(P, I == 2);
    });
    Ok &= SaveStrip(Out, "DuplicateImages", 16, 16, 2, [](QPainter& P, int I) { TickBox(P, I == 1); });
    Ok &= SaveStrip(Out, "MinMaxImageList", 22, 15, 4, [](QPainter& P, int I) {
        const bool Hover = I % 2 == 1, Close = I >= 2;
        const QRectF R(0.5, 0.5, 21, 14);
        P.setPen(QPen(QColor(255, 255, 255, Hover ? 220 : 140), 1));
        P.setBrush(Hover ? QBrush(Close ? Red : QColor(255, 255, 255, 80)) : QBrush(QColor(255, 255, 255, 40)));
        P.drawRoundedRect(R, 3, 3);
        P.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
        if (Close) {
            P.drawLine(QPointF(8, 4), QPointF(14, 11));
            P.drawLine(QPointF(14, 4), QPointF(8, 11));
        } else {
            P.drawLine(QPointF(7.5, 10), QPointF(14.5, 10));
        }
    });
    const std::vector<std::pair<QString, std::function<void(QPainter&)>>> Modes = {
        {"Basic", BasicIcon}, {"Outlook", MailIcon}, {"Music", MusicIcon},
        {"Update", UpdateIcon}, {"Photo", PhotoIcon}, {"Crush", CrushIcon}};
    Ok &= SaveStrip(Out, "UpdateRegs", 74, 64, 12, [&Modes](QPainter& P, int I) {
        ModeButton(P, I % 2 == 1, Modes[size_t(I / 2)].first, Modes[size_t(I / 2)].second);
    });
    const QStringList Small = {"Back", "Delete", "Export"};
    Ok &= SaveStrip(Out, "MainImageList", 113, 30, 6, [&Small](QPainter& P, int I) {
        const bool Delete = I / 2 == 1;
        BarButton(P, 113, 30, I % 2 == 1, Delete ? Orange : Blue, Delete ? OrangeDark : BlueDark, Small[I / 2]);
    });
    const QStringList Big = {"Scan Now", "Stop", "Finish", "Erase Now"};
    Ok &= SaveStrip(Out, "MainImageList_big", 237, 30, 8, [&Big](QPainter& P, int I) {
        const bool Warm = I / 2 == 1 || I / 2 == 3;
        BarButton(P, 237, 30, I % 2 == 1, Warm ? Orange : Blue, Warm ? OrangeDark : BlueDark, Big[I / 2]);
    });
    Ok &= SaveStrip(Out, "SetImages", 45, 14, 2, [](QPainter& P, int I) {
        const bool Hover = I == 1;
        const QRectF R(0.5, 0.5, 44, 13);
        P.setPen(QPen(BlueDark, 1));
        P.setBrush(Vertical(R, Hover ? BlueLight.lighter(110) : BlueLight, Hover ? BlueLight : Blue));
        P.drawRoundedRect(R, 6.5, 6.5);
        P.setFont(Font(9));
        P.setPen(Qt::white);
        P.drawText(R, Qt::AlignCenter, "Edit...");
    });
    return Ok;
}

// ---------------------------------------------------------- logo and title

void LogoMark(QPainter& P, qreal Size) {
    P.save();
    P.scale(Size / 81.0, Size / 81.0);
    const QRectF R(2, 2, 77, 77);
    QLinearGradient G(R.topLeft(), R.bottomRight());
    G.setColorAt(0, BlueLight);
    G.setColorAt(1, BlueDark);
    P.setPen(Qt::NoPen);
    P.setBrush(G);
    P.drawRoundedRect(R, 18, 18);
    // Gloss on the upper half.
    QPainterPath Gloss;
    Gloss.addRoundedRect(R.adjusted(3, 3, -3, -40), 15, 15);
    P.setBrush(Vertical(R.adjusted(3, 3, -3, -40), QColor(255, 255, 255, 70), QColor(255, 255, 255, 0)));
    P.drawPath(Gloss);
    // Two pages, one the copy of the other, and the tick that finds it.
    PageIcon(P, QRectF(15, 14, 30, 38), QColor(214, 228, 250));
    PageIcon(P, QRectF(30, 26, 30, 38), Paper);
    P.setPen(Qt::NoPen);
    P.setBrush(Green);
    P.drawEllipse(QRectF(44, 44, 26, 26));
    P.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    P.setBrush(Qt::NoBrush);
    P.drawPolyline(QPolygonF({QPointF(50.5, 57.5), QPointF(55.5, 62.5), QPointF(63.5, 51.5)}));
    P.restore();
}

bool DrawLogoAndTitle(const QString& Out) {
    QImage Logo = NewImage(81, 81);
    {
        QPainter P(&Logo);
        Prepare(P);
        LogoMark(P, 81);
    }
    QImage Title = NewImage(278, 27);
    {
        QPainter P(&Title);
        Prepare(P);
        QFont Big = Font(24);
        P.setFont(Big);
        P.setPen(Blue);
        const QString Name = "Corvane";
        P.drawText(QRectF(0, 0, 278, 27), Qt::AlignLeft | Qt::AlignVCenter, Name);
        const qreal X = QFontMetricsF(Big).horizontalAdvance(Name) + 8;
        P.setFont(Font(17, false));
        P.setPen(QColor(90, 110, 140));
        P.drawText(QRectF(X, 3, 278 - X, 24), Qt::AlignLeft | Qt::AlignVCenter, "Duplicate Finder");
    }
    return Save(Logo, Out + "/Logo.png") && Save(Title, Out + "/Title.png");
}

// -------------------------------------------------------- update animation

// The site's globe sends the update file, packet by packet, to the computer;
// the last frame shows it arrived.
QImage LiveUpdateFrame(int Frame) {
    QImage I(350, 80, QImage::Format_ARGB32_Premultiplied);
    I.fill(QColor(0xFD, 0xFD, 0xFD));
    QPainter P(&I);
    Prepare(P);

    // The globe.
    const QRectF Globe(18, 12, 56, 56);
    QRadialGradient G(Globe.center() - QPointF(10, 10), 44);
    G.setColorAt(0, BlueLight.lighter(120));
    G.setColorAt(1, BlueDark);
    P.setPen(Qt::NoPen);
    P.setBrush(G);
    P.drawEllipse(Globe);
    P.setPen(QPen(QColor(255, 255, 255, 150), 1.5));
    P.setBrush(Qt::NoBrush);
    P.drawEllipse(Globe.adjusted(14, 0, -14, 0));
    P.drawLine(QPointF(Globe.center().x(), Globe.top()), QPointF(Globe.center().x(), Globe.bottom()));
    P.drawLine(QPointF(Globe.left() + 3, Globe.center().y()), QPointF(Globe.right() - 3, Globe.center().y()));
    P.drawArc(Globe.adjusted(4, 12, -4, -36), 20 * 16, 140 * 16);
    P.drawArc(Globe.adjusted(4, 36, -4, -12), 200 * 16, 140 * 16);

    // The computer.
    const QRectF Screen(268, 14, 64, 44);
    P.setPen(QPen(Ink, 2));
    P.setBrush(QColor(210, 216, 226));
    P.drawRoundedRect(Screen, 4, 4);
    const QRectF Inner = Screen.adjusted(5, 5, -5, -5);
    P.setPen(Qt::NoPen);
    P.setBrush(Vertical(Inner, BlueLight, Blue));
    P.drawRect(Inner);
    P.setBrush(QColor(120, 130, 146));
    P.drawRect(QRectF(294, 58, 12, 6));
    P.setBrush(Ink);
    P.drawRoundedRect(QRectF(282, 64, 36, 4), 2, 2);

    // The track and its packets.
    const int Slots = 6;
    const qreal X0 = 92, X1 = 250, Y = 40;
    for (int S = 0; S < Slots; ++S) {
        const qreal X = X0 + (X1 - X0) * S / (Slots - 1);
        const bool Lit = Frame < 6 ? S <= Frame : true;
        const bool Head = Frame < 6 && S == Frame;
        const QRectF Box(X - 9, Y - 9, 18, 18);
        P.setPen(Qt::NoPen);
        P.setBrush(Lit ? (Head ? QBrush(Orange) : QBrush(Vertical(Box, BlueLight, Blue))) : QBrush(QColor(222, 228, 238)));
        P.drawRoundedRect(Head ? Box.adjusted(-2, -2, 2, 2) : Box, 4, 4);
    }

    if (Frame == 6) {
        P.setPen(Qt::NoPen);
        P.setBrush(Green);
        P.drawEllipse(QRectF(284, 20, 32, 32));
        P.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        P.setBrush(Qt::NoBrush);
        P.drawPolyline(QPolygonF({QPointF(292, 36), QPointF(298, 42), QPointF(308, 29)}));
    } else {
        // A download arrow on the screen.
        P.setPen(Qt::NoPen);
        P.setBrush(Qt::white);
        P.drawRect(QRectF(296, 22 + Frame, 8, 10));
        P.drawPolygon(QPolygonF({QPointF(290, 32 + Frame), QPointF(310, 32 + Frame), QPointF(300, 42 + Frame)}));
    }
    return I;
}

bool DrawAnimation(const QString& Frames) {
    bool Ok = true;
    for (int F = 0; F < 7; ++F) Ok &= Save(LiveUpdateFrame(F), QString("%1/LiveUpdate_%2.png").arg(Frames).arg(F));
    return Ok;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication App(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s IMAGES_FOLDER FRAMES_FOLDER\n", argv[0]);
        return 2;
    }
    const QString Images = QString::fromLocal8Bit(argv[1]);
    const QString Frames = QString::fromLocal8Bit(argv[2]);
    const bool Ok = DrawLists(Images) && DrawLogoAndTitle(Images) && DrawAnimation(Frames);
    return Ok ? 0 : 1;
}
