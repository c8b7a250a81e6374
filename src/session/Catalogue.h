#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What the window's captions and varnel-cli's choices name, read from the parts that own them, so
// that neither face reaches below the session for a word.
namespace Catalogue {

inline constexpr int kDayCount = 5;
// The day button of today; the others lie up to two days either side.
inline constexpr int kToday = 2;
inline constexpr int kSuffixCount = 10;
inline constexpr int kCategoryCount = 7;
// The eight metrics of the original columns, then the archive and other-suffix metrics: the
// window's metric boxes. The RDAP metric follows them, in varnel-cli only.
inline constexpr int kMetricCount = 8;
inline constexpr int kMetricBoxCount = 10;
inline constexpr int kRdapMetric = 10;
inline constexpr int kLookupFieldCount = 5;
// The lookup's countdown field, which the window shows in red.
inline constexpr int kCountdownField = 4;

QString dayButtonCaption(int dayIndex);
// The suffix as a suffix button and varnel-cli's --suffix give it ("com", "net.cn").
QString suffixName(int suffixIndex);
QString categoryCaption(int category);
QString metricCaption(int metricIndex);
// The probe's short name, as varnel-cli's --metrics takes it; kRdapMetric included.
QString metricName(int metricIndex);
// The grid columns the metric fills (none for RDAP).
QList<int> metricColumns(int metricIndex);
QString lookupFieldCaption(int field);
// What a lookup value shows before any lookup.
QString lookupReset();
// The size-sort boxes: the input's sample, the output's start, and the sort itself.
QStringList sizeSortSample();
QStringList sizeSortInitialResult();
QStringList sortBySize(const QStringList &input);

} // namespace Catalogue
