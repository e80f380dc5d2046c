#pragma once
// The artwork the splash and About windows share.
#include <QLabel>
#include <QString>

class QWidget;

// The maker's one-line notice under the splash and About texts.
extern const char* const MakerNotice;

// The logo (81 x 81 at 8, 8) and the title picture (278 x 27 at 98, 16).
QLabel* AddLogo(QWidget* Parent, QLabel* Logo);
QLabel* AddTitle(QWidget* Parent);
