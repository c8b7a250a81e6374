#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <variant>

// The rows with a known drop time as an iCalendar file (RFC 5545) for the user's own calendar.
namespace DropCalendar {

struct Event {
    QString name; // as shown, Unicode for an IDN
    // A list source's exact drop instant, or an estimated date, which becomes an all-day event.
    std::variant<QDateTime, QDate> drop;
    QString stage;
    QString source;
};

// One VEVENT per event, in UTF-8 with CRLF line ends and folded lines. An exact drop starts at
// its instant in UTC and has a display alarm 10 minutes before; an estimate is an all-day event
// on its date, without an alarm. The UID depends only on the name and the drop's date, so a
// calendar that imports a later export updates its events instead of doubling them. `stamp`
// (Clock::nowUtc() for a real export) is every event's DTSTAMP. Events whose drop is not a valid
// time or date are left out.
QByteArray write(const QList<Event> &events, const QDateTime &stamp);

} // namespace DropCalendar
