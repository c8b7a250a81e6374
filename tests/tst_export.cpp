// The grid as CSV and as clipboard text, and the drops as a calendar.
#include "sources/CategoryImport.h"
#include "table/DropCalendar.h"
#include "table/GridExport.h"
#include "table/ResultTable.h"

#include <QRegularExpression>
#include <QTest>

#include <libical/ical.h>

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

QString value(icalcomponent *component, icalproperty_kind kind)
{
    icalproperty *property =
        component ? icalcomponent_get_first_property(component, kind) : nullptr;
    return property ? QString::fromUtf8(icalproperty_get_value_as_string(property)) : QString();
}

} // namespace

Q_DECLARE_METATYPE(DropCalendar::Event)

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

    // Rows in the order asked, blank cells empty, missing rows out; a file's BOM.
    void gridRows()
    {
        ResultTable table;
        Sources::importCategory(table, {u"a.com"_s, u"b.com"_s, u"c.com"_s});
        table.setCell(2, BaiduSite, u"7"_s);
        const QString rest(7, u'\t'); // seven empty fields
        QCOMPARE(GridExport::tabSeparated(GridExport::rows(table, {2, 0, 9, 1})),
                 u"c.com\t7"_s + rest + u"\na.com\t"_s + rest + u"\nb.com\t"_s + rest + u"\n"_s);
        QCOMPARE(GridExport::csv({}, {}, true), QByteArray("\xEF\xBB\xBF"));
        // An import's rows are the rows its texts would make.
        ResultTable texts;
        for (const QString &name : {u"a.com"_s, u" "_s, u"c.com"_s}) {
            RowCells cells;
            cells.fill(kBlankCell);
            cells[kLabelColumn] = QString::number(texts.rowCount() + 41);
            cells[kDomainColumn] = name;
            texts.appendRows({cells});
        }
        table.clear();
        table.appendNames({u"a.com"_s, u" "_s, u"c.com"_s}, 41);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < kCellCount; ++c) {
                QCOMPARE(table.cell(r, c), texts.cell(r, c));
                QCOMPARE(table.cellState(r, c), texts.cellState(r, c));
            }
        }
    }

    // A drop as iCalendar, parsed back by libical; a later export differs only in its stamp.
    void calendar_data()
    {
        QTest::addColumn<DropCalendar::Event>("event");
        QTest::addColumn<QStringList>("times"); // DTSTART, DTEND, the alarm's TRIGGER
        QTest::newRow("exact: UTC, alarm")
            << DropCalendar::Event{u"abc.com"_s,
                                   QDateTime::fromString(u"2024-05-12T03:30+08:00"_s, Qt::ISODate),
                                   u"待删除"_s, u"列表, ; \\"_s}
            << QStringList{u"20240511T193000Z"_s, QString(), u"-PT10M"_s};
        QTest::newRow("estimate: all day, long IDN folded")
            << DropCalendar::Event{u"中文域名测试例子"_s.repeated(4) + u".中国"_s,
                                   QDate(2024, 12, 31), u"赎回期"_s, u"RDAP"_s}
            << QStringList{u"20241231"_s, u"20250101"_s, QString()};
    }
    void calendar()
    {
        QFETCH(DropCalendar::Event, event);
        const QDateTime stamp(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC);
        const QByteArray ics = DropCalendar::write({event}, stamp);
        for (const QByteArray &line : ics.split('\n')) // folded, and no character split
            QVERIFY(line.size() <= 76 && QString::fromUtf8(line).toUtf8() == line);
        QCOMPARE(DropCalendar::write({event}, stamp.addDays(1)).replace("0502T", "0501T"), ics);
        const std::unique_ptr<icalcomponent, decltype(&icalcomponent_free)> ical(
            icalparser_parse_string(ics.constData()), &icalcomponent_free);
        QCOMPARE(icalcomponent_count_components(ical.get(), ICAL_VEVENT_COMPONENT), 1);
        icalcomponent *drop = icalcomponent_get_first_component(ical.get(), ICAL_VEVENT_COMPONENT);
        QCOMPARE(QString::fromUtf8(icalcomponent_get_summary(drop)), event.name + u" 删除"_s);
        QCOMPARE(QString::fromUtf8(icalcomponent_get_description(drop)),
                 u"阶段："_s + event.stage + u"\n来源："_s + event.source);
        QTEST((QStringList{value(drop, ICAL_DTSTART_PROPERTY), value(drop, ICAL_DTEND_PROPERTY),
                           value(icalcomponent_get_first_component(drop, ICAL_VALARM_COMPONENT),
                                 ICAL_TRIGGER_PROPERTY)}),
              "times");
        QVERIFY(value(drop, ICAL_DTSTAMP_PROPERTY) == u"20240501T080000Z"_s &&
                !value(drop, ICAL_UID_PROPERTY).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
