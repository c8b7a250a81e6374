#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <optional>

// The day's deletion lists filed by suffix. A list's index is also its suffix button's index.
namespace Sources {

enum Source : int { Com, Info, Net, Org, Biz, NetCn, ComCn, OrgCn, GovCn, Cn };
inline constexpr int kSourceCount = 10;

using SourceLists = std::array<QStringList, kSourceCount>;

// Where one downloaded line goes. No index: the line is dropped.
struct Filing {
    std::optional<int> index;
    QString entry;
};

// The page cut at every line feed. Empty text gives no pieces; a final line feed gives a last,
// empty piece; a CR before a line feed stays at the end of its piece. The views point into
// `page`, which must outlive them.
QList<QStringView> cutLines(QStringView page);

// The registrar's daily file (com, info, net, org, biz). Case-sensitive substring tests, first
// match wins: "com" goes to com only while the line is shorter than 18 characters (a trailing CR
// counts) and is dropped otherwise; then "info", "net", "org"; anything else, empty lines
// included, goes to biz. The entry is the line untouched.
Filing fileDailyLine(QStringView line);

// The CN registry's file. Every "[" and "]" is removed first; then ".net.cn", ".com.cn",
// "gov.cn", "org.cn" in that order, anything else to cn. The entry is the line without brackets.
Filing fileCnLine(QStringView line);

// Appends pieces [from, to) to their lists, so that a caller can file a big page in chunks and
// return to the event loop in between. Out-of-range bounds are clamped.
void fileDailyLines(const QList<QStringView> &pieces, qsizetype from, qsizetype to,
                    SourceLists &lists);
void fileCnLines(const QList<QStringView> &pieces, qsizetype from, qsizetype to,
                 SourceLists &lists);

// Suffix button captions: before any load, and after one with `count` entries in the list.
// Both are empty for an index outside 0..9.
QString initialCaption(int index);
QString suffixCaption(int index, qsizetype count);

} // namespace Sources
