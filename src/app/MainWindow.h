#pragma once

#include "WindowLayout.h"
#include "table/Columns.h"
#include "text/Version.h"

#include <QSettings>

#include <array>

#include <QMainWindow>
#include <QTimer>

class QLabel;
class Session;
struct StartOptions;

// The one window. It only glues controls to the session below it and shows its state.
class MainWindow final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    static inline const QString kTitle =
        QStringLiteral("Varnel ") + QLatin1StringView(kVarnelVersion) +
        QStringLiteral("  www.varnel-soft.example  青岚域名软件工作室  电话 0571-8800-1234");

    // `options` configure the session's network, pacing, back-off and RDAP servers.
    explicit MainWindow(const StartOptions &options, QWidget *parent = nullptr);
    ~MainWindow() override;

    const MainWindowControls &controls() const { return m_c; }
    Session *session() const { return m_session; }

    // Keeps the grid in the session file at `path`, bringing back the one saved there.
    void keepSession(const QString &path);

    // The grid operations that act on the view: rows from 0 in display order, -1 for none.
    int rowAt(const QPoint &viewportPoint) const;
    int columnLeft(int column) const;
    int selectedRow() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void startUp();
    void setUpGrid();
    void wireQueryRun();
    void wireFilter();
    void wireLookup();
    void wireLists();
    void wireSorts();
    void checkForUpdate();
    bool eventFilter(QObject *watched, QEvent *event) override;
    void openCell(const QPoint &viewportPoint);
    // The session's notices, until the first of them expires.
    void showNotices();
    void fitColumns();
    void wireGridMenu();
    QList<int> selectedRows() const;
    void exportCsv();
    void importFile(const QString &path);
    static QSettings windowState();
    void restoreWindowState();
    void saveWindowState();

    Session *m_session;
    MainWindowControls m_c;
    QLabel *m_notice;
    QLabel *m_progress;
    QTimer m_noticeTimer;
    // Widths the user gave columns; 0: the column follows the window.
    std::array<int, kColumnCount> m_userWidths{};
    bool m_fittingColumns = false;
};
