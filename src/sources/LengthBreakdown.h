#pragma once

#include <QString>
#include <QStringList>

#include <array>

// One suffix's list split by name length and by numeric names.
namespace Sources {

// Categories 0..4: the name is exactly the suffix's base length + 0..4 characters long; 5:
// longer still; 6: numeric label (the part before the first "."). A name
// shorter than the base length has no length category but may still be numeric.
inline constexpr int kCategoryCount = 7;
using Categories = std::array<QStringList, kCategoryCount>;

// The categories of `list`, the list of suffix `index`. Entries keep their text and order and
// duplicates stay. An index outside 0..9 gives empty categories.
Categories lengthBreakdown(const QStringList &list, int index);

// The categories of names of any suffix, as a registry's own list gives them: by the length of
// the first label (3, 4, 5, 6, 7, longer) and numeric first labels.
Categories labelBreakdown(const QStringList &names);

// The fixed caption of each category's label; empty outside 0..6.
QString categoryCaption(int category);

} // namespace Sources
