// The window as a user drives it: each control reaches its logic and each result reaches the
// screen, the status bar and the accessibility tree.
#include "Fixture.h"
#include "app/ClickableLabel.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "lookup/DetailLookup.h"
#include "probes/QueryRun.h"
#include "session/Clock.h"
#include "session/Session.h"
#include "session/Settings.h"
#include "sources/CategoryImport.h"
#include "sources/DeletionLists.h"
#include "table/ResultTable.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

using namespace Qt::StringLiterals;

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

    SimFixture m_f;
    UrlCatcher m_catcher;
    std::unique_ptr<MainWindow> m_window;

    template <typename T = QWidget> T *child(const QString &name)
    {
        T *w = m_window->findChild<T *>(name);
        if (!w)
            qFatal("no control %s", qPrintable(name));
        return w;
    }
    ResultTable *grid() { return m_window->session()->grid(); }
    QString status() { return child<QLabel>(u"noticeLabel"_s)->text(); }
    QString progress() { return child<QLabel>(u"progressLabel"_s)->text(); }
    void click(const QString &name) { QTest::mouseClick(child(name), Qt::LeftButton); }
    void import(const QStringList &names) { Sources::importCategory(*grid(), names); }

    // Double-clicks the grid at row `row`, `dx` pixels right of column `column`'s left edge.
    void doubleClick(int row, int column, int dx)
    {
        QTableView *view = child<QTableView>(u"resultGrid"_s);
        const QPoint at(view->columnViewportPosition(column) + dx,
                        view->rowViewportPosition(row) + 3);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    }

private Q_SLOTS:
    void initTestCase()
    {
        isolateUserFolders();      // the window's remembered size stays here
        Dialogs::queueAnswers({}); // no box ever opens in this test
        QDesktopServices::setUrlHandler(u"http"_s, &m_catcher, "open");
        Clock::setToday(QDate(2011, 4, 15));
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(u"http"_s); }
    void init()
    {
        m_f.sim.clearFaults();
        m_f.sim.clearLog();
        m_f.sim.setListSize(3000);
        m_f.sim.setVersionText(u"8.1"_s);
        m_catcher.urls.clear();
        Dialogs::clearShownBoxes();
        m_window = std::make_unique<MainWindow>(m_f.endpoints());
        m_window->session()->fetcher()->setLimits(shortLimits());
        m_window->session()->run()->setBackoff({1, 1, 1}); // a refusal is written at once
        m_window->show();
    }
    void cleanup()
    {
        m_f.sim.release(Route::All);
        m_window.reset();
    }

    void startUp()
    {
        QCOMPARE(child<QLabel>(u"todayLabel"_s)->text(), u"当前系统日期：2011-04-15"_s);
        QVERIFY(child(u"dayLoadingPanel"_s)->isHidden());
        QVERIFY(child(u"categoryLoadingPanel"_s)->isHidden());
        QCOMPARE(grid()->rowCount(), 1);
        QCOMPARE(grid()->cell(0, kDomainColumn), kBlankCell);
        QCOMPARE(child<QComboBox>(u"criterionCombo"_s)->currentText(), u"删除百度收录小于"_s);
        QCOMPARE(child<QListView>(u"sizeSortResultList"_s)->currentIndex().row(), 0);
        QTimer *update = child<QTimer>(u"updateTimer"_s);
        QVERIFY(update->isActive() && update->isSingleShot());
    }

    // The whole road by clicks: day, suffix, category count, run.
    void dayToCategoryToRun()
    {
        click(u"dayButton_2"_s);
        const DeletionLists *lists = m_window->session()->lists();
        QTRY_VERIFY(child(u"dayLoadingPanel"_s)->isHidden() && !lists->list(Sources::Cn).isEmpty());
        QCOMPARE(child<QLabel>(u"dayHeaderLabel"_s)->text(), u"以下为今天删除域名信息"_s);
        QCOMPARE(child<QPushButton>(u"suffixButton_2"_s)->text(),
                 u".net 共：%1"_s.arg(lists->list(Sources::Net).size()));
        click(u"suffixButton_0"_s);
        const Sources::Categories &categories = m_window->session()->categories();
        for (int k = 0; k < Sources::kCategoryCount; ++k)
            QCOMPARE(child<QLabel>(u"categoryCount_%1"_s.arg(k))->text(),
                     QString::number(categories[std::size_t(k)].size()));
        click(u"categoryCount_0"_s);
        QCOMPARE(grid()->rowCount(), categories[0].size());
        QCOMPARE(status(), u"已导入%1个域名"_s.arg(categories[0].size()));

        // Ticked through its caption; the run shows its progress in the status bar.
        const QStringList three = categories[5].mid(0, 3);
        QCOMPARE(three.size(), 3);
        import(three);
        click(u"metricCaption_0"_s);
        QVERIFY(child<QCheckBox>(u"metricBox_0"_s)->isChecked());
        m_f.sim.hold(Route::BaiduSite);
        click(u"runButton"_s);
        QCOMPARE(child<QPushButton>(u"runButton"_s)->text(), u"停止"_s);
        QTRY_COMPARE(m_f.sim.heldCount(Route::BaiduSite), 1);
        m_f.sim.release(Route::BaiduSite);
        m_f.sim.hold(Route::BaiduSite);
        QTRY_COMPARE(progress(), u"百度 1/3"_s);
        m_f.sim.release(Route::BaiduSite);
        QTRY_COMPARE(child<QPushButton>(u"runButton"_s)->text(), u"开始查询"_s);
        QCOMPARE(progress(), QString());
        QCOMPARE(grid()->cell(2, BaiduSite), expectedCell(0, three[2]));
    }

    void emptyGridIsRefused()
    {
        click(u"metricBox_0"_s);
        click(u"runButton"_s);
        QCOMPARE(Dialogs::shownBoxes().size(), 1);
        QVERIFY(Dialogs::shownBoxes().first().endsWith(u"|请先加入要查询的域名！"_s));
        QCOMPARE(m_f.sim.requestCount(), 0);
    }

    void stopFlagFollowsTheRun()
    {
        import({u"a.com"_s, u"b.com"_s});
        click(u"metricBox_7"_s);
        m_f.sim.hold(Route::Registrar);
        click(u"runButton"_s);
        QTRY_COMPARE(m_f.sim.heldCount(Route::Registrar), 1);
        click(u"runButton"_s);
        QVERIFY(child<QCheckBox>(u"stopFlag"_s)->isChecked());
        m_f.sim.release(Route::Registrar);
        QTRY_COMPARE(grid()->cell(0, Registration), expectedCell(7, u"a.com"_s));
        QCOMPARE(grid()->cell(1, Registration), kBlankCell);
    }

    void filterReportsWhatItRemoved()
    {
        import({u"a-b.com"_s, u"ab.com"_s, u"c-d.com"_s});
        child<QComboBox>(u"criterionCombo"_s)->setCurrentText(u"删除带-的域名"_s);
        click(u"deleteRowsButton"_s);
        QCOMPARE(grid()->rowCount(), 1);
        QCOMPARE(status(), u"结果筛选：删除 2 行，剩余 1 行"_s);
    }

    // Thinning many separate runs of rows leaves the grid as the user arranged it: column
    // widths, the sort indicator and the surviving rows' selection.
    void filterKeepsTheGridAsArranged()
    {
        QStringList names;
        for (int i = 0; i < 300; ++i)
            names << (i % 2 ? u"n%1-x.com"_s : u"n%1.com"_s).arg(i, 3, 10, QChar(u'0'));
        import(names);
        QTableView *view = child<QTableView>(u"resultGrid"_s);
        view->setColumnWidth(kDomainColumn, 155);
        QTest::mouseClick(view->horizontalHeader()->viewport(), Qt::LeftButton, {},
                          QPoint(view->columnViewportPosition(kDomainColumn) + 10, 5));
        view->selectRow(1); // after the descending sort: n299-x.com, n298.com, ...
        QCOMPARE(grid()->cell(1, kDomainColumn), u"n298.com"_s);
        child<QComboBox>(u"criterionCombo"_s)->setCurrentText(u"删除带-的域名"_s);
        click(u"deleteRowsButton"_s);
        QCOMPARE(grid()->rowCount(), 150);
        QCOMPARE(view->columnWidth(kDomainColumn), 155);
        QVERIFY(view->horizontalHeader()->isSortIndicatorShown());
        QCOMPARE(m_window->selectedRow(), 0);
        QCOMPARE(grid()->cell(0, kDomainColumn), u"n298.com"_s);
    }

    void refusalsAndSkippedLinesReachTheStatusBar()
    {
        import({u"a.com"_s});
        m_f.sim.setFault(Route::Google, Fault::blocked(429));
        click(u"metricBox_2"_s);
        click(u"runButton"_s);
        QTRY_COMPARE(status(), u"google：查询受限"_s);
        QCOMPARE(grid()->cell(0, GoogleSite), kQueryRefused);
        m_f.sim.setFault(Route::CnRegistryList, Fault::body("a.cn\r\n<b>x</b>\r\nb.bj.cn\r\n"));
        child(u"dayStrip"_s)->actions()[0]->trigger();
        // Both notices stand side by side while the first still shows.
        QTRY_COMPARE(status(), u"google：查询受限；跳过 2 行"_s);
    }

    void failedDownloadNamesItsAddress()
    {
        m_f.sim.setFault(Route::DailyList, Fault::refuse());
        click(u"dayButton_3"_s);
        QTRY_VERIFY(status().startsWith(
            u"删除列表下载失败：http://%1/2011-04-16.txt（"_s.arg(m_f.sim.hostPort())));
    }

    // The covered buttons are reached through the strips' context menus.
    void contextMenuActions()
    {
        QStringList captions;
        for (QAction *action : child(u"dayStrip"_s)->actions())
            captions << action->text();
        QCOMPARE(captions, (QStringList{u"国内域名"_s, u"国际域名高低排序"_s, u"国内域名高低排序"_s,
                                        u"大小排序"_s}));
        QCOMPARE(child(u"categoryStrip"_s)->actions().size(), 4);
        DeletionLists *lists = m_window->session()->lists();
        lists->setList(Sources::Com, {u"abcd.com"_s, u"a.com"_s});
        child(u"dayStrip"_s)->actions()[1]->trigger();
        QCOMPARE(lists->list(Sources::Com), (QStringList{u"a.com"_s, u"abcd.com"_s}));
        QCOMPARE(status(), u"国际域名已按长度排序"_s);
        child(u"categoryStrip"_s)->actions()[0]->trigger();
        QTRY_COMPARE(m_f.sim.requestTargets(Route::CnRegistryList),
                     QStringList{u"/download/registar_list/1todayDel.txt"_s});
        child(u"dayStrip"_s)->actions()[3]->trigger();
        QCOMPARE(child<QListView>(u"sizeSortResultList"_s)->model()->rowCount(), 17);
    }

    void doubleClickActsOnTheColumnUnderThePointer()
    {
        import({u"abc.com"_s, u"xyz.net"_s});
        doubleClick(1, kDomainColumn, 5);
        QCOMPARE(child<QLineEdit>(u"lookupEdit"_s)->text(), u"xyz.net"_s);
        doubleClick(0, YahooLinksWww, 5);
        QCOMPARE(m_catcher.urls, QList<QUrl>{QUrl(m_f.address(u"/search?bwm=i&p=www.abc.com"_s))});
        // On the edge itself the pointer belongs to the column on its left: the domain.
        doubleClick(0, BaiduSite, 0);
        QCOMPARE(child<QLineEdit>(u"lookupEdit"_s)->text(), u"abc.com"_s);
        doubleClick(0, PageRank, 5);
        QCOMPARE(m_catcher.urls.size(), 1);
    }

    void lookupFillsTheDetailPanel()
    {
        QString known;
        for (int i = 0; known.isEmpty(); ++i) {
            if (!SimContent::deletionInfo(u"d%1.com"_s.arg(i)).cells.isEmpty())
                known = u"d%1.com"_s.arg(i);
        }
        child<QLineEdit>(u"lookupEdit"_s)->setText(known);
        click(u"lookupButton"_s);
        const QString icp = SimContent::icpNumber(known);
        QTRY_COMPARE(child<QLabel>(u"detailValue_1"_s)->text(),
                     icp.isEmpty() ? DetailLookup::kNotFiled : icp);
        QCOMPARE(child<QLabel>(u"detailValue_2"_s)->text(),
                 SimContent::deletionInfo(known).cells[2]);
    }

    // Scraped markup reaches labels and tooltips as the characters the page printed.
    void markupIsShownAsText()
    {
        m_f.sim.setFault(Route::DeletionTool,
                         Fault::body("<td class=\"deltd1\"><img src=x>&amp;</td>"));
        click(u"lookupButton"_s);
        QLabel *age = child<QLabel>(u"detailValue_0"_s);
        QTRY_COMPARE(age->text(), u"<img src=x>&amp;"_s);
        QCOMPARE(age->textFormat(), Qt::PlainText);
        import({u"<b>x</b>.com"_s});
        const QString tip =
            grid()->data(grid()->index(0, kDomainColumn), Qt::ToolTipRole).toString();
        QVERIFY(tip.contains(u"&lt;b&gt;x&lt;/b&gt;.com"_s));
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
        Dialogs::queueAnswers({Dialogs::Answer::Ok});
        QTimer *update = child<QTimer>(u"updateTimer"_s);
        update->start(0);
        QTRY_COMPARE(m_f.sim.requestCount(Route::MakerVersion), 1);
        QTRY_COMPARE(m_catcher.urls.size(), offered ? 1 : 0);
        QTest::qWait(50);
        QCOMPARE(Dialogs::shownBoxes().size(), offered ? 1 : 0);
        if (offered)
            QCOMPARE(m_catcher.urls.first(), QUrl(m_f.address(u"/varnel/"_s)));
        QVERIFY(!update->isActive());
        Dialogs::clearShownBoxes();
        while (Dialogs::answersQueued())
            Dialogs::ask(nullptr, {}, {});
    }

    void closeAsksFirst()
    {
        Dialogs::queueAnswers({Dialogs::Answer::Cancel});
        QVERIFY(!m_window->close());
        QVERIFY(m_window->isVisible());
        QCOMPARE(Dialogs::shownBoxes(), QStringList{u"退出|真的退出吗?"_s});
    }

    // A few places that matter, worked out by hand from the design's twips (15 to a pixel).
    void layout()
    {
        QCOMPARE(child(u"resultGrid"_s)->geometry(), QRect(0, 67, 713, 227));
        QCOMPARE(child(u"tableArea"_s)->geometry(), QRect(0, 216, 721, 313));
        QCOMPARE(child(u"suffixButton_1"_s)->geometry(), QRect(432, 8, 121, 33));
        QCOMPARE(child(u"detailValue_4"_s)->geometry().topLeft(), QPoint(636, 32));
        // Where controls overlap, the ones the user needs lie on top.
        QWidget *client = child(u"client"_s);
        const auto topAt = [&](const QString &name) {
            QWidget *w = child(name);
            return client->childAt(w->mapTo(client, w->rect().center()));
        };
        QCOMPARE(topAt(u"stopFlag"_s), child(u"runButton"_s));
        QVERIFY(child(u"dayStrip"_s)->isAncestorOf(topAt(u"sortDomesticButton"_s)));
        QCOMPARE(topAt(u"cnReloadButton"_s), child(u"dayButton_3"_s));
    }

    // The grid's menu: copy, export, import a file (menu or drop), clear.
    void gridMenu()
    {
        import({u"a.com"_s, u"=b.com"_s, u"c.com"_s});
        grid()->setCell(1, BaiduSite, u"1,230"_s);
        QTableView *view = child<QTableView>(u"resultGrid"_s);
        const auto action = [&](const QString &text) {
            for (QAction *a : view->actions()) {
                if (a->text() == text)
                    return a;
            }
            qFatal("no action %s", qPrintable(text));
        };
        view->selectRow(1);
        action(u"复制"_s)->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), u"'=b.com\t1,230\t\t\t\t\t\t\t\n"_s);

        QTemporaryDir dir;
        Dialogs::queueFileNames({dir.filePath(u"out.csv"_s)});
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keySequence(m_window.get(), QKeySequence::Save);
        QFile csv(dir.filePath(u"out.csv"_s));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArray bytes = csv.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF" + u"查询域名,百度收录"_s.toUtf8()));
        QCOMPARE(bytes.count("\r\n"), 4); // the header and all three rows
        QCOMPARE(status(), u"已导出 3 行到 %1"_s.arg(csv.fileName()));

        // UTF-16 with an IDN name, a URL, a duplicate and junk.
        QFile names(dir.filePath(u"names.txt"_s));
        QVERIFY(names.open(QIODevice::WriteOnly));
        names.write(QByteArray("\xFF\xFE") +
                    QByteArray(reinterpret_cast<const char *>(
                                   u"中文.com\r\nhttp://www.X.com/a\r\nx.com\r\n<b>\r\n"),
                               2 * 36));
        names.close();
        Dialogs::queueFileNames({names.fileName()});
        action(u"从文件导入…"_s)->trigger();
        QTRY_COMPARE(grid()->rowCount(), 2);
        QCOMPARE(grid()->cell(0, kDomainColumn), u"xn--fiq228c.com"_s);
        QCOMPARE(grid()->cell(1, kDomainColumn), u"x.com"_s);
        QVERIFY(status().endsWith(u"；已从文件导入 2 个域名，跳过 2 行（其中重复 1 个）"_s));

        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(csv.fileName())});
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(view->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(view->viewport(), &drop);
        // The header and the guarded "'=b.com" are not names.
        QTRY_VERIFY(status().endsWith(u"已从文件导入 2 个域名，跳过 2 行（其中重复 0 个）"_s));
        QCOMPARE(grid()->cell(0, kDomainColumn), u"a.com"_s);
        QCOMPARE(grid()->cell(1, kDomainColumn), u"c.com"_s);

        action(u"清空结果"_s)->trigger();
        QCOMPARE(grid()->rowCount(), 0);
    }

    // Enlarged, the grid takes the extra room, the row under it moves down, the strips above
    // stay, the count columns widen; the next window opens at the size this one closed with.
    void windowGrows()
    {
        QWidget *client = child(u"client"_s);
        const QRect dayStrip = child(u"dayStrip"_s)->geometry();
        const int dw = 1280 - client->width();
        const int dh = 860 - client->height();
        m_window->resize(m_window->size() + QSize(dw, dh));
        QTRY_COMPARE(client->size(), QSize(1280, 860));
        QCOMPARE(child(u"resultGrid"_s)->geometry(), QRect(0, 67, 713 + dw, 227 + dh));
        QCOMPARE(child(u"detailPanel"_s)->geometry().topLeft(), QPoint(0, 512 + dh));
        QCOMPARE(child(u"dayStrip"_s)->geometry(), dayStrip);
        QTableView *grid = child<QTableView>(u"resultGrid"_s);
        QCOMPARE(grid->columnWidth(BaiduSite), 110);
        QVERIFY(grid->columnWidth(kDomainColumn) > 100);
        QCOMPARE(grid->columnWidth(PageRank), 70);
        // A column the user set keeps its width through an import and the next start.
        grid->setColumnWidth(PageRank, 90);
        import({u"a.com"_s});
        QCOMPARE(grid->columnWidth(PageRank), 90);
        m_window.reset();
        m_window = std::make_unique<MainWindow>(m_f.endpoints());
        m_window->show();
        QTRY_COMPARE(child(u"client"_s)->size(), QSize(1280, 860));
        QCOMPARE(child<QTableView>(u"resultGrid"_s)->columnWidth(PageRank), 90);
        QVERIFY(m_window->minimumSize().width() >= 722);
        m_window.reset();
        QFile::remove(QFileInfo(Settings::defaultPath()).absolutePath() + u"/window.conf"_s);
        init();
    }

    // Every control can be found by what the user reads: a caption, or a name given for it.
    void everyControlHasAnAccessibleName()
    {
        for (QWidget *w : m_window->findChildren<QWidget *>()) {
            const bool control = qobject_cast<QAbstractButton *>(w) ||
                                 qobject_cast<QLineEdit *>(w) || qobject_cast<QComboBox *>(w) ||
                                 qobject_cast<QTableView *>(w);
            if (!control || w->objectName().isEmpty() || w->objectName().startsWith(u"qt_"_s))
                continue;
            const auto *button = qobject_cast<QAbstractButton *>(w);
            const QString name =
                w->accessibleName().isEmpty() && button ? button->text() : w->accessibleName();
            QVERIFY2(!name.isEmpty(), qPrintable(w->objectName()));
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
