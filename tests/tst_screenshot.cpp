// Drives the demo road through the real controls and saves what the window looks like (under
// build/tests/screenshots/), at 1x and, run again by CTest, at 2x, for a person to look at.
#include "Fixture.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "probes/QueryRun.h"
#include "session/Session.h"
#include "table/ResultTable.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>

class TestScreenshot : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A question box answered with Enter says OK: OK is its default button.
    void questionDefaultsToOk()
    {
        QTimer::singleShot(
            0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); });
        QCOMPARE(Dialogs::ask(nullptr, QStringLiteral("退出"), QStringLiteral("真的退出吗?")),
                 Dialogs::Answer::Ok);
    }

    void demoRoad()
    {
        SimFixture f;
        isolateUserFolders(); // the window's remembered size stays here
        Dialogs::queueAnswers({});
        MainWindow window(f.endpoints());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto click = [&](const QString &name) {
            QWidget *w = window.findChild<QWidget *>(name);
            QVERIFY2(w, qPrintable(name));
            QTest::mouseClick(w, Qt::LeftButton);
        };
        click(QStringLiteral("dayButton_2"));
        auto *cn = window.findChild<QPushButton *>(QStringLiteral("suffixButton_9"));
        QTRY_VERIFY(cn->text().startsWith(QStringLiteral(".cn 共：")));
        click(QStringLiteral("suffixButton_0"));
        auto *count = window.findChild<QLabel *>(QStringLiteral("categoryCount_1"));
        QVERIFY(count->text().toInt() > 0);
        click(QStringLiteral("categoryCount_1"));
        for (int k : {0, 2, 6, 7})
            window.findChild<QCheckBox *>(QStringLiteral("metricBox_%1").arg(k))->setChecked(true);
        click(QStringLiteral("runButton"));
        QTRY_VERIFY_WITH_TIMEOUT(!window.session()->run()->isBusy(), 60000);
        QVERIFY(window.session()->grid()->cell(0, Registration) != kBlankCell);

        const QString dir = QDir::current().absoluteFilePath(QStringLiteral("screenshots"));
        QDir().mkpath(dir);
        const QString file =
            dir + QStringLiteral("/demo-road-%1x.png").arg(window.devicePixelRatio());
        QVERIFY(window.grab().save(file));
        qInfo("saved %s", qPrintable(file));
        // And enlarged, as on a bigger screen.
        window.resize(1280, 900);
        QTRY_COMPARE(window.size(), QSize(1280, 900));
        const QString large =
            dir + QStringLiteral("/demo-road-1280x900-%1x.png").arg(window.devicePixelRatio());
        QVERIFY(window.grab().save(large));
        qInfo("saved %s", qPrintable(large));
    }
};

QTEST_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
