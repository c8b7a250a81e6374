#include "RowFilter.h"

#include "table/ResultTable.h"
#include "text/Numbers.h"

#include <array>

namespace RowFilter {

namespace {

struct Entry {
    const char16_t *text;
    FilterCriterion criterion;
};

using K = FilterCriterion::Kind;

// Drop-down order.
constexpr std::array<Entry, 11> entries{{
    {u"删除百度收录小于", {K::NumberAtMost, BaiduSite}},
    {u"删除百度反链小于", {K::NumberAtMost, BaiduDomain}},
    {u"删除GOOGLE收录小于", {K::NumberAtMost, GoogleSite}},
    {u"删除YAHOO收录小于", {K::NumberAtMost, YahooPages}},
    {u"删除YAHOO反链小于", {K::NumberAtMost, YahooLinksWww}},
    {u"删除YAHOO不带W小于", {K::NumberAtMost, YahooLinksBare}},
    {u"删除PR值小于", {K::NumberAtMost, PageRank}},
    {u"删除带-的域名", {K::DomainHasHyphen, kDomainColumn}},
    {u"删除不可以注册的域名", {K::AlreadyRegistered, Registration}},
    {u"删除首次存档晚于", {K::FirstArchiveAfter, ArchiveFirstYear}},
    {u"删除他后缀注册少于", {K::OtherSuffixesBelow, OtherSuffixes}},
}};

} // namespace

QStringList criterionTexts()
{
    QStringList texts;
    texts.reserve(qsizetype(entries.size()));
    for (const Entry &e : entries)
        texts.append(QString::fromUtf16(e.text));
    return texts;
}

std::optional<FilterCriterion> criterionFromText(const QString &text)
{
    for (const Entry &e : entries) {
        if (QStringView(text) == QStringView(e.text))
            return e.criterion;
    }
    return std::nullopt;
}

bool cellIsDeleted(const FilterCriterion &criterion, double threshold, const CellValue &cell)
{
    if (cell.state != CellState::Value)
        return false;
    switch (criterion.kind) {
    case FilterCriterion::Kind::NumberAtMost:
        return cell.number && *cell.number <= threshold;
    case FilterCriterion::Kind::DomainHasHyphen:
        return cell.text.contains(u'-');
    case FilterCriterion::Kind::AlreadyRegistered:
        return cell.text == kRegistered;
    case FilterCriterion::Kind::FirstArchiveAfter:
        return cell.text == kNoArchive || (cell.number && *cell.number > threshold);
    case FilterCriterion::Kind::OtherSuffixesBelow:
        // "taken/asked": the count before the slash.
        return cell.lead && *cell.lead < threshold;
    }
    return false;
}

bool rowIsDeleted(const FilterCriterion &criterion, double threshold, const ResultTable &table,
                  int row)
{
    return cellIsDeleted(criterion, threshold, table.cellValue(row, criterion.column));
}

bool rowIsDeleted(const FilterCriterion &criterion, double threshold,
                  std::span<const QString> cells, std::span<const CellState> states)
{
    const auto column = std::size_t(criterion.column);
    if (criterion.column < 0 || column >= cells.size() || column >= states.size())
        return false;
    return cellIsDeleted(criterion, threshold, CellValue::of(cells[column], states[column]));
}

qsizetype filterRows(ResultTable &table, const QString &criterionText, const QString &thresholdText)
{
    const std::optional<FilterCriterion> criterion = criterionFromText(criterionText);
    if (!criterion)
        return 0;
    const double threshold = Numbers::leadingNumber(thresholdText);
    return table.removeRowsWhere(
        [&](int row) { return rowIsDeleted(*criterion, threshold, table, row); });
}

} // namespace RowFilter
