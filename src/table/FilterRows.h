#pragma once

#include <QString>

class ResultTable;

// Deletes, in one pass, every row that fails the criterion named by `criterionText` against
// the threshold `thresholdText`; returns how many rows went. An unknown criterion deletes none.
qsizetype FilterRows(ResultTable &table, const QString &criterionText,
                     const QString &thresholdText);
