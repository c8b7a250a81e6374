#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>

// One suffix's list split by name length and by numeric names.
namespace Sources {

// Categories 0..4: the name is exactly baseLength(index) + 0..4 characters long (a trailing CR
// counts); 5: longer still; 6: numeric label (isNumericLabel of the part before the first ".").
// A name shorter than the base length has no length category but may still be numeric.
inline constexpr int kCategoryCount = 7;
using Categories = std::array<QStringList, kCategoryCount>;

// Length of the shortest name the length categories count: a three-letter label plus its
// suffix and dot (e.g. 7 for com, 10 for net.cn). -1 for an index outside 0..9.
int baseLength(int index);

// True for a label of ASCII digits ("007"), or ASCII digits, one exponent letter e/E/d/D and
// ASCII digits ("1e5", "12d3"). Nothing else counts: no sign, no decimal point, no separators,
// no blanks (a trailing CR makes a label non-numeric), no empty label.
bool isNumericLabel(QStringView label);

// The categories of `list`, the list of suffix `index`. Entries keep their text and order and
// duplicates stay. The biz and cn lists end with the file's trailing empty piece, so their last
// entry is never examined. An index outside 0..9 gives empty categories.
Categories LengthBreakdown(const QStringList &list, int index);

// The fixed caption of each category's label; empty outside 0..6.
QString categoryCaption(int category);

} // namespace Sources
