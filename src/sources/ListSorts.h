#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// The two sorts behind the list-sort buttons.
namespace Sources {

// Orders `list` by length (QString::size()) exactly as this exchange procedure does:
//     for i in 0..n-1: for j in i..n-1: if len(w[i]) > len(w[j]) swap(w[i], w[j])
// Texts are never compared; the order among equal lengths is the procedure's, which is not
// that of a stable sort. O(n^2): kept as the reference the fast version is checked against.
void SortByLengthLiteral(QStringList &list);

// Same result as SortByLengthLiteral, without its O(n^2). Each pass of the procedure swaps w[i]
// along a chain of ever shorter elements; those are the first remaining element of each length
// that lies nearer than the first of every shorter length, found by one scan over the distinct
// lengths below w[i]'s. Time O(n * D), D the number of distinct lengths: a few dozen for domain
// names. Many distinct lengths (hundreds, as in lists of random texts) slow it down accordingly.
void SortByLength(QStringList &list);

// The decimal number at the start of `text` after any spaces and tabs: optional sign, digits
// with an optional fraction, an optional exponent ("  12abc" -> 12, "3.5x" -> 3.5, "-4" -> -4,
// "2e3" -> 2000). 0 when the text does not start with a number; numbers beyond the range of a
// double give an infinity.
double leadingNumber(QStringView text);

// The shortest text that reads back as `value`: plain digits from 1e-6 up to 1e21 (95, 3.5,
// 1000000, 0.000001), Qt's shortest scientific form outside (1e+21, 1.5e-07); zero is "0".
QString shortestDecimal(double value);

// The leading numbers of `input`, ascending, each written by shortestDecimal.
QStringList SortBySize(const QStringList &input);

// The texts the size-sort input box starts with, and those of its output box.
inline const QStringList kSizeSortSample = {
    QStringLiteral("95"),  QStringLiteral("54"),   QStringLiteral("26"),  QStringLiteral("47"),
    QStringLiteral("68"),  QStringLiteral("35"),   QStringLiteral("120"), QStringLiteral("56"),
    QStringLiteral("484"), QStringLiteral("1256"), QStringLiteral("782"), QStringLiteral("45968"),
    QStringLiteral("512"), QStringLiteral("488"),  QStringLiteral("456"), QStringLiteral("8948"),
    QStringLiteral("3123")};
inline const QStringList kSizeSortInitialResult = {QStringLiteral("5"), QStringLiteral("6"),
                                                   QStringLiteral("4")};

} // namespace Sources
