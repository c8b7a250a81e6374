// The grid as CSV and as clipboard text.
#include "sources/CategoryImport.h"
#include "table/GridExport.h"
#include "table/ResultTable.h"

#include <QRegularExpression>
#include <QTest>

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
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
