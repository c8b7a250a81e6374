// Names from a user's file: decoding, normalising, and reading a whole list.
#include "sources/NameImport.h"

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
        const QString long253 = (QString(63, u'a') + u'.').repeated(3) + QString(57, u'b') + ".com";
        QTest::newRow("case, blanks") << u" \tExample.COM \r"_s << u"example.com"_s;
        QTest::newRow("URL") << u"HTTPS://WWW.Example.com:8443/a?x=1#top"_s << u"example.com"_s;
        QTest::newRow("port, query") << u"example.net:8080?ref=1"_s << u"example.net"_s;
        QTest::newRow("trailing dot") << u"www.example.com."_s << u"example.com"_s;
        QTest::newRow("www is the name") << u"www.com"_s << u"www.com"_s;
        QTest::newRow("IDN in a URL") << u"http://www.中文.COM/页"_s << u"xn--fiq228c.com"_s;
        QTest::newRow("longest") << long253 << long253;
        QTest::newRow("blank") << u"  \t "_s << u""_s;
        QTest::newRow("no dot") << u"localhost"_s << u""_s;
        QTest::newRow("e-mail") << u"user@example.com"_s << u""_s;
        QTest::newRow("IPv4 URL") << u"http://10.0.0.1:8080/"_s << u""_s;
        QTest::newRow("hyphen at an end") << u"bad-.com"_s << u""_s;
        QTest::newRow("empty label") << u"a..com"_s << u""_s;
        QTest::newRow("underscore") << u"under_score.com"_s << u""_s;
        QTest::newRow("label of 64") << QString(64, u'a') + u".com"_s << u""_s;
        QTest::newRow("254 in all") << u"a"_s + long253 << u""_s;
        QTest::newRow("port not a number") << u"example.com:http"_s << u""_s;
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
        QTest::addColumn<QString>("text");
        const QString text = u"中文.com\r\nexample.com\n"_s;
        const auto as = [&](auto e) { return QByteArray(QStringEncoder(e)(text)); };
        QTest::newRow("UTF-8") << as(QStringEncoder::Utf8) << text;
        QTest::newRow("UTF-8, BOM") << "\xEF\xBB\xBF" + as(QStringEncoder::Utf8) << text;
        QTest::newRow("UTF-16 LE, BOM") << "\xFF\xFE" + as(QStringEncoder::Utf16LE) << text;
        QTest::newRow("UTF-16 BE, BOM") << "\xFE\xFF" + as(QStringEncoder::Utf16BE) << text;
        QTest::newRow("UTF-16 LE") << as(QStringEncoder::Utf16LE) << text;
        QTest::newRow("UTF-16 BE, odd end")
            << as(QStringEncoder::Utf16BE) + 'x' << text + u'\uFFFD';
        // Zeros on both sides of a pair: binary, not UTF-16.
        const QByteArray ints = QByteArray::fromHex("010000000a0000002e0000007f000000");
        QTest::newRow("32-bit integers") << ints << QString::fromLatin1(ints);
        QTest::newRow("GB18030") << as("GB18030") << text;
        QTest::newRow("neither") << QByteArray("a.com\n\x80\xFF") << u"a.com\n\uFFFD\uFFFD"_s;
        QTest::newRow("BOM, cut") << "\xEF\xBB\xBF" + QByteArray("a.com\xC3") << u"a.com\uFFFD"_s;
    }
    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(NameImport::decodeFile(bytes), text);
    }

    // A list or a CSV file's first column: each name once, junk counted, blank lines not.
    void readNames()
    {
        const NameImport::Result r = NameImport::readNames(
            u"查询域名,百度收录\r\nExample.com,12,\"3,400\"\r\n\r\n\"quoted.net\",\"a \"\"b\"\"\"\n"
            u"not a name\n中文.com\n   \nxn--fiq228c.com:80\nhttp://www.example.com/x"_s);
        QCOMPARE(r.names, (QStringList{u"example.com"_s, u"quoted.net"_s, u"xn--fiq228c.com"_s}));
        QCOMPARE(r.skipped, 2); // the header and "not a name"
        QCOMPARE(r.duplicates, 2);
    }
};

QTEST_GUILESS_MAIN(TestNameImport)
#include "tst_name_import.moc"
