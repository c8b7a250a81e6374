#include "Numbers.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace Numbers {

namespace {

// Longest cell body worth converting; no measurement comes anywhere near it.
constexpr qsizetype kMaxCellChars = 128;

qsizetype digitRun(QStringView text, qsizetype from)
{
    qsizetype end = from;
    while (end < text.size() && isAsciiDigit(text[end]))
        ++end;
    return end - from;
}

} // namespace

double leadingNumber(QStringView text)
{
    std::string t;
    t.reserve(std::size_t(std::min<qsizetype>(text.size(), 4096)));
    for (QChar c : text) {
        if (c == u' ' || c == u'\t')
            continue;
        // Only ASCII can continue a number; anything else ends it, so stop copying there.
        if (c.unicode() > 0x7f)
            break;
        t += char(c.unicode());
    }
    const std::size_t n = t.size();
    std::size_t i = 0;
    bool negative = false;
    if (i < n && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';

    const auto takeDigits = [&](std::string &to) {
        while (i < n && t[i] >= '0' && t[i] <= '9')
            to += t[i++];
    };
    std::string intPart;
    std::string fracPart;
    takeDigits(intPart);
    if (i < n && t[i] == '.') {
        ++i;
        takeDigits(fracPart);
    }
    if (intPart.empty() && fracPart.empty())
        return 0.0;

    // The exponent counts only when at least one digit follows the marker and its sign.
    bool negativeExponent = false;
    std::string expPart;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-'))
            negativeExponent = t[i++] == '-';
        takeDigits(expPart);
    }

    std::string magnitude = intPart.empty() ? std::string("0") : intPart;
    if (!fracPart.empty())
        magnitude += '.' + fracPart;
    if (!expPart.empty())
        magnitude += (negativeExponent ? "e-" : "e") + expPart;

    double value = 0.0;
    const auto result =
        std::from_chars(magnitude.data(), magnitude.data() + magnitude.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Overflow or underflow: the decimal exponent of the first significant digit says which.
        long long lead = 0;
        if (const auto nz = intPart.find_first_not_of('0'); nz != std::string::npos)
            lead = (long long)(intPart.size() - nz) - 1;
        else
            lead = -(long long)fracPart.find_first_not_of('0') - 1;
        long long exponent = 0;
        for (char d : expPart)
            exponent = std::min(exponent * 10 + (d - '0'), 1'000'000'000LL);
        if (negativeExponent)
            exponent = -exponent;
        value = lead + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

std::optional<double> cellNumber(QStringView cell)
{
    const QStringView body = cell.trimmed();
    const qsizetype n = body.size();
    if (n == 0 || n > kMaxCellChars)
        return std::nullopt;

    char buffer[kMaxCellChars + 1];
    qsizetype out = 0;
    qsizetype i = 0;
    if (body[i] == u'+' || body[i] == u'-') {
        if (body[i] == u'-')
            buffer[out++] = '-';
        ++i;
    }
    const auto copyDigits = [&]() {
        const qsizetype start = i;
        while (i < n && isAsciiDigit(body[i]))
            buffer[out++] = char(body[i++].unicode());
        return i - start;
    };

    const qsizetype lead = copyDigits();
    if (lead == 0)
        return std::nullopt;
    if (i < n && body[i] == u',') {
        // Grouped: a lead of one to three digits, then groups of exactly three.
        if (lead > 3)
            return std::nullopt;
        while (i < n && body[i] == u',') {
            ++i;
            if (copyDigits() != 3)
                return std::nullopt;
        }
    }
    if (i < n && body[i] == u'.') {
        buffer[out++] = '.';
        ++i;
        if (copyDigits() == 0)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;

    double value = 0.0;
    if (std::from_chars(buffer, buffer + out, value).ec == std::errc::result_out_of_range)
        return std::nullopt;
    return value;
}

bool isNumericLabel(QStringView label)
{
    const qsizetype mantissa = digitRun(label, 0);
    if (mantissa == 0)
        return false;
    if (mantissa == label.size())
        return true;
    const QChar e = label[mantissa];
    if (e != u'e' && e != u'E' && e != u'd' && e != u'D')
        return false;
    const qsizetype exponent = digitRun(label, mantissa + 1);
    return exponent > 0 && mantissa + 1 + exponent == label.size();
}

QString shortestDecimal(double value)
{
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0.0 || (magnitude >= 1e-6 && magnitude < 1e21);
    // "+ 0.0" turns a negative zero into zero, which reads the same.
    return QString::number(value + 0.0, plain ? 'f' : 'g', QLocale::FloatingPointShortest);
}

} // namespace Numbers
