#include "Catalogue.h"

#include "lookup/DetailLookup.h"
#include "probes/Probes.h"
#include "probes/QueryRun.h"
#include "sources/DeletionLists.h"
#include "sources/LengthBreakdown.h"
#include "sources/ListSorts.h"
#include "sources/Suffixes.h"

static_assert(Catalogue::kDayCount == DeletionLists::kDayCount);
static_assert(Catalogue::kToday == DeletionLists::kToday);
static_assert(Catalogue::kSuffixCount == Sources::kSourceCount);
static_assert(Catalogue::kCategoryCount == Sources::kCategoryCount);
static_assert(Catalogue::kMetricCount == Probes::kMetricCount);
static_assert(Catalogue::kMetricBoxCount == Probes::kMetricBoxCount);
static_assert(Catalogue::kRdapMetric == Probes::kRdapMetric);
static_assert(Catalogue::kLookupFieldCount == DetailLookup::kFieldCount);
static_assert(Catalogue::kCountdownField == int(DetailLookup::Field::Countdown));

namespace Catalogue {

QString dayButtonCaption(int dayIndex)
{
    return DeletionLists::dayButtonCaption(dayIndex);
}

QString suffixName(int suffixIndex)
{
    return Sources::suffix(suffixIndex).caption.toString();
}

QString categoryCaption(int category)
{
    return Sources::categoryCaption(category);
}

QString metricCaption(int metricIndex)
{
    return Probes::metric(metricIndex).caption;
}

QString metricName(int metricIndex)
{
    return Probes::metric(metricIndex).probe;
}

QList<int> metricColumns(int metricIndex)
{
    const MetricChoice &m = Probes::metric(metricIndex);
    QList<int> columns;
    for (const std::optional<ProbeColumn> &column : {m.column, m.secondColumn}) {
        if (column)
            columns << *column;
    }
    return columns;
}

QString lookupFieldCaption(int field)
{
    return DetailLookup::fieldCaption(DetailLookup::Field(field));
}

QString lookupReset()
{
    return DetailLookup::kReset;
}

QStringList sizeSortSample()
{
    return Sources::kSizeSortSample;
}

QStringList sizeSortInitialResult()
{
    return Sources::kSizeSortInitialResult;
}

QStringList sortBySize(const QStringList &input)
{
    return Sources::sortBySize(input);
}

} // namespace Catalogue
