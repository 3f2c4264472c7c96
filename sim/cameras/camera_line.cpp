#include "camera_line.h"

namespace sim::cameraline {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

// Inside quotes, \" and \\ stand for " and \.
std::optional<std::string> splitLine(std::string_view line, std::string& kind, std::vector<Word>& words)
{
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < line.size() && isBlank(line[i]))
            ++i;
    };
    skipBlanks();
    while (i < line.size() && !isBlank(line[i]))
        kind.push_back(line[i++]);
    if (kind.empty())
        return "the line is empty";
    for (;;) {
        skipBlanks();
        if (i == line.size())
            return std::nullopt;
        Word word;
        while (i < line.size() && !isBlank(line[i]) && line[i] != '=')
            word.key.push_back(line[i++]);
        if (i == line.size() || line[i] != '=' || word.key.empty())
            return "expected key=value at \"" + std::string(line.substr(i - std::min(i, word.key.size()))) + "\"";
        ++i;
        if (i < line.size() && line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < line.size() && (line[i] == '"' || line[i] == '\\'))
                    word.value.push_back(line[i++]);
                else
                    word.value.push_back(c);
            }
            if (!closed)
                return word.key + ": the quote is not closed";
            if (i < line.size() && !isBlank(line[i]))
                return word.key + ": text right after the closing quote";
        } else {
            while (i < line.size() && !isBlank(line[i])) {
                if (line[i] == '"')
                    return word.key + ": a quote inside an unquoted value";
                word.value.push_back(line[i++]);
            }
        }
        words.push_back(std::move(word));
    }
}

std::optional<std::uint64_t> parseNumber(std::string_view text, std::uint64_t max)
{
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        const int digit = hexDigit(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
            return std::nullopt;
        if (static_cast<unsigned>(digit) > max || value > (max - static_cast<unsigned>(digit)) / base)
            return std::nullopt;
        value = value * base + static_cast<unsigned>(digit);
    }
    return value;
}

std::optional<std::uint16_t> parseCode(std::string_view text)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    std::uint16_t value = 0;
    for (char c : text) {
        const int digit = hexDigit(c);
        if (digit < 0)
            return std::nullopt;
        value = static_cast<std::uint16_t>(value << 4 | digit);
    }
    return value;
}

}  // namespace sim::cameraline
