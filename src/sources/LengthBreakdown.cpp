#include "LengthBreakdown.h"

#include "sources/Suffixes.h"
#include "text/Numbers.h"

namespace Sources {

namespace {

constexpr int kLongest = 5;
constexpr int kNumeric = 6;

// `over` is how many characters a name has past the shortest of its category 0; negative: none.
template <typename Over> Categories breakdown(const QStringList &list, Over over)
{
    Categories categories;
    for (const QString &name : list) {
        const qsizetype extra = over(name);
        if (extra >= 0)
            categories[extra < kLongest ? extra : kLongest].append(name);
        const qsizetype dot = name.indexOf(u'.');
        if (Numbers::isNumericLabel(dot < 0 ? QStringView(name) : QStringView(name).first(dot)))
            categories[kNumeric].append(name);
    }
    return categories;
}

} // namespace

Categories lengthBreakdown(const QStringList &list, int index)
{
    if (index < 0 || index >= kSourceCount)
        return {};
    const int base = suffix(index).baseLength;
    return breakdown(list, [base](const QString &name) { return name.size() - base; });
}

Categories labelBreakdown(const QStringList &names)
{
    constexpr qsizetype kShortest = 3;
    return breakdown(names, [](const QString &name) {
        const qsizetype dot = name.indexOf(u'.');
        return (dot < 0 ? name.size() : dot) - kShortest;
    });
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
