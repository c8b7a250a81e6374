// The window as a user drives it: each control reaches its logic and each result the screen.
#include "Fixture.h"
#include "SimFeeds.h"
#include "app/ClickableLabel.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "probes/QueryRun.h"
#include "session/Session.h"
#include "session/Settings.h"
#include "sources/CategoryImport.h"
#include "sources/DeletionLists.h"
#include "table/ResultTable.h"
#include "text/Clock.h"

#include <QtWidgets>

using namespace Qt::StringLiterals;

class TestMainWindow : public QObject {
    Q_OBJECT

    SimFixture m_f;
    QList<QUrl> m_urls; // what the window handed to the desktop
    std::unique_ptr<MainWindow> m_window;

    const MainWindowControls &ui() const { return m_window->controls(); }
    ResultTable *grid() { return m_window->session()->grid(); }
    QString label(const QString &name) { return m_window->findChild<QLabel *>(name)->text(); }
    QString status() { return label(u"noticeLabel"_s); }
    static void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton); }
    void import(const QStringList &names) { Sources::importCategory(*grid(), names); }

    // Triggers the `index`th action of `w`'s context menu, which must read `caption`.
    static void trigger(QWidget *w, int index, const QString &caption)
    {
        QAction *action = w->actions().value(index);
        QVERIFY2(action && action->text() == caption, qPrintable(caption));
        action->trigger();
    }

    // Double-clicks the grid at `row`, `dx` pixels right of `column`'s left edge.
    void doubleClick(int row, int column, int dx)
    {
        const QPoint at = ui().resultGrid->visualRect(grid()->index(row, column)).topLeft();
        QTest::mouseClick(ui().resultGrid->viewport(), Qt::LeftButton, {}, at + QPoint(dx, 3));
        QTest::mouseDClick(ui().resultGrid->viewport(), Qt::LeftButton, {}, at + QPoint(dx, 3));
    }

public Q_SLOTS:
    void openUrl(const QUrl &url) { m_urls << url; }

private Q_SLOTS:
    void initTestCase()
    {
        isolateUserFolders();      // the window's remembered size stays here
        Dialogs::queueAnswers({}); // no box ever opens in this test
        QDesktopServices::setUrlHandler(u"http"_s, this, "openUrl");
        Clock::setNow(QDateTime(QDate(2011, 4, 15), QTime(12, 0)));
        m_f.sim.setListSize(3000);
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(u"http"_s); }
    void init()
    {
        m_f.reset();
        m_f.sim.setVersionText(u"8.1"_s);
        m_urls.clear();
        Dialogs::clearShownBoxes();
        m_window = std::make_unique<MainWindow>(m_f.options());
        m_window->session()->fetcher()->setLimits(shortLimits());
        m_window->session()->run()->setBackoff({1, 1, 1}); // a refusal is written at once
        m_window->show();
    }
    void cleanup()
    {
        m_f.sim.release(Route::All);
        m_window.reset(); // it keeps its size and widths: the next starts from the defaults
        QFile::remove(QFileInfo(Settings::defaultPath()).absolutePath() + u"/window.conf"_s);
    }

    // The window as it opens: state, places (the design's twips / 15), stacking, boxes.
    void startUp()
    {
        QCOMPARE(ui().todayLabel->text(), u"当前系统日期：2011-04-15"_s);
        QVERIFY(ui().dayLoadingPanel->isHidden());
        QVERIFY(grid()->rowCount() == 1 && grid()->cell(0, kDomainColumn) == kBlankCell);
        QCOMPARE(ui().criterionCombo->currentText(), u"删除百度收录小于"_s);
        QCOMPARE(ui().sizeSortResultList->currentIndex().row(), 0);
        QVERIFY(ui().updateTimer->isActive() && ui().updateTimer->isSingleShot());
        QCOMPARE(ui().tableArea->geometry(), QRect(0, 216, 721, 313));
        QCOMPARE(ui().suffixButtons[1]->geometry(), QRect(432, 8, 121, 33));
        const auto topAt = [&](QWidget *w) { // where controls overlap, the needed one is on top
            return m_window->childAt(w->mapTo(m_window.get(), w->rect().center()));
        };
        QCOMPARE(topAt(ui().stopFlag), static_cast<QWidget *>(ui().runButton));
        QVERIFY(ui().dayStrip->isAncestorOf(topAt(ui().sortDomesticButton)));
        QCOMPARE(topAt(ui().cnReloadButton), static_cast<QWidget *>(ui().dayButtons[3]));

        click(ui().metricBoxes[0]);
        click(ui().runButton);
        Dialogs::queueAnswers({Dialogs::Answer::Cancel});
        QVERIFY(!m_window->close() && m_window->isVisible());
        QCOMPARE(Dialogs::shownBoxes(),
                 (QStringList{MainWindow::kTitle + u"|请先加入要查询的域名！"_s,
                              u"退出|真的退出吗?"_s}));
    }

    // The whole road by clicks (day, suffix, category count, run), then a stop.
    void dayToCategoryToRun()
    {
        click(ui().dayButtons[2]);
        const DeletionLists *lists = m_window->session()->lists();
        QTRY_VERIFY(ui().dayLoadingPanel->isHidden() && !lists->list(Sources::Cn).isEmpty());
        QCOMPARE(ui().dayHeaderLabel->text(), u"以下为今天删除域名信息"_s);
        QCOMPARE(ui().suffixButtons[2]->text(),
                 u".net 共：%1"_s.arg(lists->list(Sources::Net).size()));
        click(ui().suffixButtons[0]);
        const Sources::Categories &categories = m_window->session()->categories();
        for (int k = 0; k < Sources::kCategoryCount; ++k)
            QCOMPARE(ui().categoryCounts[k]->text(), QString::number(categories[k].size()));
        click(ui().categoryCounts[0]);
        QCOMPARE(status(), u"已导入%1个域名"_s.arg(categories[0].size()));

        import(categories[5].mid(0, 3));
        click(ui().metricCaptions[0]); // ticks its box
        m_f.sim.hold(Route::BaiduSite);
        click(ui().runButton);
        QCOMPARE(ui().runButton->text(), u"停止"_s);
        QTRY_VERIFY(label(u"progressLabel"_s).startsWith(u"百度 "_s));
        click(ui().runButton); // a stop
        QVERIFY(ui().stopFlag->isChecked());
        QCOMPARE(ui().runButton->text(), u"开始查询"_s);
        m_f.sim.release(Route::BaiduSite);
        QTRY_COMPARE(label(u"progressLabel"_s), QString());
    }

    // Thinning many runs of rows keeps column widths, sort indicator and selection.
    void filterKeepsTheGridAsArranged()
    {
        QStringList names;
        for (int i = 0; i < 300; ++i)
            names << (i % 2 ? u"n%1-x.com"_s : u"n%1.com"_s).arg(i, 3, 10, QChar(u'0'));
        import(names);
        QTableView *view = ui().resultGrid;
        view->setColumnWidth(kDomainColumn, 155);
        QTest::mouseClick(view->horizontalHeader()->viewport(), Qt::LeftButton, {},
                          QPoint(view->columnViewportPosition(kDomainColumn) + 10, 5));
        view->selectRow(1); // after the descending sort: n299-x.com, n298.com, ...
        ui().criterionCombo->setCurrentText(u"删除带-的域名"_s);
        click(ui().deleteRowsButton);
        QCOMPARE(status(), u"结果筛选：删除 150 行，剩余 150 行"_s);
        QCOMPARE(view->columnWidth(kDomainColumn), 155);
        QVERIFY(view->horizontalHeader()->isSortIndicatorShown());
        QCOMPARE(m_window->selectedRow(), 0);
        QCOMPARE(grid()->cell(0, kDomainColumn), u"n298.com"_s);
    }

    // The strips' menus reach the covered buttons and the registries' lists; notices (theirs, a
    // failed download's naming its address) stand side by side in the status bar.
    void contextMenusAndNotices()
    {
        DeletionLists *lists = m_window->session()->lists();
        lists->setList(Sources::Com, {u"abcd.com"_s, u"a.com"_s});
        lists->setList(Sources::ComCn, {u"abcd.com.cn"_s, u"a.com.cn"_s});
        trigger(ui().dayStrip, 1, u"国际域名高低排序"_s);
        trigger(ui().dayStrip, 2, u"国内域名高低排序"_s);
        QCOMPARE(lists->list(Sources::Com) + lists->list(Sources::ComCn),
                 (QStringList{u"a.com"_s, u"abcd.com"_s, u"a.com.cn"_s, u"abcd.com.cn"_s}));
        m_f.sim.setFault(Route::CnRegistryList, Fault::body("a.cn\r\n<b>x</b>\r\nb.bj.cn\r\n"));
        trigger(ui().categoryStrip, 0, u"国内域名"_s);
        QTRY_COMPARE(status(), u"国际域名已按长度排序；国内域名已按长度排序；跳过 2 行"_s);
        trigger(ui().dayStrip, 3, u"大小排序"_s);
        QCOMPARE(ui().sizeSortResultList->model()->rowCount(), 17);
        m_f.sim.setFault(Route::DailyList, Fault::refuse());
        click(ui().dayButtons[3]);
        const QString failed = u"；删除列表下载失败：http://%1/2011-04-16.txt（"_s;
        QTRY_VERIFY2(status().contains(failed.arg(m_f.sim.hostPort())), qPrintable(status()));

        const QMenu *registries = ui().dayStrip->actions().value(4)->menu();
        QStringList ids;
        for (const QAction *action : registries->actions())
            ids << action->text();
        QCOMPARE(ids, (QStringList{u"nu"_s, u"pl"_s, u"se"_s, u"uk"_s}));
        m_window->findChild<QAction *>(u"registryListAction_uk"_s)->trigger();
        QTRY_VERIFY(grid()->hasDropTimes());
        QCOMPARE(grid()->rowCount(),
                 SimFeeds::listed(SimFeeds::File::UkCsvGz, Clock::nowUtc().date()).size());
    }

    // A double-click acts once on the cell under the pointer (an edge belongs to the column on
    // its left); the lookup fills the panel, as text, and refuses a text that is no host name.
    void doubleClickAndLookup()
    {
        import({u"abc.com"_s, u"xyz.com"_s});
        doubleClick(0, YahooLinksWww, 5);
        QCOMPARE(m_urls, QList<QUrl>{QUrl(m_f.address(u"/search?bwm=i&p=www.abc.com"_s))});
        doubleClick(1, BaiduSite, 0);
        QCOMPARE(ui().lookupEdit->text(), u"xyz.com"_s);
        QCOMPARE(m_urls.size(), 1);

        m_f.sim.setFault(Route::DeletionTool,
                         Fault::body("<td class=\"deltd1\"><img src=x>&amp;</td>"));
        click(ui().lookupButton);
        QTRY_COMPARE(ui().detailValues[0]->text(), u"<img src=x>&amp;"_s);
        QCOMPARE(ui().detailValues[0]->textFormat(), Qt::PlainText);
        ui().lookupEdit->setText(u"x/../a.test"_s); // no host name: a message, no request
        click(ui().lookupButton);
        QCOMPARE(Dialogs::shownBoxes(),
                 QStringList{MainWindow::kTitle + u"|不是有效的域名：x/../a.test"_s});
        import({u"<b>x</b>.com"_s});
        const QVariant tip = grid()->data(grid()->index(0, kDomainColumn), Qt::ToolTipRole);
        QVERIFY(tip.toString().contains(u"&lt;b&gt;x&lt;/b&gt;.com"_s));
    }

    void updateCheck_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("offered");
        QTest::newRow("inside a longer token") << "19.30" << true;
        QTest::newRow("other version") << "9.4" << false;
    }
    void updateCheck()
    {
        QFETCH(QString, version);
        QFETCH(bool, offered);
        m_f.sim.setVersionText(version);
        if (offered) // unanswered, a box says Cancel and is still recorded
            Dialogs::queueAnswers({Dialogs::Answer::Ok});
        ui().updateTimer->start(0);
        QTRY_COMPARE(m_f.sim.requestCount(Route::MakerVersion), 1);
        QTRY_COMPARE(m_urls, offered ? QList{QUrl(m_f.address(u"/varnel/"_s))} : QList<QUrl>());
        QTest::qWait(50); // time for a box wrongly offered
        QCOMPARE(Dialogs::shownBoxes().size(), offered ? 1 : 0);
    }

    // The grid's menu (copy, export, clear) and a dropped file reach the session.
    void gridMenu()
    {
        import({u"a.com"_s, u"=b.com"_s, u"c.com"_s, u"a.com"_s});
        grid()->setCell(1, BaiduSite, u"1,230"_s);
        QTableView *view = ui().resultGrid;
        view->selectRow(1);
        trigger(view, 0, u"复制"_s);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"'=b.com\t1,230\t\t\t\t\t\t\t\n"_s);

        QTemporaryDir dir;
        QFile csv(dir.filePath(u"out.csv"_s));
        Dialogs::queueFileNames({csv.fileName()});
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keySequence(m_window.get(), QKeySequence::Save);
        QCOMPARE(status(), u"已导出 4 行到 %1"_s.arg(csv.fileName()));

        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(csv.fileName())}); // skips its header, "'=b.com", a.com
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(view->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(view->viewport(), &drop);
        QTRY_VERIFY(status().endsWith(u"已从文件导入 2 个域名，跳过 3 行（其中重复 1 个）"_s));
        trigger(view, 5, u"清空结果"_s);
        QCOMPARE(grid()->rowCount(), 0);
    }

    // Enlarged, the grid takes the room, the row under it moves down; size and widths last.
    void windowGrows()
    {
        const QSize more = QSize(1280, 860) - m_window->centralWidget()->size();
        m_window->resize(m_window->size() + more);
        QTRY_COMPARE(m_window->centralWidget()->size(), QSize(1280, 860));
        QCOMPARE(ui().resultGrid->geometry(), QRect(QPoint(0, 67), QSize(713, 227) + more));
        QCOMPARE(ui().detailPanel->geometry().topLeft(), QPoint(0, 512 + more.height()));
        QCOMPARE(ui().dayStrip->geometry(), QRect(0, -16, 721, 81));
        QTableView *view = ui().resultGrid;
        QCOMPARE(view->columnWidth(BaiduSite), 110);
        QVERIFY(view->columnWidth(kDomainColumn) > 100);
        QCOMPARE(view->columnWidth(PageRank), 70);
        view->setColumnWidth(PageRank, 90); // the user's width outlasts an import and a restart
        import({u"a.com"_s});
        QCOMPARE(view->columnWidth(PageRank), 90);
        m_window.reset();
        init();
        QTRY_COMPARE(m_window->centralWidget()->size(), QSize(1280, 860));
        QCOMPARE(ui().resultGrid->columnWidth(PageRank), 90);
        QVERIFY(m_window->minimumSize().width() >= kClientWidth);
    }

    // Every control can be found by what the user reads: a caption, or a name given for it.
    void everyControlHasAnAccessibleName()
    {
        const QRegularExpression ours(u"^(?!qt_)."_s); // named by the program, not by Qt
        for (QWidget *w : m_window->findChildren<QWidget *>(ours)) {
            const auto *button = qobject_cast<QAbstractButton *>(w);
            if (button || qobject_cast<QLineEdit *>(w) || qobject_cast<QComboBox *>(w) ||
                qobject_cast<QTableView *>(w))
                QVERIFY2(!w->accessibleName().isEmpty() || (button && !button->text().isEmpty()),
                         qPrintable(w->objectName()));
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
