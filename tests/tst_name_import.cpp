// Names from a user's file: decoding, normalising, and reading a whole list.
#include "sources/NameImport.h"
#include "table/GridExport.h"

#include <QStringEncoder>
#include <QTest>

using namespace Qt::StringLiterals;

class TestNameImport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void normalise_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name"); // empty: not a name
        const QString label63(63, u'a');
        const QString long253 =
            label63 + u'.' + label63 + u'.' + label63 + u'.' + QString(57, u'b') + u".com"_s;
        QTest::newRow("bare") << u"example.com"_s << u"example.com"_s;
        QTest::newRow("case, blanks, CR") << u" \tExample.COM \r"_s << u"example.com"_s;
        QTest::newRow("http") << u"http://example.com"_s << u"example.com"_s;
        QTest::newRow("https, www, path, query, fragment")
            << u"HTTPS://WWW.Example.com/a/b?x=1#top"_s << u"example.com"_s;
        QTest::newRow("other scheme, port")
            << u"ftp://files.example.org:21/pub"_s << u"files.example.org"_s;
        QTest::newRow("port") << u"example.net:8080"_s << u"example.net"_s;
        QTest::newRow("query without path") << u"example.net?ref=1"_s << u"example.net"_s;
        QTest::newRow("trailing dot") << u"example.com."_s << u"example.com"_s;
        QTest::newRow("www is the name") << u"www.com"_s << u"www.com"_s;
        QTest::newRow("deeper name kept") << u"blog.example.co.uk"_s << u"blog.example.co.uk"_s;
        QTest::newRow("IDN") << u"中文.com"_s << u"xn--fiq228c.com"_s;
        QTest::newRow("IDN in a URL") << u"http://www.中文.COM/页"_s << u"xn--fiq228c.com"_s;
        QTest::newRow("ACE form") << u"xn--fiq228c.com"_s << u"xn--fiq228c.com"_s;
        QTest::newRow("digits and hyphens") << u"123-456.cn"_s << u"123-456.cn"_s;
        QTest::newRow("longest label") << label63 + u".com"_s << label63 + u".com"_s;
        QTest::newRow("253 in all") << long253 << long253;

        QTest::newRow("empty") << u""_s << u""_s;
        QTest::newRow("blank") << u"  \t "_s << u""_s;
        QTest::newRow("no dot") << u"localhost"_s << u""_s;
        QTest::newRow("inner space") << u"exa mple.com"_s << u""_s;
        QTest::newRow("e-mail") << u"user@example.com"_s << u""_s;
        QTest::newRow("mailto") << u"mailto:user@example.com"_s << u""_s;
        QTest::newRow("IPv4") << u"192.168.0.1"_s << u""_s;
        QTest::newRow("IPv4 URL with port") << u"http://10.0.0.1:8080/"_s << u""_s;
        QTest::newRow("IPv6") << u"http://[::1]/"_s << u""_s;
        QTest::newRow("tag") << u"<b>example.com</b>"_s << u""_s;
        QTest::newRow("link markup") << u"<a href=\"http://x.com\">x</a>"_s << u""_s;
        QTest::newRow("leading hyphen") << u"-bad.com"_s << u""_s;
        QTest::newRow("trailing hyphen") << u"bad-.com"_s << u""_s;
        QTest::newRow("empty label") << u"a..com"_s << u""_s;
        QTest::newRow("underscore") << u"under_score.com"_s << u""_s;
        QTest::newRow("label of 64") << QString(64, u'a') + u".com"_s << u""_s;
        QTest::newRow("254 in all") << u"a"_s + long253 << u""_s;
        QTest::newRow("port not a number") << u"example.com:http"_s << u""_s;
        QTest::newRow("scheme only") << u"https://"_s << u""_s;
        QTest::newRow("header caption") << u"查询域名"_s << u""_s;
    }
    void normalise()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QCOMPARE(NameImport::normaliseName(text).value_or(QString()), name);
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QString text = u"中文.com\r\nexample.com\n"_s;
        const auto encode = [&](QStringEncoder::Encoding e) {
            return QByteArray(QStringEncoder(e)(text));
        };
        QTest::newRow("UTF-8") << encode(QStringEncoder::Utf8);
        QTest::newRow("UTF-8, BOM") << "\xEF\xBB\xBF" + encode(QStringEncoder::Utf8);
        QTest::newRow("UTF-16 LE, BOM") << "\xFF\xFE" + encode(QStringEncoder::Utf16LE);
        QTest::newRow("UTF-16 BE, BOM") << "\xFE\xFF" + encode(QStringEncoder::Utf16BE);
        QStringEncoder gb("GB18030");
        QVERIFY(gb.isValid());
        QTest::newRow("GB18030") << QByteArray(gb(text));
    }
    void decode()
    {
        QFETCH(QByteArray, bytes);
        const QString text = NameImport::decodeFile(bytes);
        QCOMPARE(text, u"中文.com\r\nexample.com\n"_s);
        QCOMPARE(NameImport::readNames(text).names,
                 (QStringList{u"xn--fiq228c.com"_s, u"example.com"_s}));
    }

    void invalidBytesReadAsReplacement_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("not UTF-8, not GB18030")
            << QByteArray("a.com\n\x80\xFF") << u"a.com\n\uFFFD\uFFFD"_s;
        QTest::newRow("UTF-8 BOM, bad byte") << QByteArray("\xEF\xBB\xBF"
                                                           "a.com\n\xC3")
                                             << u"a.com\n\uFFFD"_s;
        QTest::newRow("UTF-16 LE, odd byte") << QByteArray("\xFF\xFE"
                                                           "a\0.\0c\0n\0\n\0x",
                                                           13)
                                             << u"a.cn\n\uFFFD"_s;
    }
    void invalidBytesReadAsReplacement()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const QString decoded = NameImport::decodeFile(bytes);
        QCOMPARE(decoded, text);
        const NameImport::Result r = NameImport::readNames(decoded);
        QCOMPARE(r.names.size(), 1);
        QCOMPARE(r.skipped, 1);
    }

    void readsListsAndExports()
    {
        const QString text = u"查询域名,百度收录,百度反链\r\n"
                             u"Example.com,12,\"3,400\"\r\n"
                             u"\r\n"
                             u"\"quoted.net\",\"a \"\"b\"\"\"\n"
                             u"http://example.com/index.html\n"
                             u"www.quoted.net.\n"
                             u"not a name\n"
                             u"<br>\n"
                             u"中文.com\n"
                             u"   \n"
                             u"xn--fiq228c.com:80\n"
                             u"third.org"_s;
        const NameImport::Result r = NameImport::readNames(text);
        QCOMPARE(r.names, (QStringList{u"example.com"_s, u"quoted.net"_s, u"xn--fiq228c.com"_s,
                                       u"third.org"_s}));
        QCOMPARE(r.skipped, 3);
        QCOMPARE(r.duplicates, 3);

        // The grid's own CSV export, with its byte-order mark, reads back as its names.
        const QByteArray csv =
            GridExport::csv(GridExport::header(),
                            {{u"b.com"_s, u"1,000"_s}, {u"a.com"_s, u"=1"_s}, {u"b.com"_s}}, true);
        const NameImport::Result back = NameImport::readNames(NameImport::decodeFile(csv));
        QCOMPARE(back.names, (QStringList{u"b.com"_s, u"a.com"_s}));
        QCOMPARE(back.skipped, 1);
        QCOMPARE(back.duplicates, 1);
    }
};

QTEST_GUILESS_MAIN(TestNameImport)
#include "tst_name_import.moc"
