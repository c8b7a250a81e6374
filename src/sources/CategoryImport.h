#pragma once

#include <QStringList>

class ResultTable;

namespace Sources {

// Rebuilds the result grid with one row per name of a category: labels "0".."n-1", the name,
// and eight blank metric cells. The rows get new identities, so a probe still waiting for a
// page of the old table never writes into the new one.
void importCategory(ResultTable &table, const QStringList &category);

} // namespace Sources
