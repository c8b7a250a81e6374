#include "app/Layout.h"
#include "app/MainWindow.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTest>

class TestLayout : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindow> m_window;

private Q_SLOTS:
    void initTestCase()
    {
        m_window = std::make_unique<MainWindow>(Endpoints::allAt(QStringLiteral("127.0.0.1:9")));
        m_window->show();
    }
    void cleanupTestCase() { m_window.reset(); }

    void controlsLieAtTheirPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("rect");
        for (const Placement &p : form1Placements())
            QTest::newRow(qPrintable(p.name)) << p.name << p.container << p.rect;
    }
    void controlsLieAtTheirPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QRect, rect);
        const QList<QWidget *> found = m_window->findChildren<QWidget *>(name);
        QCOMPARE(found.size(), 1);
        QWidget *w = found.first();
        const QString parentName = w->parentWidget()->objectName();
        QCOMPARE(parentName, container == u"Form1" ? QStringLiteral("Form1Client") : container);
        QCOMPARE(w->geometry(), rect);
    }

    void twipsConvertAtFifteenPerPixel_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("rect");
        // A few places worked out by hand from the window's design.
        QTest::newRow("Frame3") << "Frame3" << QRect(0, -16, 721, 81);
        QTest::newRow("Command6_4") << "Command6_4" << QRect(568, 32, 121, 33);
        QTest::newRow("Command7_1 top row, fourth") << "Command7_1" << QRect(432, 8, 121, 33);
        QTest::newRow("Command7_6 bottom row, first") << "Command7_6" << QRect(24, 48, 121, 33);
        QTest::newRow("List12_3") << "List12_3" << QRect(320, 152, 97, 100);
        QTest::newRow("ListView1") << "ListView1" << QRect(0, 67, 713, 227);
        QTest::newRow("Label6_6") << "Label6_6" << QRect(636, 32, 84, 14);
    }
    void twipsConvertAtFifteenPerPixel()
    {
        QFETCH(QString, name);
        QFETCH(QRect, rect);
        QCOMPARE(m_window->findChild<QWidget *>(name)->geometry(), rect);
    }

    void clientAreaSize() { QCOMPARE(m_window->centralWidget()->size(), QSize(722, 576)); }

    void listsAreCutOffAtTheStripsEdge()
    {
        const QWidget *strip = m_window->findChild<QWidget *>(QStringLiteral("Frame1"));
        for (int k = 0; k < 7; ++k) {
            const QWidget *list =
                m_window->findChild<QWidget *>(QStringLiteral("List12_%1").arg(k));
            QVERIFY(list->geometry().bottom() > strip->height());
            QVERIFY(list->geometry().top() < strip->height());
        }
    }

    void visibleCaptionsFit_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *n : {"Command6_0", "Command6_4", "Command2", "Command8", "Command11"})
            QTest::newRow(n) << QString::fromLatin1(n);
        for (int k = 0; k < 7; ++k)
            QTest::newRow(qPrintable(QStringLiteral("Label3_%1").arg(k)))
                << QStringLiteral("Label3_%1").arg(k);
        for (int k = 0; k < 5; ++k)
            QTest::newRow(qPrintable(QStringLiteral("Label5_%1").arg(k)))
                << QStringLiteral("Label5_%1").arg(k);
    }
    void visibleCaptionsFit()
    {
        QFETCH(QString, name);
        QWidget *w = m_window->findChild<QWidget *>(name);
        QVERIFY(w);
        QString text;
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            text = b->text();
        else
            text = qobject_cast<QLabel *>(w)->text();
        const QFontMetrics fm(w->font());
        QVERIFY2(fm.horizontalAdvance(text) <= w->width(),
                 qPrintable(QStringLiteral("%1 needs %2 px, has %3")
                                .arg(text)
                                .arg(fm.horizontalAdvance(text))
                                .arg(w->width())));
        QVERIFY(fm.height() <= w->height() + 4);
    }

    void fonts()
    {
        for (const char *n : {"Command6_0", "Command7_3", "Command2", "Combo1", "Label3_0",
                              "Label2_0", "Label5_0", "Label10", "Label11"}) {
            const QFont f = m_window->findChild<QWidget *>(QLatin1String(n))->font();
            QVERIFY2(f.bold(), n);
            QCOMPARE(f.pointSize(), 9);
        }
        QVERIFY(!m_window->findChild<QWidget *>(QStringLiteral("Command8"))->font().bold());
        const QColor red = m_window->findChild<QWidget *>(QStringLiteral("Label6_6"))
                               ->palette()
                               .color(QPalette::WindowText);
        QCOMPARE(red, QColor(Qt::red));
        QVERIFY(m_window->findChild<QWidget *>(QStringLiteral("Label2_0"))->cursor().shape() ==
                Qt::PointingHandCursor);
    }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
