#include "LengthBreakdown.h"

#include "SourceLists.h"

namespace Sources {

namespace {

constexpr int kLongest = 5;
constexpr int kNumeric = 6;

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

qsizetype digitRun(QStringView text, qsizetype from)
{
    qsizetype end = from;
    while (end < text.size() && isAsciiDigit(text[end]))
        ++end;
    return end - from;
}

bool isExponentLetter(QChar c)
{
    return c == u'e' || c == u'E' || c == u'd' || c == u'D';
}

} // namespace

int baseLength(int index)
{
    static constexpr std::array<int, kSourceCount> lengths = {7, 8, 7, 7, 7, 10, 10, 10, 10, 6};
    return index >= 0 && index < kSourceCount ? lengths[index] : -1;
}

bool isNumericLabel(QStringView label)
{
    const qsizetype mantissa = digitRun(label, 0);
    if (mantissa == 0)
        return false;
    if (mantissa == label.size())
        return true;
    if (!isExponentLetter(label[mantissa]))
        return false;
    const qsizetype exponent = digitRun(label, mantissa + 1);
    return exponent > 0 && mantissa + 1 + exponent == label.size();
}

Categories LengthBreakdown(const QStringList &list, int index)
{
    Categories categories;
    const int base = baseLength(index);
    if (base < 0)
        return categories;
    const qsizetype examined =
        (index == Biz || index == Cn) ? std::max<qsizetype>(list.size() - 1, 0) : list.size();
    for (qsizetype i = 0; i < examined; ++i) {
        const QString &name = list[i];
        const qsizetype over = name.size() - base;
        if (over >= 0)
            categories[over < kLongest ? over : kLongest].append(name);
        const qsizetype dot = name.indexOf(u'.');
        if (isNumericLabel(dot < 0 ? QStringView(name) : QStringView(name).first(dot)))
            categories[kNumeric].append(name);
    }
    return categories;
}

QString categoryCaption(int category)
{
    static const std::array<QString, kCategoryCount> captions = {
        QStringLiteral("三位域名"), QStringLiteral("四位域名"), QStringLiteral("五位域名"),
        QStringLiteral("六位域名"), QStringLiteral("七位域名"), QStringLiteral("八位以上"),
        QStringLiteral("数字域名")};
    return category >= 0 && category < kCategoryCount ? captions[category] : QString();
}

} // namespace Sources
