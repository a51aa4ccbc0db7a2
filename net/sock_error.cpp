#include "net/sock_error.h"

#include "net/sock_error_texts.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::size_t kMaxTextLength = 255;
constexpr int kStringTableOffset = 5000;

std::string cut(std::string text)
{
    if (text.size() > kMaxTextLength)
        text.resize(kMaxTextLength);
    return text;
}

// Replaces the first "%d" and the first "%s" (in any letter case) of a context
// text; every other character is kept as it stands.
std::string formatContext(const std::string& pattern, int number, const std::string& text)
{
    std::string result;
    bool numberDone = false;
    bool textDone = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(pattern[i + 1])));
            if (kind == 'D' && !numberDone) {
                result += std::to_string(number);
                numberDone = true;
                ++i;
                continue;
            }
            if (kind == 'S' && !textDone) {
                result += text;
                textDone = true;
                ++i;
                continue;
            }
        }
        result += pattern[i];
    }
    return result;
}

} // namespace

std::string SocketErrorText(int error)
{
    if (error == 0)
        return {};
    const std::string_view entry = SocketStringTable(error + kStringTableOffset);
    if (entry.empty())
        return cut("Unknown Error " + std::to_string(error));
    return cut(std::string(entry));
}

std::string SocketErrorMessage(int error, int context)
{
    const std::string contextText = SocketErrorText(context);
    if (contextText.empty())
        return cut(SocketErrorText(error));

    std::string upper = contextText;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const std::size_t numberAt = upper.find("%D");
    const std::size_t textAt = upper.find("%S");
    if (numberAt == std::string::npos && textAt == std::string::npos)
        return cut(contextText);
    // Every context text of the table has "%d" before "%s"; the number and the
    // error's text are substituted at their own placeholders either way.
    return cut(formatContext(contextText, error, SocketErrorText(error)));
}

void RaiseSocketError(int error, int context)
{
    throw ESockError(SocketErrorMessage(error, context));
}
