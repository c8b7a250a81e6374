#include "CategoryImport.h"

#include "table/ResultTable.h"

void CategoryImport(ResultTable &table, const QStringList &category)
{
    table.ResetTable();
    // One model change for the whole category, never one per row.
    QList<std::array<QString, kColumnCount>> rows;
    rows.reserve(category.size());
    for (qsizetype i = 0; i < category.size(); ++i) {
        std::array<QString, kColumnCount> row;
        row.fill(kBlankCell);
        row[0] = QString::number(i);
        row[kDomainColumn] = category[i];
        rows.append(std::move(row));
    }
    table.AddRows(std::move(rows));
}
