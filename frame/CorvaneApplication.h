#pragma once
// The application object: an error that escapes an event handler is shown by
// the default exception display instead of ending the program.
#include <QApplication>

class TCorvaneApplication : public QApplication {
public:
    TCorvaneApplication(int& argc, char** argv);
    bool notify(QObject* Receiver, QEvent* Event) override;
};
