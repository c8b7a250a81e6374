#include "FilterRows.h"

#include "table/ResultTable.h"
#include "table/RowFilter.h"

qsizetype FilterRows(ResultTable &table, const QString &criterionText, const QString &thresholdText)
{
    const std::optional<RowFilter::FilterCriterion> criterion =
        RowFilter::criterionFromText(criterionText);
    if (!criterion)
        return 0;
    const double threshold = RowFilter::leadingNumber(thresholdText);
    return table.removeRowsWhere([&](const ResultRow &row) {
        return RowFilter::rowIsDeleted(*criterion, threshold, row.cells);
    });
}
