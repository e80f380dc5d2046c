#include "frame/CorvaneApplication.h"

#include <exception>

#include "platform/MessageBox.h"

TCorvaneApplication::TCorvaneApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TCorvaneApplication::notify(QObject* Receiver, QEvent* Event) {
    try {
        return QApplication::notify(Receiver, Event);
    } catch (const std::exception& E) {
        plat::ShowException(E);
    } catch (...) {
        plat::ShowException(std::string("An unknown error occurred."));
    }
    return false;
}
