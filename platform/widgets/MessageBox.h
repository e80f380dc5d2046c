#pragma once
// Every message box goes through MessageBox, so that tests can record the
// box and give the answer.
#include <exception>
#include <functional>
#include <string>

namespace plat {

constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_OKCANCEL = 0x01;
constexpr unsigned MB_YESNO = 0x04;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr unsigned MB_DEFBUTTON2 = 0x100;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

using TMessageBoxHandler =
    std::function<int(const std::string& Text, const std::string& Caption, unsigned Flags)>;

int MessageBox(const std::string& Text, const std::string& Caption, unsigned Flags);

// nullptr restores the real box (QMessageBox).
void SetMessageBoxHandler(TMessageBoxHandler Handler);

// The silent abort: an error that ends the current action and shows nothing.
class EAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

// The default exception display: the error's text in a box captioned with
// the application title.
void ShowException(const std::exception& E);  // shows nothing for EAbort
void ShowException(const std::string& Text);

} // namespace plat
