#include "frame/CorvaneApplication.h"

#include <QCloseEvent>

#include <exception>

#include "platform/widgets/MessageBox.h"

TCorvaneApplication::TCorvaneApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TCorvaneApplication::notify(QObject* Receiver, QEvent* Event) {
    const bool MainFormClosing = Event->type() == QEvent::Close && FMainForm && Receiver == FMainForm.data();
    bool Result = false;
    try {
        Result = QApplication::notify(Receiver, Event);
    } catch (const std::exception& E) {
        plat::ShowException(E);
    } catch (...) {
        plat::ShowException(std::string("An unknown error occurred."));
    }
    // A close the window accepted ends the program; one it refused does not.
    if (MainFormClosing && Event->isAccepted()) quit();
    return Result;
}
