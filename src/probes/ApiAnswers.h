#pragma once

#include "text/Words.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Readers of the two public JSON services behind the archive and other-suffix metrics: the
// Internet Archive's CDX index and a DNS-over-HTTPS resolver. They read a 2xx body only; the
// caller turns 429 and 403 into 查询受限 (with back-off) and any other error status, or no answer,
// into 查询失败 before a body ever reaches them.
namespace ApiAnswers {

// The archive metric's two cells ("首次存档", "存档年数"): the year of the first capture and the
// number of years with captures, or "无存档" and "0"; both read 查询失败 when the state is Failed.
struct ArchiveCells {
    CellState state = CellState::Failed;
    QString firstYear = kQueryFailed;
    QString years = kQueryFailed;
};

// A CDX answer asked with output=json, fl=timestamp and collapse=timestamp:4: a header row, then
// one row per captured year, each a 14-digit timestamp, in ascending order.
ArchiveCells readArchive(const QByteArray &body);

enum class Doh { Taken, NotTaken, Failed };

// A resolver's JSON answer to an NS query: taken when it resolved (Status 0) with an NS record,
// not taken when it resolved without one or the name does not exist (Status 3, NXDOMAIN).
Doh readDoh(const QByteArray &body);

// The suffixes a label is looked up under. gov.cn is not among them: nobody can register there.
const QStringList &otherSuffixPool();

// The label of `name` under every pool suffix but its own, lower-cased: eight names for a name
// in the pool, nine for one outside it.
QStringList otherSuffixNames(const QString &name);

// The "他后缀注册" cell: taken/asked ("3/8"), or 查询失败 when any one answer failed.
struct SuffixCell {
    CellState state = CellState::Failed;
    QString text;
};
SuffixCell combineSuffixes(const QList<Doh> &answers);

} // namespace ApiAnswers
