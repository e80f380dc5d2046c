// The Qt half of the metafile reader: draws the converted SVG on a uniform
// white work bitmap of the metafile's size.
#include "finder/pictures/Metafile.h"

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

bool LoadMetafileData(const unsigned char* Data, size_t Size, QImage& Bitmap, std::string* Error,
                      long long MaxPixels)
{
    Bitmap = QImage();
    TMetafileSvg Svg;
    std::string Message;
    const bool Converted = IsEmfData(Data, Size) ? EmfToSvg(Data, Size, Svg, Message, MaxPixels)
                                                 : WmfToSvg(Data, Size, Svg, Message, MaxPixels);
    if (!Converted) {
        if (Error) *Error = Message;
        return false;
    }
    // Too small to compare: the caller sees the size and refuses it.
    if (Svg.Width < 2 || Svg.Height < 2) {
        Bitmap = QImage(std::max(Svg.Width, 1), std::max(Svg.Height, 1), QImage::Format_RGB888);
        Bitmap.fill(Qt::white);
        return true;
    }
    QSvgRenderer Renderer(QByteArray(Svg.Svg.data(), qsizetype(Svg.Svg.size())));
    if (!Renderer.isValid()) {
        if (Error) *Error = "metafile error: the converted drawing cannot be read";
        return false;
    }
    QImage Canvas(Svg.Width, Svg.Height, QImage::Format_RGB32);
    if (Canvas.isNull()) {
        if (Error) *Error = "metafile error: out of memory";
        return false;
    }
    Canvas.fill(Qt::white);
    QPainter Painter(&Canvas);
    Renderer.render(&Painter, QRectF(0, 0, Svg.Width, Svg.Height));
    Painter.end();
    Bitmap = Canvas.convertToFormat(QImage::Format_RGB888);
    return !Bitmap.isNull();
}
