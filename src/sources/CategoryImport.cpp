#include "CategoryImport.h"

#include "table/ResultTable.h"

namespace Sources {

void importCategory(ResultTable &table, const QStringList &category)
{
    table.clear();
    // One model change for the whole category, never one per row.
    table.appendNames(category);
}

} // namespace Sources
