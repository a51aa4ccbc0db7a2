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

} // namespace platform
