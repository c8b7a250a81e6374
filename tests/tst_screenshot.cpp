// Drives the demo road through the real controls and saves what the window looks like, at 1x and
// 2x, for a person to look at (build/tests/screenshots/). Also checks nothing essential is clipped.
#include "SiteSimulator.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "table/QueryRun.h"
#include "table/ResultTable.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestScreenshot : public QObject {
    Q_OBJECT

    SiteSimulator m_sim;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_sim.listen());
        Dialogs::queueAnswers({});
    }

    void demoRoad()
    {
        MainWindow window(m_sim.endpoints());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto button = [&](const QString &name) {
            auto *b = window.findChild<QPushButton *>(name);
            if (!b)
                qFatal("no %s", qPrintable(name));
            return b;
        };
        QTest::mouseClick(button(QStringLiteral("Command6_2")), Qt::LeftButton);
        QTRY_VERIFY(
            button(QStringLiteral("Command7_9"))->text().startsWith(QStringLiteral(".cn 共：")));
        QTest::mouseClick(button(QStringLiteral("Command7_0")), Qt::LeftButton);
        auto *count = window.findChild<QLabel *>(QStringLiteral("Label2_1"));
        QVERIFY(count->text().toInt() > 0);
        QTest::mouseClick(count, Qt::LeftButton);
        QCOMPARE(window.table()->RowCount(), count->text().toInt());
        for (const char *box : {"Check2_0", "Check2_2", "Check2_6", "Check2_7"})
            window.findChild<QCheckBox *>(QLatin1String(box))->setChecked(true);
        QTest::mouseClick(button(QStringLiteral("Command2")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!window.queryRun()->isBusy(), 60000);
        QVERIFY(window.table()->CellText(1, Registration) != kBlankCell);

        const QString dir = QDir::current().absoluteFilePath(QStringLiteral("screenshots"));
        QDir().mkpath(dir);
        const QString file =
            dir + QStringLiteral("/demo-road-%1x.png").arg(window.devicePixelRatio());
        QVERIFY(window.grab().save(file));
        qInfo("saved %s", qPrintable(file));
    }
};

QTEST_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
