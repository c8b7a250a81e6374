#include "fetch/Endpoints.h"

#include <QTest>

class TestEndpoints : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("host");
        QTest::newRow("one name") << "baidu = 127.0.0.1:8080\n"
                                  << true << "baidu"
                                  << "127.0.0.1:8080";
        QTest::newRow("comment and blanks") << "# sites\n\n  icp=icp.test   # filing\n"
                                            << true << "icp"
                                            << "icp.test";
        QTest::newRow("others keep defaults")
            << "icp = x.test" << true << "google" << Endpoints::publicHosts().google;
        QTest::newRow("ipv6") << "maker = [::1]:9" << true << "maker"
                              << "[::1]:9";
        QTest::newRow("unknown name") << "bing = b.test" << false << ""
                                      << "";
        QTest::newRow("no equals") << "baidu b.test" << false << ""
                                   << "";
        QTest::newRow("empty host") << "baidu =" << false << ""
                                    << "";
        QTest::newRow("path in host") << "baidu = b.test/evil" << false << ""
                                      << "";
        QTest::newRow("port out of range") << "baidu = b.test:70000" << false << ""
                                           << "";
        QTest::newRow("scheme in host") << "baidu = http://b.test" << false << ""
                                        << "";
        QTest::newRow("bad line after good") << "baidu = ok.test\nnonsense" << false << ""
                                             << "";
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, name);
        QFETCH(QString, host);
        QString error;
        const auto parsed = Endpoints::parse(text, Endpoints::publicHosts(), &error);
        QCOMPARE(parsed.has_value(), ok);
        if (ok)
            QCOMPARE(parsed->host(name), host);
        else
            QVERIFY(error.startsWith(QStringLiteral("line ")));
    }

    void roundTrip()
    {
        const Endpoints e = Endpoints::allAt(QStringLiteral("127.0.0.1:4321"));
        QString error;
        const auto parsed = Endpoints::parse(e.toFileText(), Endpoints::publicHosts(), &error);
        QVERIFY2(parsed.has_value(), qPrintable(error));
        QCOMPARE(*parsed, e);
        QCOMPARE(Endpoints::names().size(), 10);
    }
};

QTEST_GUILESS_MAIN(TestEndpoints)
#include "tst_endpoints.moc"
