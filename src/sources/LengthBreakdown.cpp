#include "LengthBreakdown.h"

#include "sources/Suffixes.h"
#include "text/Numbers.h"

namespace Sources {

namespace {

constexpr int kLongest = 5;
constexpr int kNumeric = 6;

} // namespace

Categories lengthBreakdown(const QStringList &list, int index)
{
    Categories categories;
    if (index < 0 || index >= kSourceCount)
        return categories;
    const int base = suffix(index).baseLength;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QString &name = list[i];
        const qsizetype over = name.size() - base;
        if (over >= 0)
            categories[over < kLongest ? over : kLongest].append(name);
        const qsizetype dot = name.indexOf(u'.');
        if (Numbers::isNumericLabel(dot < 0 ? QStringView(name) : QStringView(name).first(dot)))
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
