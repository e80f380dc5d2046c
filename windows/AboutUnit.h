#pragma once
// The About window, opened modally from the main window.
#include <QDialog>
#include <QLabel>

#include "windows/WindowHelpers.h"

class TAboutForm : public QDialog {
public:
    explicit TAboutForm(QWidget* Owner = nullptr);
    void FormCreate();
    void FormShow() {}
    void abHomeBtnClick();
    void Image1Click();

    // The address the link shows and opens.
    static const char* const HomePage;

    TClickLabel* Image1;  // logo; a click closes the window
    QLabel* Image2;       // title
    TClickLabel* abHomeBtn;
    QLabel* abVersion;
    QLabel* Label1;
};
