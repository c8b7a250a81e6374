// The grid as CSV and as clipboard text.
#include "table/GridExport.h"
#include "table/ResultTable.h"

#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

RowCells row(const QStringList &cells)
{
    RowCells r;
    r.fill(kBlankCell);
    std::copy(cells.begin(), cells.end(), r.begin() + kDomainColumn);
    return r;
}

// Reads RFC 4180 strictly: each field quoted (quotes doubled) or free of commas, quotes, CR and
// LF, each record ended by CRLF. Anything else gives a record no test expects.
QList<QStringList> parseCsv(const QString &text)
{
    static const QRegularExpression field(uR"re((?:"((?:[^"]|"")*)"|([^,"\r\n]*))(,|\r\n))re"_s);
    QList<QStringList> records{{}};
    for (qsizetype at = 0; at < text.size();) {
        const QRegularExpressionMatch m =
            field.match(text, at, QRegularExpression::NormalMatch,
                        QRegularExpression::AnchorAtOffsetMatchOption);
        if (!m.hasMatch())
            return {{u"not RFC 4180"_s}};
        records.last() << (m.capturedStart(1) >= 0 ? m.captured(1).replace(u"\"\""_s, u"\""_s)
                                                   : m.captured(2));
        if (m.captured(3) == u"\r\n")
            records.append(QStringList());
        at = m.capturedEnd();
    }
    return records.takeLast().isEmpty() ? records : QList<QStringList>{{u"unended record"_s}};
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
        table.appendRows({row({u"a.com"_s, u"1,230,000"_s, u"say \"hi\""_s, u"中文.com"_s}),
                          row({u"b.com"_s, u"line\nbreak"_s, u"crlf\r\ninside"_s, u"\"\""_s, u""_s,
                               u"4\n"_s, u"bare\rcr"_s}),
                          row({u"c.com"_s})});
        const QByteArray bytes =
            GridExport::csv(GridExport::header(), GridExport::rows(table, {}), byteOrderMark);
        QCOMPARE(bytes.startsWith("\xEF\xBB\xBF"), byteOrderMark);

        const QList<QStringList> records =
            parseCsv(QString::fromUtf8(bytes.mid(byteOrderMark ? 3 : 0)));
        QCOMPARE(records.size(), 4);
        QCOMPARE(
            records[0].join(u'|'),
            u"查询域名|百度收录|百度反链|google收录|yahoo收录|yahoo反链|yahoo不带W|PR值查询|是否注册"_s);
        for (int r = 0; r < table.rowCount(); ++r) {
            QStringList shown;
            for (int c = kDomainColumn; c < kColumnCount; ++c)
                shown << (table.cell(r, c) == kBlankCell ? QString() : table.cell(r, c));
            QCOMPARE(records[r + 1], shown);
        }
    }

    void formulaGuard_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("csvField");
        QTest::addColumn<QString>("clipboardCell");
        QTest::newRow("equals, quotes")
            << u"=HYPERLINK(\"x\")"_s << u"\"'=HYPERLINK(\"\"x\"\")\""_s << u"'=HYPERLINK(\"x\")"_s;
        QTest::newRow("plus") << u"+1"_s << u"'+1"_s << u"'+1"_s;
        QTest::newRow("minus, comma") << u"-1,2"_s << u"\"'-1,2\""_s << u"'-1,2"_s;
        QTest::newRow("at") << u"@SUM(A1)"_s << u"'@SUM(A1)"_s << u"'@SUM(A1)"_s;
        QTest::newRow("not first") << u"a=b-c"_s << u"a=b-c"_s << u"a=b-c"_s;
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
        const QString blanks(7, u'\t');
        QCOMPARE(GridExport::tabSeparated(GridExport::rows(table, {2, 0, 9, 1})),
                 u"c.com\t7"_s + blanks + u"\na.com\t1 2"_s + blanks + u"\nb.com\tx y z"_s +
                     blanks + u"\n"_s);
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
