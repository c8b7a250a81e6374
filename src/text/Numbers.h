#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// Reading numbers out of typed text, scraped cells and domain labels. Locale-independent: a
// user's locale must not change what a page's "1,230,000" means.
namespace Numbers {

inline bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The number a lenient leading-number parser reads from typed text: blanks (spaces and tabs)
// anywhere are skipped; then an optional sign, digits, an optional "." with digits and an
// optional exponent (e/E, optional sign, digits) are read up to the first character that cannot
// continue the number. ".5" is 0.5, "5." is 5, "1e" is 1, "1,000" is 1. No number at the start
// gives 0. A magnitude past double's range gives +-infinity, one below it 0.
double leadingNumber(QStringView text);

// A measurement cell as a number. Whitespace around it (the "4\n" of a PageRank cell) is
// ignored. The body is an optional sign, then digits written either plain ("1230000") or grouped
// by "," in threes ("1,230,000"), then optionally "." and digits. Anything else ("查询失败", "",
// "12,34", an exponent) is not a number: nullopt.
std::optional<double> cellNumber(QStringView cell);

// A domain label that reads as a number: ASCII digits ("007"), or digits, one exponent letter
// e/E/d/D and digits ("1e5", "12d3"). No sign, point, separator or blank; never an empty label.
bool isNumericLabel(QStringView label);

// The shortest text that reads back as `value`: plain digits from 1e-6 up to 1e21 (95, 3.5,
// 1000000), Qt's shortest scientific form outside (1e+21, 1.5e-07); zero is "0".
QString shortestDecimal(double value);

} // namespace Numbers
