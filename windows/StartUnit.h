#pragma once
// The splash window shown while the program starts.
#include <QLabel>
#include <QWidget>

class TStartForm : public QWidget {
public:
    explicit TStartForm(QWidget* Owner = nullptr);
    void FormCreate();

    QLabel* Image1;  // logo
    QLabel* Image2;  // title
    QLabel* abVersion;
    QLabel* abHomeBtn;
    QLabel* Label1;

protected:
    void paintEvent(QPaintEvent* E) override;
};

extern TStartForm* StartForm;
