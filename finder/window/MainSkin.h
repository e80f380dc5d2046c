#pragma once
// The main window's own skin pictures: the header and frame pieces drawn from
// the vector pictures under ":/main/", the searching animation and a plain
// button for a picture the data module lacks.
#include <QPixmap>
#include <QSize>
#include <QString>
#include <vector>

namespace skin {

// A picture of ":/main/<Name>" at exactly Size; a flat fill of the frame
// colour when the picture cannot be read.
QPixmap Picture(const QString& Name, const QSize& Size);

// The looping frames of the progress page's searching picture.
std::vector<QPixmap> SearchAnimation(const QSize& Size);

// A rounded button with its caption.
QPixmap FallbackButton(const QSize& Size, const QString& Caption, bool Hover);

} // namespace skin
