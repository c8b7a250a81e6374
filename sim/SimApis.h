#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The two public JSON services the simulator stands in for: the web archive's capture index
// (CDX, one row per captured year) and a DNS-over-HTTPS resolver answering NS queries.
namespace SimContent {

// Forced by the name's prefix ("archived-", "noarchive-", "headeronly-", "broken-"), else drawn
// from the name: most names have captures, a few none, a very few a cut-off answer.
enum class ArchiveShape {
    Captured,   // a header row, then one row per captured year
    Empty,      // []
    HeaderOnly, // [["timestamp"]]
    Malformed,  // cut off midway
};
ArchiveShape archiveShape(const QString &name);
// The years `name` was captured in, ascending; empty unless its shape is Captured.
QList<int> archiveYears(const QString &name);
QByteArray archiveAnswer(const QString &name);

// Forced by the prefix of the name's label ("taken-", "nons-", "nx-", "servfail-", "broken-"),
// so that a label has the same shape under every suffix; else drawn from the whole name: .com
// most often taken, the others less, and now and then a resolver failure.
enum class DohShape {
    Taken,     // Status 0 with NS records
    NoRecord,  // Status 0, no answer: the name exists but delegates nowhere
    NxDomain,  // Status 3
    ServFail,  // Status 2
    Malformed, // cut off midway
};
DohShape dohShape(const QString &fqdn);
QByteArray dohAnswer(const QString &fqdn);

// A name whose answers have `shape`; different `label`s give different names.
QString archiveNameFor(ArchiveShape shape, const QString &label,
                       const QString &suffix = QStringLiteral("com"));
QString dohLabelFor(DohShape shape, const QString &label);

} // namespace SimContent
