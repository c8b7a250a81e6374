// The grid as CSV and as clipboard text, and the drops as a calendar.
#include "sources/CategoryImport.h"
#include "table/DropCalendar.h"
#include "table/GridExport.h"
#include "table/ResultTable.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QTest>
#include <QTimeZone>

#include <libical/ical.h>

#include <cstdlib>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Reads RFC 4180 strictly (quoted fields or fields free of , " CR LF; CRLF after each record).
QList<QStringList> parseCsv(const QString &text)
{
    static const QRegularExpression field(uR"re(\G(?:"((?:[^"]|"")*)"|([^,"\r\n]*))(,|\r\n))re"_s);
    QList<QStringList> records{{}};
    qsizetype end = 0;
    for (const QRegularExpressionMatch &m : field.globalMatch(text)) {
        records.last() << m.captured(1).replace(u"\"\""_s, u"\""_s) + m.captured(2);
        if (m.captured(3) == u"\r\n")
            records.append(QStringList());
        end = m.capturedEnd();
    }
    return end == text.size() && records.takeLast().isEmpty() ? records : QList<QStringList>();
}

using Calendar = std::unique_ptr<icalcomponent, decltype(&icalcomponent_free)>;

// A property's value as libical reads it back; empty when the component or property is absent.
QString value(icalcomponent *component, icalproperty_kind kind)
{
    icalproperty *property =
        component ? icalcomponent_get_first_property(component, kind) : nullptr;
    if (!property)
        return {};
    const std::unique_ptr<char, decltype(&std::free)> text(
        icalproperty_get_value_as_string_r(property), &std::free);
    return QString::fromUtf8(text.get());
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A cell through a CSV file and back, and on the clipboard (tabs, line breaks as blanks).
    void cells_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("readBack");
        QTest::addColumn<QString>("clipboard");
        QTest::newRow("quotes, commas") << u"\"a\",1,2"_s << u"\"a\",1,2"_s << u"\"a\",1,2"_s;
        QTest::newRow("Chinese") << u"中文.com"_s << u"中文.com"_s << u"中文.com"_s;
        QTest::newRow("CRLF, LF") << u"x\r\ny\nz"_s << u"x\r\ny\nz"_s << u"x y z"_s;
        QTest::newRow("bare CR, tab") << u"a\rb\tc"_s << u"a\rb\tc"_s << u"a b c"_s;
        QTest::newRow("equals, quotes")
            << u"=HYPERLINK(\"x\")"_s << u"'=HYPERLINK(\"x\")"_s << u"'=HYPERLINK(\"x\")"_s;
        QTest::newRow("plus") << u"+1"_s << u"'+1"_s << u"'+1"_s;
        QTest::newRow("minus, comma") << u"-1,2"_s << u"'-1,2"_s << u"'-1,2"_s;
        QTest::newRow("at") << u"@SUM(A1)"_s << u"'@SUM(A1)"_s << u"'@SUM(A1)"_s;
        QTest::newRow("tab first") << u"\t=1+2"_s << u"'\t=1+2"_s << u"' =1+2"_s;
        QTest::newRow("CR first") << u"\r=1+2"_s << u"'\r=1+2"_s << u"' =1+2"_s;
        QTest::newRow("not first") << u"a=b-c"_s << u"a=b-c"_s << u"a=b-c"_s;
    }
    void cells()
    {
        QFETCH(QString, cell);
        QFETCH(QString, readBack);
        QFETCH(QString, clipboard);
        const QList<QStringList> rows{{u"x.com"_s, cell, QString()}};
        QCOMPARE(parseCsv(QString::fromUtf8(GridExport::csv(GridExport::header(), rows, false))),
                 (QList<QStringList>{GridExport::header(), {u"x.com"_s, readBack, QString()}}));
        QCOMPARE(GridExport::tabSeparated(rows), u"x.com\t"_s + clipboard + u"\t\n"_s);
    }

    // Rows in the order asked, blank cells empty, missing rows out; the captions; a file's BOM.
    void gridRows()
    {
        ResultTable table;
        Sources::importCategory(table, {u"a.com"_s, u"b.com"_s, u"c.com"_s});
        table.setCell(2, BaiduSite, u"7"_s);
        const QString rest(7, u'\t'); // seven empty fields
        QCOMPARE(GridExport::tabSeparated(GridExport::rows(table, {2, 0, 9, 1})),
                 u"c.com\t7"_s + rest + u"\na.com\t"_s + rest + u"\nb.com\t"_s + rest + u"\n"_s);
        QCOMPARE(GridExport::header().join(u'|'),
                 u"查询域名|百度收录|百度反链|google收录|"
                 u"yahoo收录|yahoo反链|yahoo不带W|PR值查询|是否注册"_s);
        QCOMPARE(GridExport::csv({}, {}, true), QByteArray("\xEF\xBB\xBF"));
    }

    // One drop written as iCalendar and parsed back by libical: times, alarm, texts, a stable UID.
    void calendar_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QDateTime>("exact"); // invalid: the estimate is used
        QTest::addColumn<QDate>("estimate");
        QTest::addColumn<QString>("stage");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("trigger");
        const QDateTime beijing(QDate(2024, 5, 12), QTime(3, 30), QTimeZone(8 * 3600));
        QTest::newRow("exact, in UTC, alarm") << u"abc.com"_s << beijing << QDate() << u"待删除"_s
                                              << u"20240511T193000Z"_s << QString() << u"-PT10M"_s;
        QTest::newRow("estimate, all day")
            << u"abc.net"_s << QDateTime() << QDate(2024, 12, 31) << u"赎回期"_s << u"20241231"_s
            << u"20250101"_s << QString();
        QTest::newRow("IDN, folded Chinese")
            << u"中文域名测试例子.中国"_s << QDateTime() << QDate(2025, 1, 1)
            << QString(40, QChar(u'删')) + u", ; \\ 逗号"_s << u"20250101"_s << u"20250102"_s
            << QString();
    }
    void calendar()
    {
        QFETCH(QString, name);
        QFETCH(QDateTime, exact);
        QFETCH(QDate, estimate);
        QFETCH(QString, stage);
        const DropCalendar::Event event{
            name, exact.isValid() ? decltype(event.drop)(exact) : estimate, stage, u"RDAP"_s};
        const QDateTime stamp(QDate(2024, 5, 1), QTime(8, 0), QTimeZone::utc());
        const QByteArray ics = DropCalendar::write({event}, stamp);
        for (const QByteArray &line : ics.split('\n')) { // folded without splitting a character
            QStringDecoder utf8(QStringDecoder::Utf8);
            QVERIFY(!QString(utf8(line)).isNull() && !utf8.hasError());
            QVERIFY2(line.size() <= 76, line.constData());
        }
        const auto parse = [](const QByteArray &text) {
            return Calendar(icalparser_parse_string(text.constData()), &icalcomponent_free);
        };
        const Calendar first = parse(ics);
        const Calendar again = parse(DropCalendar::write({event}, stamp.addDays(1)));
        QVERIFY(first && again);
        QCOMPARE(icalcomponent_count_components(first.get(), ICAL_VEVENT_COMPONENT), 1);
        icalcomponent *drop = icalcomponent_get_first_component(first.get(), ICAL_VEVENT_COMPONENT);
        QCOMPARE(QString::fromUtf8(icalcomponent_get_summary(drop)), name + u" 删除"_s);
        QCOMPARE(QString::fromUtf8(icalcomponent_get_description(drop)),
                 u"阶段："_s + stage + u"\n来源：RDAP"_s);
        QTEST(value(drop, ICAL_DTSTART_PROPERTY), "start");
        QTEST(value(drop, ICAL_DTEND_PROPERTY), "end");
        QTEST(value(icalcomponent_get_first_component(drop, ICAL_VALARM_COMPONENT),
                    ICAL_TRIGGER_PROPERTY),
              "trigger");
        QCOMPARE(value(drop, ICAL_DTSTAMP_PROPERTY), u"20240501T080000Z"_s);
        const QString uid = value(drop, ICAL_UID_PROPERTY);
        QVERIFY(!uid.isEmpty());
        QCOMPARE(value(icalcomponent_get_first_component(again.get(), ICAL_VEVENT_COMPONENT),
                       ICAL_UID_PROPERTY),
                 uid);
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
