#include "table/DropCalendar.h"

#include "text/Version.h"

#include <QCryptographicHash>

#include <libical/ical.h>

#include <cstdlib>
#include <memory>

namespace DropCalendar {

namespace {

constexpr int kAlarmLeadSeconds = 10 * 60;

icaltimetype utcTime(const QDateTime &instant)
{
    return icaltime_from_timet_with_zone(static_cast<time_t>(instant.toSecsSinceEpoch()), 0,
                                         icaltimezone_get_utc_timezone());
}

icaltimetype dateOnly(QDate date)
{
    icaltimetype t = icaltime_null_date();
    t.year = date.year();
    t.month = date.month();
    t.day = date.day();
    return t;
}

QString description(const Event &event)
{
    QStringList lines;
    if (!event.stage.isEmpty())
        lines << QStringLiteral("阶段：") + event.stage;
    if (!event.source.isEmpty())
        lines << QStringLiteral("来源：") + event.source;
    return lines.join(u'\n');
}

// Hashed, so that the UID is plain ASCII whatever the name's script.
QByteArray uid(const Event &event, QDate day)
{
    const QByteArray key =
        event.name.toLower().toUtf8() + '/' + day.toString(Qt::ISODate).toLatin1();
    return QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex() + "@varnel";
}

icalcomponent *vevent(const Event &event, const icaltimetype &stamp)
{
    const auto *exact = std::get_if<QDateTime>(&event.drop);
    const QDate day = exact ? exact->toUTC().date() : std::get<QDate>(event.drop);
    if (exact ? !exact->isValid() : !day.isValid())
        return nullptr;
    const QByteArray summary = (event.name + QStringLiteral(" 删除")).toUtf8();
    icalcomponent *component = icalcomponent_new_vevent();
    icalcomponent_add_property(component, icalproperty_new_uid(uid(event, day).constData()));
    icalcomponent_add_property(component, icalproperty_new_dtstamp(stamp));
    icalcomponent_add_property(component, icalproperty_new_summary(summary.constData()));
    const QByteArray text = description(event).toUtf8();
    if (!text.isEmpty())
        icalcomponent_add_property(component, icalproperty_new_description(text.constData()));
    if (!exact) {
        icalcomponent_add_property(component, icalproperty_new_dtstart(dateOnly(day)));
        icalcomponent_add_property(component, icalproperty_new_dtend(dateOnly(day.addDays(1))));
        return component;
    }
    icalcomponent_add_property(component, icalproperty_new_dtstart(utcTime(*exact)));
    icalcomponent *alarm = icalcomponent_new_valarm();
    icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
    icalcomponent_add_property(
        alarm, icalproperty_new_trigger(icaltriggertype_from_int(-kAlarmLeadSeconds)));
    // A display alarm must carry the text it shows.
    icalcomponent_add_property(alarm, icalproperty_new_description(summary.constData()));
    icalcomponent_add_component(component, alarm);
    return component;
}

} // namespace

QByteArray write(const QList<Event> &events, const QDateTime &stamp)
{
    const std::unique_ptr<icalcomponent, decltype(&icalcomponent_free)> calendar(
        icalcomponent_new_vcalendar(), &icalcomponent_free);
    const QByteArray productId = QByteArrayLiteral("-//Varnel//Varnel ") + kVarnelVersion + "//ZH";
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid(productId.constData()));
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_calscale("GREGORIAN"));
    const icaltimetype dtstamp = utcTime(stamp);
    for (const Event &event : events) {
        if (icalcomponent *component = vevent(event, dtstamp))
            icalcomponent_add_component(calendar.get(), component);
    }
    const std::unique_ptr<char, decltype(&std::free)> text(
        icalcomponent_as_ical_string_r(calendar.get()), &std::free);
    return QByteArray(text.get());
}

} // namespace DropCalendar
