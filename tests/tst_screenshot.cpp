// Drives the demo road through the real controls and saves what the window looks like (under
// build/tests/screenshots/), at 1x and, run again by CTest, at 2x, for a person to look at.
#include "Fixture.h"
#include "app/ClickableLabel.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "probes/QueryRun.h"
#include "session/Session.h"
#include "table/ResultTable.h"

#include <QtWidgets>

using namespace Qt::StringLiterals;

class TestScreenshot : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A question box answered with Enter says OK: OK is its default button.
    void questionDefaultsToOk()
    {
        QTimer::singleShot(
            0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); });
        QCOMPARE(Dialogs::ask(nullptr, u"退出"_s, u"真的退出吗?"_s), Dialogs::Answer::Ok);
    }

    void demoRoad()
    {
        SimFixture f;
        isolateUserFolders(); // the window's remembered size stays here
        Dialogs::queueAnswers({});
        MainWindow window(f.options());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const MainWindowControls &ui = window.controls();
        QTest::mouseClick(ui.dayButtons[2], Qt::LeftButton);
        QTRY_VERIFY(ui.suffixButtons[9]->text().startsWith(u".cn 共："_s));
        QTest::mouseClick(ui.suffixButtons[0], Qt::LeftButton);
        QVERIFY(ui.categoryCounts[1]->text().toInt() > 0);
        QTest::mouseClick(ui.categoryCounts[1], Qt::LeftButton);
        for (int k : {0, 2, 6, 7, 8, 9})
            ui.metricBoxes[k]->setChecked(true);
        QTest::mouseClick(ui.runButton, Qt::LeftButton);
        // A few seconds natively; over a minute under the sanitizers on a busy 2-core machine.
        QTRY_VERIFY_WITH_TIMEOUT(!window.session()->run()->isBusy(), 240'000);
        // Every ticked cell holds what the simulated page says, not a failure.
        const ResultTable &grid = *window.session()->grid();
        for (int row : {0, grid.rowCount() - 1}) {
            const QString domain = grid.cell(row, kDomainColumn);
            for (int k : {0, 2, 6, 7, 8, 9})
                QCOMPARE(grid.cell(row, *Probes::metric(k).column), expectedCell(k, domain));
        }

        // Beside the test program in the build folder, never in the source tree.
        const QString dir = QCoreApplication::applicationDirPath() + u"/screenshots"_s;
        QVERIFY(QDir().mkpath(dir));
        const auto save = [&](const QString &name) {
            const QString file = dir + u'/' + name.arg(window.devicePixelRatio());
            QVERIFY(window.grab().save(file));
            qInfo("saved %s", qPrintable(file));
        };
        save(u"demo-road-%1x.png"_s);
        window.resize(1280, 900); // as on a bigger screen
        QTRY_COMPARE(window.size(), QSize(1280, 900));
        save(u"demo-road-1280x900-%1x.png"_s);
    }
};

QTEST_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
