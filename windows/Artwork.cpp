#include "windows/Artwork.h"

#include <QPixmap>
#include <QWidget>

const char* const MakerNotice = "Copyright (C) 2026 Corvane. All rights reserved.";

QLabel* AddLogo(QWidget* Parent, QLabel* Logo) {
    Logo->setParent(Parent);
    Logo->setPixmap(QPixmap(":/images/Logo.png"));
    Logo->setAttribute(Qt::WA_TranslucentBackground);
    Logo->setGeometry(8, 8, 81, 81);
    return Logo;
}

QLabel* AddTitle(QWidget* Parent) {
    auto* Title = new QLabel(Parent);
    Title->setPixmap(QPixmap(":/images/Title.png"));
    Title->setGeometry(98, 16, 278, 27);
    return Title;
}
