#include "MainWindow.h"

#include "ClickableLabel.h"
#include "Dialogs.h"
#include "TextListModel.h"
#include "session/Catalogue.h"
#include "session/Session.h"
#include "session/Settings.h"
#include "session/UpdateCheck.h"
#include "table/ResultTable.h"
#include "table/RowFilter.h"
#include "text/Clock.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <QCoroTask>

namespace {

// Tooltips for the grid's cells that do not show their whole text or have a note, and only for
// those.
class WholeTextTips final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        const QString text = index.data(Qt::DisplayRole).toString();
        const int margins = 2 * view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 4;
        if (option.fontMetrics.horizontalAdvance(text) + margins <= option.rect.width() &&
            index.data(ResultTable::kNoteRole).toString().isEmpty()) {
            QToolTip::hideText();
            return true;
        }
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
};

TextListModel *texts(QListView *view)
{
    return static_cast<TextListModel *>(view->model());
}

} // namespace

MainWindow::MainWindow(const StartOptions &options, QWidget *parent)
    : QMainWindow(parent)
    , m_session(new Session(options, this))
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(kTitle);
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setMinimumSize(kClientWidth, kClientHeight);
    setCentralWidget(client);
    m_c = buildMainWindowControls(client);
    client->installEventFilter(this);

    // Notices on the left for a while, the run's progress on the right for as long as it runs;
    // both are labels, so assistive tools read them.
    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("noticeLabel"));
    m_notice->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(m_notice, 1);
    m_progress = new QLabel(this);
    m_progress->setObjectName(QStringLiteral("progressLabel"));
    m_progress->setTextFormat(Qt::PlainText);
    statusBar()->addPermanentWidget(m_progress);
    m_noticeTimer.setSingleShot(true);
    connect(&m_noticeTimer, &QTimer::timeout, m_session, &Session::expireNotices);
    connect(m_session, &Session::noticesChanged, this, &MainWindow::showNotices);

    setUpGrid();
    wireQueryRun();
    wireFilter();
    wireLookup();
    wireLists();
    wireSorts();
    wireGridMenu();
    connect(m_c.updateTimer, &QTimer::timeout, this, &MainWindow::checkForUpdate);

    startUp();
    restoreWindowState();
    showNotices();
}

MainWindow::~MainWindow()
{
    saveWindowState();
    // Work still waiting for a page ends here, while everything it reports to still exists.
    m_session->shutDown();
}

void MainWindow::startUp()
{
    m_c.todayLabel->setText(m_session->todayCaption());
    texts(m_c.sizeSortInputList)->setTexts(Catalogue::sizeSortSample());
    texts(m_c.sizeSortResultList)->setTexts(Catalogue::sizeSortInitialResult());
    m_c.sizeSortResultList->setCurrentIndex(m_c.sizeSortResultList->model()->index(0, 0));
    m_c.updateTimer->setSingleShot(true);
    m_c.updateTimer->start(UpdateCheck::kDelayMs);
}

void MainWindow::setUpGrid()
{
    QTableView *grid = m_c.resultGrid;
    ResultTable *table = m_session->grid();
    grid->setModel(table);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setWordWrap(false);
    grid->setShowGrid(false);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 4);
    grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    grid->horizontalHeader()->setHighlightSections(false);
    grid->horizontalHeader()->setSectionsClickable(true);
    grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid->setItemDelegate(new WholeTextTips(grid));
    QHeaderView *header = grid->horizontalHeader();
    // A column the user widens (by dragging, or fitting with a double-click on its edge) keeps
    // that width; the others share whatever the window grew by.
    connect(header, &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (!m_fittingColumns && column < kColumnCount)
            m_userWidths[std::size_t(column)] = width;
    });
    connect(table, &QAbstractItemModel::modelReset, this, &MainWindow::fitColumns);
    // The columns after the ten come and go (a registry list's drop times, a ticked archive or
    // other-suffix metric); each opens at its own width.
    connect(table, &QAbstractItemModel::columnsInserted, this,
            [this, table](const QModelIndex &, int first, int last) {
                for (int section = first; section <= last; ++section)
                    m_c.resultGrid->setColumnWidth(
                        section, ResultTable::columnWidth(table->columnAt(section)));
                fitColumns();
            });
    connect(table, &QAbstractItemModel::columnsRemoved, this, &MainWindow::fitColumns);
    fitColumns();
    connect(header, &QHeaderView::sectionClicked, this, [table, header](int section) {
        const int column = table->columnAt(section);
        table->sortByColumn(column);
        const SortDirection direction = table->sortDirection(column);
        header->setSortIndicatorShown(direction != SortDirection::None);
        if (direction != SortDirection::None)
            header->setSortIndicator(section, direction == SortDirection::Descending
                                                  ? Qt::DescendingOrder
                                                  : Qt::AscendingOrder);
    });
    connect(table, &QAbstractItemModel::modelReset, header,
            [header] { header->setSortIndicatorShown(false); });
}

void MainWindow::fitColumns()
{
    // At the default size every column has its design width; the width the grid grew by goes
    // to the count columns first (as far as a nine-digit count needs), then to the domain.
    constexpr int kDefaultGridWidth = 713;
    constexpr int kWidestCount = 110;
    int extra = m_c.resultGrid->width() - kDefaultGridWidth;
    // The columns after the ten keep their own widths and take theirs from the growth first.
    const ResultTable *table = m_session->grid();
    for (int section = kColumnCount; section < table->columnCount(); ++section)
        extra -= ResultTable::columnWidth(table->columnAt(section));
    extra = qMax(0, extra);
    std::array<int, kColumnCount> widths{};
    for (int c = 0; c < kColumnCount; ++c)
        widths[std::size_t(c)] = m_userWidths[std::size_t(c)] > 0 ? m_userWidths[std::size_t(c)]
                                                                  : ResultTable::columnWidth(c);
    for (bool more = true; extra > 0 && more;) {
        more = false;
        for (int c = BaiduSite; c <= YahooLinksBare && extra > 0; ++c) {
            int &w = widths[std::size_t(c)];
            if (m_userWidths[std::size_t(c)] == 0 && w < kWidestCount) {
                ++w;
                --extra;
                more = true;
            }
        }
    }
    if (m_userWidths[kDomainColumn] == 0)
        widths[kDomainColumn] += extra;
    m_fittingColumns = true;
    for (int c = 0; c < kColumnCount; ++c)
        m_c.resultGrid->setColumnWidth(c, widths[std::size_t(c)]);
    m_fittingColumns = false;
}

QSettings MainWindow::windowState()
{
    // Beside the settings file, which stays as the user wrote it.
    return QSettings(QFileInfo(Settings::defaultPath()).absolutePath() +
                         QStringLiteral("/window.conf"),
                     QSettings::IniFormat);
}

void MainWindow::restoreWindowState()
{
    QSettings state = windowState();
    const QStringList widths = state.value(QStringLiteral("window/columns")).toStringList();
    for (int c = 0; c < kColumnCount && c < widths.size(); ++c)
        m_userWidths[std::size_t(c)] = qBound(0, widths[c].toInt(), 2000);
    const QSize client = state.value(QStringLiteral("window/size")).toSize();
    resize(client.expandedTo(QSize(kClientWidth, kClientHeight)) +
           QSize(0, statusBar()->sizeHint().height()));
    fitColumns();
}

void MainWindow::saveWindowState()
{
    QSettings state = windowState();
    state.setValue(QStringLiteral("window/size"), centralWidget()->size());
    QStringList widths;
    for (int w : m_userWidths)
        widths << QString::number(w);
    state.setValue(QStringLiteral("window/columns"), widths);
}

void MainWindow::wireQueryRun()
{
    Session *session = m_session;
    for (int k = 0; k < int(m_c.metricBoxes.size()); ++k) {
        QCheckBox *box = m_c.metricBoxes[k];
        connect(box, &QCheckBox::toggled, session,
                [session, k](bool on) { session->setTicked(k, on); });
        connect(m_c.metricCaptions[k], &ClickableLabel::clicked, box, &QCheckBox::toggle);
    }
    connect(m_c.stopFlag, &QCheckBox::toggled, session, &Session::setStopFlag);
    connect(session, &Session::stopFlagChanged, m_c.stopFlag, &QCheckBox::setChecked);
    connect(session, &Session::runningChanged, this,
            [this](bool running) { m_c.runButton->setText(running ? kStopCaption : kRunCaption); });
    connect(m_c.runButton, &QPushButton::clicked, session, [session] {
        if (session->isRunning())
            session->stop();
        else
            session->startRun();
    });
    connect(session, &Session::runRefused, this,
            [this](const QString &message) { Dialogs::inform(this, message); });
    connect(session, &Session::progressChanged, m_progress, &QLabel::setText);
}

int MainWindow::rowAt(const QPoint &viewportPoint) const
{
    return m_c.resultGrid->rowAt(viewportPoint.y());
}

int MainWindow::columnLeft(int column) const
{
    return m_c.resultGrid->columnViewportPosition(column);
}

int MainWindow::selectedRow() const
{
    const QModelIndexList rows = m_c.resultGrid->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
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
    [](QPointer<MainWindow> self, Session *session) -> QCoro::Task<void> {
        const bool newer = co_await session->newerVersionAvailable();
        if (!self || !newer)
            co_return;
        if (Dialogs::ask(self, UpdateCheck::kTitle, UpdateCheck::kQuestion) == Dialogs::Answer::Ok)
            QDesktopServices::openUrl(QUrl(self->m_session->productPage()));
    }(this, m_session);
}

void MainWindow::showNotices()
{
    m_notice->setText(m_session->noticeText());
    if (const std::optional<QDateTime> until = m_session->nextNoticeExpiry())
        m_noticeTimer.start(int(qMax<qint64>(0, Clock::nowUtc().msecsTo(*until))));
}

void MainWindow::wireFilter()
{
    m_c.criterionCombo->addItems(RowFilter::criterionTexts());
    m_c.criterionCombo->setCurrentIndex(0);
    connect(m_c.deleteRowsButton, &QPushButton::clicked, this, [this] {
        m_session->filterRows(m_c.criterionCombo->currentText(), m_c.thresholdEdit->text());
    });
}

void MainWindow::wireLookup()
{
    m_c.lookupEdit->setText(QStringLiteral("qinglan.com"));
    connect(m_c.lookupButton, &QPushButton::clicked, m_session,
            [this] { m_session->lookUp(m_c.lookupEdit->text()); });
    connect(m_session, &Session::lookupValueChanged, this, [this](int field, const QString &text) {
        m_c.detailValues[std::size_t(field)]->setText(text);
    });
    connect(m_session, &Session::lookupNoteChanged, this, [this](int field, const QString &note) {
        m_c.detailValues[std::size_t(field)]->setToolTip(note);
    });
    connect(m_session, &Session::lookupRefused, this,
            [this](const QString &message) { Dialogs::inform(this, message); });
    m_c.resultGrid->viewport()->installEventFilter(this);
}

// The local .txt or .csv file a drag carries, if it carries one.
static QString droppedListFile(const QMimeData *mime)
{
    for (const QUrl &url : mime->urls()) {
        const QString path = url.toLocalFile();
        if (path.endsWith(u".txt", Qt::CaseInsensitive) ||
            path.endsWith(u".csv", Qt::CaseInsensitive))
            return path;
    }
    return {};
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_c.resultGrid->viewport() &&
        (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
         event->type() == QEvent::Drop)) {
        auto *drop = static_cast<QDropEvent *>(event);
        const QString path = droppedListFile(drop->mimeData());
        if (path.isEmpty())
            return false;
        drop->acceptProposedAction();
        if (event->type() == QEvent::Drop)
            importFile(path);
        return true;
    }
    if (watched == centralWidget() && event->type() == QEvent::Resize) {
        fitToClient(m_c, static_cast<QResizeEvent *>(event)->size());
        fitColumns();
    }
    if (watched == m_c.resultGrid->viewport() && event->type() == QEvent::MouseButtonDblClick) {
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
    // The row hit, which the first click of the double-click made current.
    const int row = rowAt(viewportPoint);
    if (row < 0)
        return;
    int column = -1;
    for (int c = m_c.resultGrid->model()->columnCount() - 1; c >= 0; --c) {
        // A pointer exactly on an edge belongs to the column on its left.
        if (columnLeft(c) < viewportPoint.x()) {
            column = c;
            break;
        }
    }
    if (column < 0)
        return;
    const Session::CellAction action = m_session->actionAt(row, column);
    if (action.kind == Session::CellAction::Kind::LookUp)
        m_c.lookupEdit->setText(action.text);
    else if (action.kind == Session::CellAction::Kind::Open)
        // Handed to the desktop as a URL, never through a shell.
        QDesktopServices::openUrl(QUrl(action.text, QUrl::TolerantMode));
}

void MainWindow::wireLists()
{
    for (int k = 0; k < int(m_c.dayButtons.size()); ++k) {
        connect(m_c.dayButtons[k], &QPushButton::clicked, m_session,
                [this, k] { m_session->loadDay(k); });
    }
    connect(m_c.cnReloadButton, &QPushButton::clicked, m_session,
            [this] { m_session->reloadCnList(); });
    connect(m_session, &Session::dayHeaderChanged, m_c.dayHeaderLabel, &QLabel::setText);
    connect(m_session, &Session::dayLoadingChanged, m_c.dayLoadingPanel, &QWidget::setVisible);
    connect(m_session, &Session::suffixCaptionChanged, this,
            [this](int i, const QString &caption) { m_c.suffixButtons[i]->setText(caption); });
    for (int i = 0; i < int(m_c.suffixButtons.size()); ++i) {
        connect(m_c.suffixButtons[i], &QPushButton::clicked, m_session,
                [this, i] { m_session->breakDown(i); });
    }
    connect(m_session, &Session::categoriesChanged, this, [this] {
        for (int k = 0; k < Catalogue::kCategoryCount; ++k) {
            const QStringList &names = m_session->categories()[std::size_t(k)];
            texts(m_c.categoryLists[k])->setTexts(names);
            m_c.categoryCounts[k]->setText(QString::number(names.size()));
        }
    });
    for (int k = 0; k < int(m_c.categoryCounts.size()); ++k) {
        connect(m_c.categoryCounts[k], &ClickableLabel::clicked, m_session,
                [this, k] { m_session->importCategory(k); });
    }
}

void MainWindow::keepSession(const QString &path)
{
    m_session->keepIn(path);
}

QList<int> MainWindow::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_c.resultGrid->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void MainWindow::wireGridMenu()
{
    QTableView *grid = m_c.resultGrid;
    const auto add = [&](const QString &text, const QKeySequence &keys, auto slot) {
        auto *action = new QAction(text, grid);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        grid->addAction(action);
        return action;
    };
    add(QStringLiteral("复制"), QKeySequence::Copy,
        [this] { QGuiApplication::clipboard()->setText(m_session->copyRows(selectedRows())); });
    add(QStringLiteral("导出CSV…"), QKeySequence::Save, [this] { exportCsv(); });
    add(QStringLiteral("导出日历…"), {}, [this] {
        const QString path =
            Dialogs::saveFileName(this, QStringLiteral("导出日历"), QStringLiteral("varnel.ics"),
                                  QStringLiteral("iCalendar 文件 (*.ics)"));
        if (!path.isEmpty())
            m_session->exportCalendar(path, selectedRows());
    })->setObjectName(QStringLiteral("exportCalendarAction"));
    add(QStringLiteral("从文件导入…"), {}, [this] {
        const QString path = Dialogs::openFileName(this, QStringLiteral("从文件导入"),
                                                   QStringLiteral("域名列表 (*.txt *.csv)"));
        if (!path.isEmpty())
            importFile(path);
    });
    add(QStringLiteral("重查失败项"), {}, [this] { m_session->requery(); });
    add(QStringLiteral("清空结果"), {}, [this] { m_session->clearGrid(); });
    grid->setContextMenuPolicy(Qt::ActionsContextMenu);
    // A .txt or .csv file dropped on the grid is imported like one chosen from the menu.
    grid->setAcceptDrops(true);
    grid->viewport()->setAcceptDrops(true);
}

void MainWindow::exportCsv()
{
    const QString path =
        Dialogs::saveFileName(this, QStringLiteral("导出CSV"), QStringLiteral("varnel.csv"),
                              QStringLiteral("CSV 文件 (*.csv)"));
    if (!path.isEmpty())
        m_session->exportCsv(path, selectedRows());
}

void MainWindow::importFile(const QString &path)
{
    m_session->importFile(path);
}

void MainWindow::wireSorts()
{
    connect(m_c.sortDomesticButton, &QPushButton::clicked, m_session,
            [this] { m_session->sortLists(true); });
    connect(m_c.sortInternationalButton, &QPushButton::clicked, m_session,
            [this] { m_session->sortLists(false); });
    connect(m_c.sortBySizeButton, &QPushButton::clicked, this, [this] {
        texts(m_c.sizeSortResultList)
            ->setTexts(Catalogue::sortBySize(texts(m_c.sizeSortInputList)->texts()));
    });

    // The day strip covers these buttons where the window's design puts them; its context menu
    // and the category strip's reach them all the same.
    for (QPushButton *button : {m_c.cnReloadButton, m_c.sortInternationalButton,
                                m_c.sortDomesticButton, m_c.sortBySizeButton}) {
        auto *action = new QAction(button->text(), this);
        connect(action, &QAction::triggered, button, &QPushButton::click);
        for (QWidget *strip :
             {static_cast<QWidget *>(m_c.dayStrip), static_cast<QWidget *>(m_c.categoryStrip)})
            strip->addAction(action);
    }
    m_c.dayStrip->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_c.categoryStrip->setContextMenuPolicy(Qt::ActionsContextMenu);

    // The registries' own lists, beside the day's two: each replaces the grid as an import does.
    auto *registryLists = new QMenu(QStringLiteral("注册局删除列表"), this);
    registryLists->setObjectName(QStringLiteral("registryListMenu"));
    for (const Session::SourceRow &source : m_session->listSources()) {
        if (source.filedByDay)
            continue;
        QAction *action = registryLists->addAction(source.id);
        action->setObjectName(QStringLiteral("registryListAction_") + source.id);
        connect(action, &QAction::triggered, m_session,
                [this, id = source.id] { m_session->importListSource(id); });
    }
    registryLists->menuAction()->setObjectName(QStringLiteral("registryListMenuAction"));
    m_c.dayStrip->addAction(registryLists->menuAction());
}
