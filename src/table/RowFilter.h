#pragma once

#include "table/Columns.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <span>

class ResultTable;
struct CellValue;

// Which result rows the "delete rows" action removes. Pure decisions over cells as the grid
// stores them (CellValue): filterRows reads each row's one cell once, parsing nothing, in a
// single pass.
namespace RowFilter {

struct FilterCriterion {
    enum class Kind {
        NumberAtMost,      // the number in `column` is <= the threshold
        DomainHasHyphen,   // the domain contains '-'
        AlreadyRegistered, // the registration cell holds the answer "已被注册"
        // The first capture's year is later than the threshold; a name never captured ("无存档")
        // has the youngest history of all and goes too.
        FirstArchiveAfter,
        // Fewer of the label's other suffixes are taken ("3/8": 3) than the threshold.
        OtherSuffixesBelow,
    };
    Kind kind;
    int column;

    bool operator==(const FilterCriterion &) const = default;
};

// The drop-down entries, in the order the drop-down lists them.
QStringList criterionTexts();

// The criterion named by the drop-down's (editable) text: exact, case-sensitive equality with one
// of criterionTexts(). Anything else is nullopt, and then no row is deleted.
std::optional<FilterCriterion> criterionFromText(const QString &text);

// Whether the row whose cell in the criterion's column is `cell` goes. Only a cell holding a
// value can delete its row: for NumberAtMost the row goes when the value is a number <=
// threshold (equal values go too); a blank, failed or refused cell keeps it, whatever it reads.
// The threshold is used by NumberAtMost, FirstArchiveAfter and OtherSuffixesBelow.
bool cellIsDeleted(const FilterCriterion &criterion, double threshold, const CellValue &cell);
// The same for `table`'s row `row`.
bool rowIsDeleted(const FilterCriterion &criterion, double threshold, const ResultTable &table,
                  int row);
// The same for a row given as texts indexed by column; a column past the end of either span
// counts as unfilled.
bool rowIsDeleted(const FilterCriterion &criterion, double threshold,
                  std::span<const QString> cells, std::span<const CellState> states);

// Deletes, in one pass, every row that fails the criterion named by `criterionText` against the
// threshold `thresholdText` (read by Numbers::leadingNumber); returns how many rows went. An
// unknown criterion deletes none.
qsizetype filterRows(ResultTable &table, const QString &criterionText,
                     const QString &thresholdText);

} // namespace RowFilter
