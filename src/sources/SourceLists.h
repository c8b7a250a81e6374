#pragma once

#include "sources/Suffixes.h"

#include <QList>
#include <QStringView>

// Cutting a downloaded deletion list into lines and filing them by suffix.
namespace Sources {

// The page cut at every line feed. Empty text gives no pieces; a final line feed gives a last,
// empty piece; a CR before a line feed stays at the end of its piece. The views point into
// `page`, which must outlive them.
QList<QStringView> cutLines(QStringView page);

// Files pieces [from, to) of the registrar's daily file into the com, info, net, org and biz
// lists, so that a caller can file a big page in chunks and return to the event loop in between.
// Case-sensitive substring tests, first match wins: "com" goes to com only while the line is
// shorter than 18 characters (a trailing CR counts) and is dropped otherwise; then "info",
// "net", "org"; anything else, empty lines included, goes to biz. Out-of-range bounds are
// clamped.
void fileDailyLines(const QList<QStringView> &pieces, qsizetype from, qsizetype to,
                    SourceLists &lists);

// Files pieces [from, to) of the CN registry's file. Every "[" and "]" is removed first; then
// ".net.cn", ".com.cn", "gov.cn", "org.cn" in that order, anything else to cn.
void fileCnLines(const QList<QStringView> &pieces, qsizetype from, qsizetype to,
                 SourceLists &lists);

} // namespace Sources
