#include "store/DecimalText.h"

#include <cstdio>

namespace quolva::store {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

constexpr std::size_t kMaxQuotedBytes = 40;

} // namespace

std::string_view StripBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

DecimalParse TryParseDecimalInt32(std::string_view text)
{
    std::string_view digits = StripBlanks(text);
    if (digits.empty())
        return {0, DecimalTextProblem::Empty};
    bool negative = false;
    if (digits.front() == '+' || digits.front() == '-') {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty())
        return {0, DecimalTextProblem::NotANumber};
    // The magnitude may reach 2^31 for the most negative value; stop as soon as it passes that so a
    // long run of digits cannot overflow the accumulator.
    constexpr std::int64_t kLimit = std::int64_t{1} << 31;
    std::int64_t magnitude = 0;
    bool tooLarge = false;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return {0, DecimalTextProblem::NotANumber};
        if (!tooLarge) {
            magnitude = magnitude * 10 + (c - '0');
            tooLarge = magnitude > kLimit;
        }
    }
    if (tooLarge || (!negative && magnitude == kLimit))
        return {0, DecimalTextProblem::OutOfRange};
    return {static_cast<std::int32_t>(negative ? -magnitude : magnitude), DecimalTextProblem::None};
}

std::string QuoteForMessage(std::string_view text)
{
    std::string shown = "\"";
    std::size_t count = 0;
    for (char c : text) {
        if (count == kMaxQuotedBytes) {
            // Do not leave half of a UTF-8 sequence behind.
            while (!shown.empty() && (static_cast<unsigned char>(shown.back()) & 0xC0) == 0x80)
                shown.pop_back();
            if (!shown.empty() && static_cast<unsigned char>(shown.back()) >= 0xC0)
                shown.pop_back();
            shown += "...";
            break;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '"' || c == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        } else {
            shown += c;
        }
        ++count;
    }
    shown += '"';
    return shown;
}

std::string DecimalTextMessage(std::string_view text, std::string_view what, DecimalTextProblem problem)
{
    std::string message(what);
    switch (problem) {
    case DecimalTextProblem::Empty:
        message += " is empty, not a number";
        if (!text.empty())
            message += ": " + QuoteForMessage(text);
        break;
    case DecimalTextProblem::NotANumber:
        message += " is not a whole number: " + QuoteForMessage(text);
        break;
    case DecimalTextProblem::OutOfRange:
        message += " is outside the 32-bit range: " + QuoteForMessage(text);
        break;
    case DecimalTextProblem::None:
        message += " is a valid number";
        break;
    }
    return message;
}

std::int32_t ParseDecimalInt32(std::string_view text, std::string_view what)
{
    const DecimalParse parsed = TryParseDecimalInt32(text);
    if (!parsed.Ok())
        throw DecimalTextError(DecimalTextMessage(text, what, parsed.problem));
    return parsed.value;
}

} // namespace quolva::store
