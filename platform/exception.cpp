#include "platform/exception.h"

#include <iostream>

namespace platform {
namespace {

ErrorReport& currentReport()
{
    static ErrorReport report = [](const std::string& message, const QObject*) {
        std::cerr << message << '\n';
    };
    return report;
}

Question& currentQuestion()
{
    static Question question;
    return question;
}

} // namespace

ErrorReport SetErrorReport(ErrorReport report)
{
    ErrorReport previous = std::move(currentReport());
    currentReport() = std::move(report);
    return previous;
}

void ShowException(const std::exception& error, const QObject* source)
{
    if (currentReport())
        currentReport()(error.what(), source);
}

Question SetQuestion(Question question)
{
    Question previous = std::move(currentQuestion());
    currentQuestion() = std::move(question);
    return previous;
}

bool AskUser(const std::string& question, const QObject* source)
{
    return currentQuestion() && currentQuestion()(question, source);
}

} // namespace platform
