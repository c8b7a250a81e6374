#pragma once

#include "table/Columns.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <span>

// Which result rows the "delete rows" action removes. Pure decisions over cell texts; the table
// model calls rowIsDeleted() once per row in a single pass, so it stays allocation-free.
namespace RowFilter {

struct FilterCriterion {
    enum class Kind {
        NumberAtMost,     // the number in `column` is <= the threshold
        DomainHasHyphen,  // the domain contains '-'
        AlreadyRegistered // the registration cell reads exactly "已被注册"
    };
    Kind kind;
    int column;

    bool operator==(const FilterCriterion &) const = default;
};

// The nine drop-down entries, in the order the drop-down lists them.
QStringList criterionTexts();

// The criterion named by the drop-down's (editable) text: exact, case-sensitive equality with one
// of criterionTexts(). Anything else is nullopt, and then no row is deleted.
std::optional<FilterCriterion> criterionFromText(const QString &text);

// The threshold typed next to the drop-down, read the way a lenient leading-number parser does:
// every U+0020 blank is dropped first (other whitespace is not, so a tab ends the number); then
// an optional sign, digits, an optional "." with digits, an optional exponent (e/E, optional
// sign, digits) are read up to the first character that cannot continue the number. Digits may
// stand on either side of the point alone (".5" is 0.5, "5." is 5); a dangling exponent marker is
// ignored ("1e" is 1). No number at the start gives 0. A magnitude past double's range gives
// +-infinity, one below it 0. Locale-independent: "1,000" is 1.
double leadingNumber(QStringView text);

// A measurement cell as a number. Whitespace around it (spaces, tabs, line feeds, e.g. the "4\n"
// of a PageRank cell) is ignored. The body is an optional sign, then digits written either plain
// ("1230000") or grouped by "," in threes ("1,230,000"), then optionally "." and digits.
// Anything else, including "查询失败", "", a misplaced separator ("12,34") or an exponent, is
// not a number: nullopt. Locale-independent.
std::optional<double> cellNumber(QStringView cell);

// Whether the row goes. `cells` is the row indexed by Column; a column past its end counts as
// unfilled. For NumberAtMost: an unfilled cell (exactly " ") or one that is not a number keeps
// the row, otherwise the row goes when number <= threshold (equal values go too). The threshold
// is used by NumberAtMost only.
bool rowIsDeleted(const FilterCriterion &criterion, double threshold,
                  std::span<const QString> cells);

} // namespace RowFilter
