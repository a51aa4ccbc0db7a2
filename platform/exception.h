#pragma once
// The program's general exception class and its one standard error report.

#include <functional>
#include <stdexcept>
#include <string>

class QObject;

// Every error the program raises on purpose derives from this class.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace platform {

// The standard error report: shows one error to the user. The window shows a
// message box, the terminal program prints a line; tests record the message.
using ErrorReport = std::function<void(const std::string& message, const QObject* source)>;

// Replaces the report; returns the previous one.
ErrorReport SetErrorReport(ErrorReport report);
void ShowException(const std::exception& error, const QObject* source = nullptr);

// The standard question: asks the user to agree to something. The window asks
// in a message box; tests answer it. With no one to ask, the answer is no.
using Question = std::function<bool(const std::string& question, const QObject* source)>;

// Replaces the question; returns the previous one.
Question SetQuestion(Question question);
bool AskUser(const std::string& question, const QObject* source = nullptr);

} // namespace platform
