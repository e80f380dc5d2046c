#pragma once
// The application object: an error that escapes an event handler is shown by
// the default exception display instead of ending the program.
#include <QApplication>
#include <QPointer>
#include <QWidget>

class TCorvaneApplication : public QApplication {
public:
    TCorvaneApplication(int& argc, char** argv);
    bool notify(QObject* Receiver, QEvent* Event) override;

    // Application.Title: the name message boxes of errors carry. It is not
    // made the display name, which the window system would append to every
    // caption ("About — Corvane").
    void SetTitle(const QString& Title) { setApplicationName(Title); }

    // The message loop ends when this window closes, also while other
    // top-level windows (the update wait window) are still open.
    void SetMainForm(QWidget* Form) { FMainForm = Form; }

private:
    QPointer<QWidget> FMainForm;
};
