#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>

// The ten suffixes a day's deletion lists are filed under. A suffix's index is also its suffix
// button's index.
namespace Sources {

enum Source : int { Com, Info, Net, Org, Biz, NetCn, ComCn, OrgCn, GovCn, Cn };
inline constexpr int kSourceCount = 10;

using SourceLists = std::array<QStringList, kSourceCount>;

struct SuffixRecord {
    QStringView caption;     // the suffix itself, which the button shows before any load
    QStringView countPrefix; // the button after a load, before the count, e.g. ".com 共："
    int baseLength;          // a three-character label plus its dot and suffix
    bool fromCnList;         // filled from the CN registry's file, not the registrar's
};

// The record of suffix `index`, 0..9.
const SuffixRecord &suffix(int index);

// The suffix button's caption after a load that left `count` entries in its list.
QString countCaption(int index, qsizetype count);

} // namespace Sources
