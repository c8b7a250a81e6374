#include "SimContent.h"
#include "SiteSimulator.h"
#include "app/Clock.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "sources/CategoryImport.h"
#include "sources/DeletionLists.h"
#include "sources/ListSorts.h"
#include "table/QueryRun.h"
#include "table/ResultTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

using Route = SiteSimulator::Route;

// Receives the addresses the window hands to the desktop.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl &url) { urls << url; }
};

class TestMainWindow : public QObject {
    Q_OBJECT

    SiteSimulator m_sim;
    UrlCatcher m_catcher;
    std::unique_ptr<MainWindow> m_window;

    template <typename T> T *child(const QString &name)
    {
        T *w = m_window->findChild<T *>(name);
        if (!w)
            qFatal("no control %s", qPrintable(name));
        return w;
    }
    ResultTable *table() { return m_window->table(); }
    QString caption() { return child<QPushButton>(QStringLiteral("Command2"))->text(); }

    QStringList names(int n)
    {
        QStringList out;
        for (int i = 0; i < n; ++i)
            out << QStringLiteral("pick%1.com").arg(i);
        return out;
    }

    // Answers the currently parked request and parks the next one again.
    void step(Route route)
    {
        m_sim.release(route);
        m_sim.hold(route);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_sim.listen());
        Dialogs::queueAnswers({}); // no box ever opens in this test
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_catcher, "open");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("http")); }
    void init()
    {
        m_sim.clearFaults();
        m_sim.clearLog();
        m_catcher.urls.clear();
        Dialogs::clearShownBoxes();
        Clock::setToday(QDate(2011, 4, 15));
        m_window = std::make_unique<MainWindow>(m_sim.endpoints());
        m_window->show();
    }
    void cleanup()
    {
        m_sim.release(Route::All);
        m_window.reset();
    }

    void startUp()
    {
        QVERIFY(m_window->windowTitle().startsWith(QStringLiteral("Varnel 8.1")));
        QCOMPARE(child<QLineEdit>(QStringLiteral("Text1"))->text(), QStringLiteral("2011-04-15"));
        QCOMPARE(child<QLabel>(QStringLiteral("Label10"))->text(),
                 QStringLiteral("当前系统日期：2011-04-15"));
        QVERIFY(child<QFrame>(QStringLiteral("Frame5"))->isHidden());
        QVERIFY(child<QFrame>(QStringLiteral("Frame6"))->isHidden());
        QCOMPARE(child<QListView>(QStringLiteral("List1"))->currentIndex().row(), 0);
        QCOMPARE(table()->RowCount(), 1);
        for (int c = 0; c < kColumnCount; ++c)
            QCOMPARE(table()->CellText(1, c), kBlankCell);
        QCOMPARE(child<QTableView>(QStringLiteral("ListView1"))->model(), table());
        QCOMPARE(caption(), QStringLiteral("开始查询"));
        QCOMPARE(child<QLabel>(QStringLiteral("Label12"))->text(),
                 QStringLiteral("查询中如卡住：请重复点击查询"));
    }

    void emptyTableIsRefused()
    {
        child<QCheckBox>(QStringLiteral("Check2_0"))->setChecked(true);
        QTest::mouseClick(child<QPushButton>(QStringLiteral("Command2")), Qt::LeftButton);
        QCOMPARE(Dialogs::shownBoxes().size(), 1);
        QVERIFY(Dialogs::shownBoxes().first().endsWith(QStringLiteral("|请先加入要查询的域名！")));
        QCOMPARE(caption(), QStringLiteral("开始查询"));
        QVERIFY(!child<QCheckBox>(QStringLiteral("Check3"))->isChecked());
        QCOMPARE(m_sim.requestCount(), 0);
    }

    void runFillsTickedColumnsInIndexOrder()
    {
        const QStringList domains = names(6);
        CategoryImport(*table(), domains);
        QTest::mouseClick(child<QCheckBox>(QStringLiteral("Check2_2")), Qt::LeftButton);
        QTest::mouseClick(child<QCheckBox>(QStringLiteral("Check2_7")), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(QStringLiteral("Command2")), Qt::LeftButton);
        QCOMPARE(caption(), QStringLiteral("停止"));
        QTRY_COMPARE(m_sim.requestCount(Route::Registrar), domains.size());
        QTRY_COMPARE(caption(), QStringLiteral("开始查询"));
        for (int r = 1; r <= domains.size(); ++r) {
            QVERIFY(table()->CellText(r, GoogleSite) != kBlankCell);
            QCOMPARE(table()->CellText(r, Registration), SimContent::registrable(domains[r - 1])
                                                             ? QStringLiteral("可注册")
                                                             : QStringLiteral("已被注册"));
            QCOMPARE(table()->CellText(r, BaiduSite), kBlankCell);
        }
        QCOMPARE(m_sim.requestCount(), 2 * int(domains.size())); // Google first, then registration
        const QStringList log = m_sim.requestTargets();
        QVERIFY(log.first().startsWith(QStringLiteral("/search")));
        QVERIFY(log.last().startsWith(QStringLiteral("/cgi-bin")));
    }

    void stopDuringAWaitTakesEffectAtTheNextRow()
    {
        CategoryImport(*table(), names(6));
        child<QCheckBox>(QStringLiteral("Check2_0"))->setChecked(true);
        child<QCheckBox>(QStringLiteral("Check2_2"))->setChecked(true);
        m_sim.hold(Route::BaiduSite);
        QTest::mouseClick(child<QPushButton>(QStringLiteral("Command2")), Qt::LeftButton);
        QTRY_COMPARE(m_sim.heldCount(Route::BaiduSite), 1);
        step(Route::BaiduSite);
        QTRY_COMPARE(m_sim.requestCount(Route::BaiduSite), 2);
        step(Route::BaiduSite);
        QTRY_COMPARE(m_sim.requestCount(Route::BaiduSite), 3);
        QTRY_COMPARE(m_sim.heldCount(Route::BaiduSite), 1); // row 3 waits

        QTest::mouseClick(child<QPushButton>(QStringLiteral("Command2")), Qt::LeftButton);
        QCOMPARE(caption(), QStringLiteral("开始查询"));
        QVERIFY(child<QCheckBox>(QStringLiteral("Check3"))->isChecked());
        m_sim.release(Route::BaiduSite);
        QTRY_VERIFY(table()->CellText(3, BaiduSite) != kBlankCell); // the waiting row is written
        QTRY_VERIFY(!m_window->queryRun()->isBusy());
        for (int r = 4; r <= 6; ++r)
            QCOMPARE(table()->CellText(r, BaiduSite), kBlankCell);
        for (int r = 1; r <= 6; ++r)
            QCOMPARE(table()->CellText(r, GoogleSite), kBlankCell);
        QCOMPARE(m_sim.requestCount(), 3);
        QCOMPARE(caption(), QStringLiteral("开始查询"));
        QVERIFY(child<QCheckBox>(QStringLiteral("Check3"))->isChecked());

        // The next start clears the flag and runs from row 1.
        m_sim.clearLog();
        QTest::mouseClick(child<QPushButton>(QStringLiteral("Command2")), Qt::LeftButton);
        QVERIFY(!child<QCheckBox>(QStringLiteral("Check3"))->isChecked());
        QTRY_COMPARE(m_sim.requestCount(), 12);
        QTRY_COMPARE(caption(), QStringLiteral("开始查询"));
        QCOMPARE(m_sim.requestTargets().first(), QStringLiteral("/s?wd=site%3Apick0.com"));
    }

    void startWhileAnInterruptedRunWaits()
    {
        CategoryImport(*table(), names(4));
        child<QCheckBox>(QStringLiteral("Check2_3"))->setChecked(true);
        m_sim.hold(Route::YahooPages);
        auto *run = child<QPushButton>(QStringLiteral("Command2"));
        QTest::mouseClick(run, Qt::LeftButton); // start
        QTRY_COMPARE(m_sim.heldCount(Route::YahooPages), 1);
        QTest::mouseClick(run, Qt::LeftButton); // stop
        QTest::mouseClick(run, Qt::LeftButton); // start again inside the wait
        QTRY_COMPARE(m_sim.heldCount(Route::YahooPages), 2);
        m_sim.release(Route::YahooPages);
        QTRY_VERIFY(!m_window->queryRun()->isBusy());
        // Only the new run went on: row 1 twice (old and new run), rows 2 to 4 once.
        QCOMPARE(m_sim.requestCount(Route::YahooPages), 5);
        QCOMPARE(caption(), QStringLiteral("开始查询"));
    }

    void filterThroughTheControls()
    {
        const QStringList domains{QStringLiteral("a.com"), QStringLiteral("b-c.com"),
                                  QStringLiteral("d.com")};
        CategoryImport(*table(), domains);
        table()->SetCellText(1, BaiduSite, QStringLiteral("0"));
        table()->SetCellText(2, BaiduSite, QStringLiteral("1,230"));
        auto *combo = child<QComboBox>(QStringLiteral("Combo1"));
        QCOMPARE(combo->count(), 9);
        QCOMPARE(combo->currentText(), QStringLiteral("删除百度收录小于"));
        QCOMPARE(child<QLineEdit>(QStringLiteral("Text4"))->text(), QStringLiteral("0"));
        QTest::mouseClick(child<QPushButton>(QStringLiteral("Command8")), Qt::LeftButton);
        QCOMPARE(table()->RowCount(), 2); // "0" <= 0 went, " " stayed
        combo->setCurrentText(QStringLiteral("删除带-的域名"));
        QTest::mouseClick(child<QPushButton>(QStringLiteral("Command8")), Qt::LeftButton);
        QCOMPARE(table()->RowCount(), 1);
        QCOMPARE(table()->CellText(1, kDomainColumn), QStringLiteral("d.com"));
    }

    void lookupFillsTheDetailPanel()
    {
        // A domain the tool knows and one that is filed, to see both pages land.
        QString known;
        for (int i = 0; known.isEmpty(); ++i) {
            const QString d = QStringLiteral("detail%1.com").arg(i);
            if (!SimContent::deletionInfo(d).cells.isEmpty() && !SimContent::icpNumber(d).isEmpty())
                known = d;
        }
        child<QLineEdit>(QStringLiteral("Text5"))->setText(known);
        QTest::mouseClick(child<QPushButton>(QStringLiteral("Command11")), Qt::LeftButton);
        QTRY_COMPARE(child<QLabel>(QStringLiteral("Label7"))->text(), SimContent::icpNumber(known));
        const QString countdown = SimContent::deletionInfo(known).countdown;
        QCOMPARE(child<QLabel>(QStringLiteral("Label6_6"))->text(),
                 QString(countdown).remove(u' '));
        QVERIFY(child<QLabel>(QStringLiteral("Label6_3"))->text() != QStringLiteral(".."));

        child<QLineEdit>(QStringLiteral("Text5"))->clear();
        QTest::mouseClick(child<QPushButton>(QStringLiteral("Command11")), Qt::LeftButton);
        QVERIFY(Dialogs::shownBoxes().last().endsWith(QStringLiteral("|查询域名不能为空")));
        QCOMPARE(child<QLabel>(QStringLiteral("Label7"))->text(), QStringLiteral(".."));
        QCOMPARE(child<QLabel>(QStringLiteral("Label6_1"))->text(), QStringLiteral(".."));
    }

    void doubleClickActsOnTheColumnUnderThePointer_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("dx"); // from the column's left edge
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("text5");
        QTest::newRow("domain copies") << 1 << 5 << ""
                                       << "pick0.com";
        QTest::newRow("baidu backlinks") << 3 << 5 << "/s?wd=domain%3Apick0.com"
                                         << "";
        QTest::newRow("exact edge belongs left") << 3 << 0 << "/s?wd=site%3Apick0.com"
                                                 << "";
        QTest::newRow("yahoo www") << 6 << 5 << "/search?bwm=i&p=www.pick0.com"
                                   << "";
        QTest::newRow("yahoo bare") << 7 << 5 << "/search?bwm=i&p=pick0.com"
                                    << "";
        QTest::newRow("label column") << 0 << 5 << ""
                                      << "";
        QTest::newRow("pagerank") << 8 << 5 << ""
                                  << "";
        QTest::newRow("registration") << 9 << 5 << ""
                                      << "";
    }
    void doubleClickActsOnTheColumnUnderThePointer()
    {
        QFETCH(int, column);
        QFETCH(int, dx);
        QFETCH(QString, opened);
        QFETCH(QString, text5);
        CategoryImport(*table(), names(2));
        auto *grid = child<QTableView>(QStringLiteral("ListView1"));
        auto *text = child<QLineEdit>(QStringLiteral("Text5"));
        text->setText(QStringLiteral("unchanged"));
        const QPoint at(m_window->ColumnLeft(column) + dx, grid->rowViewportPosition(0) + 3);
        // A real double-click starts with a click that selects the row.
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(m_catcher.urls.size(), opened.isEmpty() ? 0 : 1);
        if (!opened.isEmpty())
            QCOMPARE(m_catcher.urls.first().toString(QUrl::FullyEncoded),
                     QStringLiteral("http://") + m_sim.hostPort() + opened);
        QCOMPARE(text->text(), text5.isEmpty() ? QStringLiteral("unchanged") : text5);
    }

    void doubleClickBelowTheRowsDoesNothing()
    {
        CategoryImport(*table(), names(1));
        auto *grid = child<QTableView>(QStringLiteral("ListView1"));
        grid->selectRow(0);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {},
                           QPoint(m_window->ColumnLeft(3) + 5, grid->viewport()->height() - 3));
        QVERIFY(m_catcher.urls.isEmpty());
    }

    void updateCheck_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("offered");
        QTest::newRow("9.3") << "9.3" << true;
        QTest::newRow("9.30") << "9.30" << true;
        QTest::newRow("19.3") << "19.3" << true;
        QTest::newRow("10.0") << "10.0" << false;
        QTest::newRow("9.4") << "9.4" << false;
    }
    void updateCheck()
    {
        QFETCH(QString, version);
        QFETCH(bool, offered);
        m_sim.setVersionText(version);
        Dialogs::queueAnswers({Dialogs::Answer::Ok});
        auto *timer = child<QTimer>(QStringLiteral("Timer1"));
        QCOMPARE(timer->interval(), 3000);
        timer->start(1);
        QTRY_COMPARE(m_sim.requestCount(Route::MakerVersion), 1);
        QTRY_VERIFY(!timer->isActive());
        if (offered) {
            QTRY_COMPARE(m_catcher.urls.size(), 1);
            QCOMPARE(m_catcher.urls.first().toString(),
                     QStringLiteral("http://") + m_sim.hostPort() + QStringLiteral("/varnel/"));
            QVERIFY(Dialogs::shownBoxes().last().startsWith(QStringLiteral("发现最新版本|")));
        } else {
            QTest::qWait(50);
            QVERIFY(Dialogs::shownBoxes().isEmpty());
            while (Dialogs::answersQueued()) // leave no answer for the next test
                Dialogs::ask(nullptr, {}, {});
        }
        QTest::qWait(20);
        QCOMPARE(m_sim.requestCount(Route::MakerVersion), 1); // once per run of the program
    }

    void headerClickSortsAsText()
    {
        CategoryImport(*table(),
                       {QStringLiteral("a.com"), QStringLiteral("b.com"), QStringLiteral("c.com")});
        table()->SetCellText(1, BaiduSite, QStringLiteral("9"));
        table()->SetCellText(2, BaiduSite, QStringLiteral("10"));
        table()->SetCellText(3, BaiduSite, QStringLiteral("1,230,000"));
        QHeaderView *header = child<QTableView>(QStringLiteral("ListView1"))->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(BaiduSite) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(table()->CellText(1, BaiduSite), QStringLiteral("9"));
        QCOMPARE(table()->CellText(3, BaiduSite), QStringLiteral("1,230,000"));
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(table()->CellText(1, BaiduSite), QStringLiteral("1,230,000"));
    }

    void dayToCategoryToGrid()
    {
        QTest::mouseClick(child<QPushButton>(QStringLiteral("Command6_1")), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>(QStringLiteral("Text1"))->text(), QStringLiteral("2011-04-14"));
        QCOMPARE(child<QLineEdit>(QStringLiteral("Text2"))->text(), QStringLiteral("2todayDel"));
        QCOMPARE(child<QLabel>(QStringLiteral("Label11"))->text(),
                 QStringLiteral("以下为昨天删除域名信息"));
        QVERIFY(!child<QFrame>(QStringLiteral("Frame5"))->isHidden()); // loading
        QTRY_VERIFY(child<QFrame>(QStringLiteral("Frame5"))->isHidden());
        QCOMPARE(child<QLabel>(QStringLiteral("Label1"))->text().left(6),
                 QStringLiteral("载入完毕,共"));
        DeletionLists *lists = m_window->deletionLists();
        for (int i = 0; i < Sources::kSourceCount; ++i)
            QCOMPARE(child<QPushButton>(QStringLiteral("Command7_%1").arg(i))->text(),
                     Sources::suffixCaption(i, lists->list(i).size()));

        QTest::mouseClick(child<QPushButton>(QStringLiteral("Command7_2")), Qt::LeftButton); // net
        const Sources::Categories want =
            Sources::LengthBreakdown(lists->list(Sources::Net), Sources::Net);
        for (int k = 0; k < Sources::kCategoryCount; ++k)
            QCOMPARE(child<QLabel>(QStringLiteral("Label2_%1").arg(k))->text(),
                     QString::number(want[k].size()));
        QVERIFY(!want[2].isEmpty());
        QTest::mouseClick(child<QLabel>(QStringLiteral("Label2_2")), Qt::LeftButton);
        QCOMPARE(table()->RowCount(), int(want[2].size()));
        QCOMPARE(table()->CellText(1, 0), QStringLiteral("0"));
        QCOMPARE(table()->CellText(1, kDomainColumn), want[2].first());
        QCOMPARE(table()->CellText(1, BaiduSite), kBlankCell);
    }

    void sortButtons()
    {
        DeletionLists *lists = m_window->deletionLists();
        lists->setList(Sources::Com,
                       {QStringLiteral("bb"), QStringLiteral("ab"), QStringLiteral("a")});
        lists->setList(Sources::NetCn, {QStringLiteral("ccc.net.cn"), QStringLiteral("a.net.cn")});
        lists->setList(Sources::Cn, {QStringLiteral("ccc.cn"), QStringLiteral("a.cn")});
        child<QPushButton>(QStringLiteral("Command5"))->click();
        QCOMPARE(lists->list(Sources::Com), (QStringList{"a", "ab", "bb"}));
        QCOMPARE(lists->list(Sources::NetCn).first(), QStringLiteral("ccc.net.cn")); // not its job
        child<QPushButton>(QStringLiteral("Command4"))->click();
        QCOMPARE(lists->list(Sources::NetCn).first(), QStringLiteral("a.net.cn"));
        QCOMPARE(lists->list(Sources::Cn).first(), QStringLiteral("ccc.cn")); // never sorted
        QVERIFY(m_window->findChild<QWidget *>(QStringLiteral("Form4"))->isHidden());

        auto *out = child<QListView>(QStringLiteral("List1"));
        QCOMPARE(out->model()->rowCount(), 3);
        child<QPushButton>(QStringLiteral("Command1"))->click();
        QCOMPARE(out->model()->rowCount(), 17);
        QCOMPARE(out->model()->index(0, 0).data().toString(), QStringLiteral("26"));
        QCOMPARE(out->model()->index(16, 0).data().toString(), QStringLiteral("45968"));
    }

    void closeCancelledKeepsTheRunGoing()
    {
        CategoryImport(*table(), names(3));
        child<QCheckBox>(QStringLiteral("Check2_2"))->setChecked(true);
        m_sim.hold(Route::Google);
        QTest::mouseClick(child<QPushButton>(QStringLiteral("Command2")), Qt::LeftButton);
        QTRY_COMPARE(m_sim.heldCount(Route::Google), 1);
        Dialogs::queueAnswers({Dialogs::Answer::Cancel});
        QVERIFY(!m_window->close());
        QVERIFY(m_window->isVisible());
        QVERIFY(Dialogs::shownBoxes().last().startsWith(QStringLiteral("退出|真的退出吗?")));
        m_sim.release(Route::Google);
        QTRY_COMPARE(caption(), QStringLiteral("开始查询"));
        QCOMPARE(m_sim.requestCount(Route::Google), 3);
    }

    void closeConfirmedEndsTheEventLoopDuringARun()
    {
        CategoryImport(*table(), names(3));
        child<QCheckBox>(QStringLiteral("Check2_2"))->setChecked(true);
        m_sim.hold(Route::Google);
        QTest::mouseClick(child<QPushButton>(QStringLiteral("Command2")), Qt::LeftButton);
        QTRY_COMPARE(m_sim.heldCount(Route::Google), 1);
        Dialogs::queueAnswers({Dialogs::Answer::Ok});
        QEventLoop loop;
        QTimer::singleShot(0, m_window.get(), [this] { m_window->close(); });
        QTimer::singleShot(5000, &loop, [&loop] { loop.exit(99); }); // a hang ends the test
        QCOMPARE(loop.exec(), 0);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
