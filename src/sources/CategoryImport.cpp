#include "CategoryImport.h"

#include "table/ResultTable.h"

namespace Sources {

void importCategory(ResultTable &table, const QStringList &category)
{
    table.clear();
    // One model change for the whole category, never one per row.
    QList<RowCells> rows;
    rows.reserve(category.size());
    for (qsizetype i = 0; i < category.size(); ++i) {
        RowCells row;
        row.fill(kBlankCell);
        row[kLabelColumn] = QString::number(i);
        row[kDomainColumn] = category[i];
        rows.append(std::move(row));
    }
    table.appendRows(std::move(rows));
}

} // namespace Sources
