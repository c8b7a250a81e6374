#pragma once

#include "sources/Suffixes.h"

#include <QList>
#include <QStringView>

// Cutting a downloaded deletion list into lines and filing them by suffix.
namespace Sources {

// The page cut at every line feed. Empty text gives no pieces, and a final line feed ends the
// last line rather than starting an empty one. The views point into `page`, which must outlive
// them.
QList<QStringView> cutLines(QStringView page);

// Whether `entry` (already trimmed) can be a domain name: letters of any script, digits, hyphens
// and dots only, with a dot that is not its first character. Blank lines, markup and lines
// with inner spaces are not names.
bool isNameLike(QStringView entry);

// Files pieces [from, to) of the registrar's daily file into the com, info, net, org and biz
// lists, so that a caller can file a big page in chunks and return to the event loop in between.
// Each line loses its line-end CR and surrounding blanks, then goes to the list of its suffix:
// the part after its first dot, exactly com, info, net, org or biz in any case. A com line of
// 18 characters or more is dropped. Returns how many lines were skipped: not names, or other
// suffixes (the dropped long com lines are not counted). Out-of-range bounds are clamped.
qsizetype fileDailyLines(const QList<QStringView> &pieces, qsizetype from, qsizetype to,
                         SourceLists &lists);

// Files pieces [from, to) of the CN registry's file into the net.cn, com.cn, org.cn, gov.cn and
// cn lists: every "[" and "]" is removed first, then the line is trimmed and filed by its suffix
// (exactly net.cn, com.cn, org.cn, gov.cn or cn). Returns how many lines were skipped.
qsizetype fileCnLines(const QList<QStringView> &pieces, qsizetype from, qsizetype to,
                      SourceLists &lists);

} // namespace Sources
