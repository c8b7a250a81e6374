// The grid as CSV and as clipboard text.
#include "table/GridExport.h"
#include "table/ResultTable.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

RowCells row(const QStringList &cells)
{
    RowCells r;
    r.fill(kBlankCell);
    for (qsizetype i = 0; i < cells.size(); ++i)
        r[i + kDomainColumn] = cells[i];
    return r;
}

// A literal RFC 4180 reader: records end at CRLF outside quotes, "" inside quotes is one quote.
// A bare CR, LF or quote outside quotes, or a text that does not end a record, gives one
// record that no test expects.
QList<QStringList> parseCsv(const QString &text)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool inQuotes = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inQuotes) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                inQuotes = false;
            } else {
                field += c;
            }
        } else if (c == u'"' && field.isEmpty()) {
            inQuotes = true;
        } else if (c == u',') {
            record << std::exchange(field, {});
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            record << std::exchange(field, {});
            records << std::exchange(record, {});
            ++i;
        } else if (c == u'\r' || c == u'\n' || c == u'"') {
            return {{u"<stray character>"_s}};
        } else {
            field += c;
        }
    }
    if (inQuotes || !record.isEmpty() || !field.isEmpty())
        return {{u"<unterminated>"_s}};
    return records;
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void csvRoundTrip_data()
    {
        QTest::addColumn<bool>("byteOrderMark");
        QTest::newRow("file, with BOM") << true;
        QTest::newRow("stdout, without") << false;
    }
    void csvRoundTrip()
    {
        QFETCH(bool, byteOrderMark);
        ResultTable table;
        table.appendRows({
            row({u"a.com"_s, u"1,230,000"_s, u"say \"hi\""_s, u"中文.com"_s}),
            row({u"b.com"_s, u"line\nbreak"_s, u"crlf\r\ninside"_s, u"\"\""_s, u""_s, u"4\n"_s,
                 u"bare\rcr"_s}),
            row({u"c.com"_s}),
        });
        const QByteArray bytes =
            GridExport::csv(GridExport::header(), GridExport::rows(table, {}), byteOrderMark);
        QCOMPARE(bytes.startsWith("\xEF\xBB\xBF"), byteOrderMark);
        QVERIFY(bytes.endsWith("\r\n"));

        const QList<QStringList> records =
            parseCsv(QString::fromUtf8(byteOrderMark ? bytes.mid(3) : bytes));
        QCOMPARE(records.size(), 4);
        QCOMPARE(records[0], (QStringList{u"查询域名"_s, u"百度收录"_s, u"百度反链"_s,
                                          u"google收录"_s, u"yahoo收录"_s, u"yahoo反链"_s,
                                          u"yahoo不带W"_s, u"PR值查询"_s, u"是否注册"_s}));
        for (int r = 0; r < table.rowCount(); ++r) {
            QCOMPARE(records[r + 1].size(), kColumnCount - 1);
            for (int c = kDomainColumn; c < kColumnCount; ++c) {
                const QString cell = table.cell(r, c);
                QCOMPARE(records[r + 1][c - 1], cell == kBlankCell ? QString() : cell);
            }
        }
    }

    void formulaGuard_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("csvField");
        QTest::addColumn<QString>("clipboardCell");
        QTest::newRow("equals") << u"=HYPERLINK(\"x\")"_s << u"\"'=HYPERLINK(\"\"x\"\")\""_s
                                << u"'=HYPERLINK(\"x\")"_s;
        QTest::newRow("plus") << u"+1"_s << u"'+1"_s << u"'+1"_s;
        QTest::newRow("minus, comma") << u"-1,2"_s << u"\"'-1,2\""_s << u"'-1,2"_s;
        QTest::newRow("at") << u"@SUM(A1)"_s << u"'@SUM(A1)"_s << u"'@SUM(A1)"_s;
        QTest::newRow("inside is harmless") << u"a=b-c"_s << u"a=b-c"_s << u"a=b-c"_s;
        QTest::newRow("empty") << u""_s << u""_s << u""_s;
    }
    void formulaGuard()
    {
        QFETCH(QString, cell);
        QFETCH(QString, csvField);
        QFETCH(QString, clipboardCell);
        const QList<QStringList> rows{{u"x.com"_s, cell}};
        QCOMPARE(GridExport::csv({u"h"_s}, rows, false),
                 (u"h\r\nx.com,"_s + csvField + u"\r\n"_s).toUtf8());
        QCOMPARE(GridExport::tabSeparated(rows), u"x.com\t"_s + clipboardCell + u"\n"_s);
    }

    void clipboardKeepsCellsAligned()
    {
        ResultTable table;
        table.appendRows({row({u"a.com"_s, u"1\t2"_s}), row({u"b.com"_s, u"x\r\ny\nz"_s}),
                          row({u"c.com"_s, u"7"_s})});
        const QString text = GridExport::tabSeparated(GridExport::rows(table, {2, 0, 9, 1}));
        const QString blanks = u"\t\t\t\t\t\t\t"_s;
        QCOMPARE(text, u"c.com\t7"_s + blanks + u"\na.com\t1 2"_s + blanks + u"\nb.com\tx y z"_s +
                           blanks + u"\n"_s);
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
