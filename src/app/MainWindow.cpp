#include "MainWindow.h"

#include "ClickableLabel.h"
#include "Clock.h"
#include "Dialogs.h"
#include "SortWorkers.h"
#include "TextListModel.h"
#include "fetch/PageFetcher.h"
#include "lookup/DetailLookup.h"
#include "probes/Recipes.h"
#include "sources/CategoryImport.h"
#include "sources/DeletionLists.h"
#include "sources/ListSorts.h"
#include "table/FilterRows.h"
#include "table/QueryRun.h"
#include "table/ResultTable.h"
#include "table/RowFilter.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QUrl>

#include <QCoroTask>

namespace {

QString dateText(const QDate &d)
{
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}

// The text a line edit shows for a page: bounded, since a scraped page may be megabytes.
QString boundedForDisplay(const QString &text)
{
    constexpr qsizetype kMaxShown = 32767; // a line edit holds no more
    return text.size() <= kMaxShown ? text : text.left(kMaxShown);
}

} // namespace

MainWindow::MainWindow(const Endpoints &endpoints, QWidget *parent)
    : QMainWindow(parent)
    , m_endpoints(endpoints)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kTitle);
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("Form1Client"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);
    m_c = buildForm1(client);

    m_progress = new QLabel(this);
    m_progress->setObjectName(QStringLiteral("StatusProgress"));
    m_progress->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(m_progress, 1);
    statusBar()->setSizeGripEnabled(false);

    m_table = new ResultTable(this);
    m_fetcher = new PageFetcher(this);
    m_run = new QueryRun(m_table, m_fetcher, this);
    m_run->setEndpoints(m_endpoints);
    m_lookup = new DetailLookup(m_fetcher, this);
    m_lookup->setEndpoints(m_endpoints);
    m_lists = new DeletionLists(m_fetcher, this);
    m_lists->setEndpoints(m_endpoints);

    setUpGrid();
    wireQueryRun();
    wireFilter();
    wireLookup();
    wireLists();
    wireSorts();
    connect(m_c.Timer1, &QTimer::timeout, this, &MainWindow::checkForUpdate);

    startUp();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

MainWindow::~MainWindow()
{
    // Work still waiting for a page ends here, while everything it reports to still exists: the
    // run is told to stop, then every waiting fetch fails at once and its procedure runs out.
    m_run->abandon();
    m_fetcher->shutDown();
}

void MainWindow::startUp()
{
    const QString today = dateText(Clock::today());
    m_c.Text1->setText(today);
    m_c.Label10->setText(QStringLiteral("当前系统日期：") + today);
    static_cast<TextListModel *>(m_c.List2->model())->setTexts(Sources::kSizeSortSample);
    static_cast<TextListModel *>(m_c.List1->model())->setTexts(Sources::kSizeSortInitialResult);
    m_c.List1->setCurrentIndex(m_c.List1->model()->index(0, 0));
    m_c.Frame5->hide();
    m_c.Frame6->hide();
    m_table->ResetTable();
    m_table->AddRow(kBlankCell, QStringList(kColumnCount - 1, kBlankCell));
    m_c.Timer1->start(3000);
}

void MainWindow::setUpGrid()
{
    QTableView *grid = m_c.ListView1;
    grid->setModel(m_table);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setWordWrap(false);
    grid->setShowGrid(false);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 4);
    grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    grid->horizontalHeader()->setHighlightSections(false);
    grid->horizontalHeader()->setSectionsClickable(true);
    const auto applyWidths = [grid] {
        for (int c = 0; c < kColumnCount; ++c)
            grid->setColumnWidth(c, ResultTable::columnWidth(c));
    };
    applyWidths();
    // A reset re-creates the columns at their starting widths.
    connect(m_table, &QAbstractItemModel::modelReset, grid, applyWidths);
    QHeaderView *header = grid->horizontalHeader();
    connect(header, &QHeaderView::sectionClicked, this, [this, header](int column) {
        m_table->SortByColumn(column);
        const QString toggle = m_table->sortToggle(column);
        header->setSortIndicatorShown(!toggle.isEmpty());
        if (!toggle.isEmpty())
            header->setSortIndicator(column,
                                     toggle == u"1" ? Qt::DescendingOrder : Qt::AscendingOrder);
    });
    connect(m_table, &QAbstractItemModel::modelReset, header,
            [header] { header->setSortIndicatorShown(false); });
}

void MainWindow::wireQueryRun()
{
    for (int k = 0; k < int(m_c.Check2.size()); ++k) {
        QCheckBox *box = m_c.Check2[k];
        connect(box, &QCheckBox::toggled, m_run, [this, k](bool on) { m_run->setTicked(k, on); });
        connect(m_c.Check2Caption[k], &ClickableLabel::clicked, box, &QCheckBox::toggle);
    }
    connect(m_c.Check3, &QCheckBox::toggled, m_run, &QueryRun::setStopFlag);
    connect(m_run, &QueryRun::stopFlagChanged, m_c.Check3, &QCheckBox::setChecked);
    connect(m_run, &QueryRun::captionChanged, m_c.Command2, &QPushButton::setText);
    connect(m_c.Command2, &QPushButton::clicked, m_run, [this] { m_run->click(); });
    connect(m_run, &QueryRun::refusedEmptyTable, this,
            [this] { Dialogs::inform(this, QueryRun::kEmptyTableMessage); });
    connect(m_run, &QueryRun::answerPage, m_c.Text3,
            [this](const QString &page) { m_c.Text3->setText(boundedForDisplay(page)); });
    connect(m_run, &QueryRun::progress, m_progress,
            [this](const QString &caption, qsizetype done, qsizetype total) {
                m_progress->setText(
                    total > 0 ? QStringLiteral("%1 %2/%3").arg(caption).arg(done).arg(total)
                              : QString());
            });
}

int MainWindow::RowAt(const QPoint &viewportPoint) const
{
    const int row = m_c.ListView1->rowAt(viewportPoint.y());
    return row < 0 ? 0 : row + 1;
}

int MainWindow::ColumnLeft(int column) const
{
    return m_c.ListView1->columnViewportPosition(column);
}

int MainWindow::selectedRow() const
{
    const QModelIndexList rows = m_c.ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.first().row() + 1;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (Dialogs::ask(this, QStringLiteral("退出"), QStringLiteral("真的退出吗?")) !=
        Dialogs::Answer::Ok) {
        event->ignore();
        return;
    }
    event->accept();
    // Work still waiting for a page is abandoned where it stands.
    QCoreApplication::exit(0);
}

void MainWindow::checkForUpdate()
{
    m_c.Timer1->stop();
    [](QPointer<MainWindow> self, PageFetcher *fetcher,
       QString url) -> QCoro::Task<void> {
        const FetchResult version = co_await fetcher->FetchGb2312(url);
        if (!self || !version.text.contains(u"9.3"))
            co_return;
        if (Dialogs::ask(self, QStringLiteral("发现最新版本"),
                         QStringLiteral("发现最新版本，是否更新？")) == Dialogs::Answer::Ok)
            QDesktopServices::openUrl(QUrl(QStringLiteral("http://") + self->m_endpoints.maker +
                                           QStringLiteral("/varnel/")));
    }(this, m_fetcher,
                    QStringLiteral("http://") + m_endpoints.maker +
                        QStringLiteral("/varnel/shenji.txt"));
}

void MainWindow::showStatus(const QString &text)
{
    statusBar()->showMessage(text, 15'000);
}

void MainWindow::wireFilter()
{
    m_c.Combo1->addItems(RowFilter::criterionTexts());
    m_c.Combo1->setCurrentText(QStringLiteral("删除百度收录小于"));
    connect(m_c.Command8, &QPushButton::clicked, this, [this] {
        const qsizetype removed =
            FilterRows(*m_table, m_c.Combo1->currentText(), m_c.Text4->text());
        showStatus(QStringLiteral("结果筛选：删除 %1 行，剩余 %2 行")
                       .arg(removed)
                       .arg(m_table->RowCount()));
    });
}

void MainWindow::wireLookup()
{
    m_c.Text5->setText(QStringLiteral("qinglan.com"));
    connect(m_c.Command11, &QPushButton::clicked, m_lookup,
            [this] { m_lookup->LookUpDomainDetail(m_c.Text5->text()); });
    connect(m_lookup, &DetailLookup::dateValue, this,
            [this](int k, const QString &text) { m_c.Label6[k]->setText(text); });
    connect(m_lookup, &DetailLookup::filingValue, m_c.Label7, &QLabel::setText);
    connect(m_lookup, &DetailLookup::emptyInput, this,
            [this] { Dialogs::inform(this, DetailLookup::kEmptyInputMessage); });
    connect(m_lookup, &DetailLookup::fetchFailed, this,
            [this](const QString &error) { showStatus(QStringLiteral("查询失败：") + error); });
    m_c.ListView1->viewport()->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_c.ListView1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton) {
            // Let the view select the row first, then act on the selected row.
            const bool handled = QMainWindow::eventFilter(watched, event);
            openCell(mouse->position().toPoint());
            return handled;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::openCell(const QPoint &viewportPoint)
{
    if (RowAt(viewportPoint) == 0)
        return;
    int column = -1;
    for (int c = kColumnCount - 1; c >= 0; --c) {
        // A pointer exactly on an edge belongs to the column on its left.
        if (ColumnLeft(c) < viewportPoint.x()) {
            column = c;
            break;
        }
    }
    const int row = selectedRow();
    if (column < 0 || row == 0)
        return;
    const QString domain = m_table->CellText(row, kDomainColumn);
    if (column == kDomainColumn) {
        m_c.Text5->setText(domain);
    } else if (const ProbeRecipe *recipe = Probes::countRecipe(column)) {
        // Handed to the desktop as a URL, never through a shell.
        QDesktopServices::openUrl(
            QUrl(Probes::recipeUrl(*recipe, m_endpoints, domain), QUrl::TolerantMode));
    }
}

void MainWindow::wireLists()
{
    for (int k = 0; k < int(m_c.Command6.size()); ++k) {
        connect(m_c.Command6[k], &QPushButton::clicked, m_lists,
                [this, k] { m_lists->LoadDailyDeletionList(k, Clock::today()); });
    }
    connect(m_c.Command3, &QPushButton::clicked, m_lists,
            [this] { m_lists->LoadCnDeletionList(m_c.Text2->text()); });
    connect(m_lists, &DeletionLists::dayChosen, this,
            [this](const QString &date, const QString &token, const QString &header) {
                m_c.Text1->setText(date);
                m_c.Text2->setText(token);
                m_c.Label11->setText(header);
            });
    connect(m_lists, &DeletionLists::loadingPanel, m_c.Frame5, &QWidget::setVisible);
    connect(m_lists, &DeletionLists::statusText, m_c.Label1, &QLabel::setText);
    connect(m_lists, &DeletionLists::captionChanged, this,
            [this](int i, const QString &caption) { m_c.Command7[i]->setText(caption); });
    connect(m_lists, &DeletionLists::listsChanged, this, [this] {
        for (int i = 0; i < Sources::kSourceCount; ++i)
            static_cast<TextListModel *>(m_c.SourceLists[i]->model())->setTexts(m_lists->list(i));
    });
    connect(m_lists, &DeletionLists::downloadFailed, this,
            [this](const QString &address, const QString &error) {
                showStatus(QStringLiteral("删除列表下载失败：%1（%2）").arg(address, error));
            });
    for (int i = 0; i < int(m_c.Command7.size()); ++i)
        connect(m_c.Command7[i], &QPushButton::clicked, this, [this, i] { breakDown(i); });
    for (int k = 0; k < int(m_c.Label2.size()); ++k)
        connect(m_c.Label2[k], &ClickableLabel::clicked, this, [this, k] { importCategory(k); });
}

void MainWindow::breakDown(int suffixIndex)
{
    m_c.Frame6->show();
    m_categories = Sources::LengthBreakdown(m_lists->list(suffixIndex), suffixIndex);
    for (int k = 0; k < Sources::kCategoryCount; ++k) {
        static_cast<TextListModel *>(m_c.List12[k]->model())->setTexts(m_categories[k]);
        m_c.Label2[k]->setText(QString::number(m_categories[k].size()));
    }
    m_c.Frame6->hide();
}

void MainWindow::importCategory(int category)
{
    // The rows a run was walking are about to go: the run ends rather than walk the new table.
    if (m_run->isBusy())
        m_run->abandon();
    CategoryImport(*m_table, m_categories[std::size_t(category)]);
    showStatus(QStringLiteral("已导入%1个域名").arg(m_table->RowCount()));
}

void MainWindow::wireSorts()
{
    connect(m_c.Command4, &QPushButton::clicked, this, [this] {
        if (!m_form2)
            m_form2 = new Form2(m_lists, this);
        m_form2->command1()->click();
        showStatus(QStringLiteral("国内域名已按长度排序"));
    });
    connect(m_c.Command5, &QPushButton::clicked, this, [this] {
        if (!m_form4)
            m_form4 = new Form4(m_lists, this);
        m_form4->command(5)->click();
        showStatus(QStringLiteral("国际域名已按长度排序"));
    });
    connect(m_c.Command1, &QPushButton::clicked, this, [this] {
        auto *input = static_cast<TextListModel *>(m_c.List2->model());
        static_cast<TextListModel *>(m_c.List1->model())
            ->setTexts(Sources::SortBySize(input->texts()));
    });

    // The day strip covers these buttons where the window's design puts them; its context menu
    // and the category strip's reach them all the same.
    for (QPushButton *button : {m_c.Command3, m_c.Command5, m_c.Command4, m_c.Command1}) {
        auto *action = new QAction(button->text(), this);
        connect(action, &QAction::triggered, button, &QPushButton::click);
        for (QWidget *strip :
             {static_cast<QWidget *>(m_c.Frame3), static_cast<QWidget *>(m_c.Frame1)})
            strip->addAction(action);
    }
    m_c.Frame3->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_c.Frame1->setContextMenuPolicy(Qt::ActionsContextMenu);
}
