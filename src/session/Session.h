#pragma once

#include "session/NoticeQueue.h"
#include "session/StartOptions.h"
#include "sources/LengthBreakdown.h"
#include "sources/ListCache.h"
#include "sources/ListDownload.h"
#include "sources/NameImport.h"
#include "table/ResultTable.h"

#include <QObject>

#include <QCoroTask>

#include <optional>

class DeletionLists;
class DetailLookup;
class PageFetcher;
class QueryRun;
class RdapClient;
class SessionStore;

// One user's work without a face: the day's lists and their categories, the result grid and its
// run, the detail lookup and the notices, all asking the same sites through one fetcher. The
// window and each varnel-cli subcommand build one and call its actions, so both give the same
// cells, lookups and outcomes. A new use case is a new action here; its face only renders what
// the action returns or signals.
class Session final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Session)

public:
    // Applies what the program started with: the fetcher's limits, user agent and proxy, each
    // site's pacing, the back-off and the RDAP servers. The settings' warnings and the proxy in
    // use (never its password) become notices.
    explicit Session(const StartOptions &options, QObject *parent = nullptr);
    ~Session() override;

    const Endpoints &endpoints() const { return m_options.endpoints; }
    ResultTable *grid() const { return m_grid; }
    const Sources::Categories &categories() const { return m_categories; }
    // The parts, for tests that drive one of them directly.
    PageFetcher *fetcher() const { return m_fetcher; }
    QueryRun *run() const { return m_run; }
    DeletionLists *lists() const { return m_lists; }
    DetailLookup *lookup() const { return m_lookup; }
    RdapClient *rdap() const { return m_rdap; }

    // --- The day's lists.
    // A day button (0..4, today is 2): that day's lists, dated from the session's clock.
    QCoro::Task<void> loadDay(int dayIndex);
    QCoro::Task<void> reloadCnList();
    QString todayCaption() const;
    // One suffix's list as loaded, ordered by length as the list-sort buttons order a list when
    // `byLength`, and only the names of one `category` (0..6) when it is one.
    QStringList list(int suffixIndex, bool byLength = false, int category = -1) const;
    // The list-sort buttons: the domestic (net.cn, com.cn, org.cn, gov.cn) or the international
    // lists, each by length. Returns the notice.
    QString sortLists(bool domestic);
    // A suffix button: its list split into the seven categories.
    void breakDown(int suffixIndex);

    // --- Every list source, the registries' own lists among them.
    struct SourceRow {
        QString id;       // a list's key, or a probe recipe's metric
        QString endpoint; // the endpoint's name
        QString address;  // what is asked, its placeholders as they stand
        bool fromUserFile = false;
        bool filedByDay = false; // a list filed into a day's ten suffix lists (daily, cn)
        bool timed = false;      // a list whose names come with their drop times
        bool operator==(const SourceRow &) const = default;
    };
    // The list sources, in the table's order.
    QList<SourceRow> listSources() const;
    // The search-count recipes, then the API recipes, each in column order.
    QList<SourceRow> probeRecipes() const;
    // Downloads a list source through the cache; a day-indexed one is today's, named as the day
    // loader names it. An unknown id gives nothing and says so.
    QCoro::Task<ListDownload::Outcome> downloadList(QString id);
    // The entries of one UTC day (today + `daysAhead`, on the session's clock) when `daysAhead`
    // is given, of one category (0..6, by first label) when `category` is one.
    QList<DropList::Entry> pickEntries(const QList<DropList::Entry> &entries,
                                       std::optional<int> daysAhead, int category = -1) const;

    // --- The grid.
    // A count label: the grid replaced by that category. A run still going ends first, so no
    // probe walks the new rows.
    void importCategory(int category);
    using Names = NameImport::Result;
    // The names in a file's bytes (text or CSV, in any of the usual encodings).
    static Names readNames(const QByteArray &bytes);
    // `names` replace the grid as a category does.
    void importNames(const QStringList &names);
    // Names from a user's file (text or CSV, in any of the usual encodings) replace the grid,
    // as a category import does; a file without names leaves the grid as it was. The file is
    // read away from the caller's thread. Returns the notice: what was imported and what was
    // skipped, or why nothing was.
    QCoro::Task<QString> importFile(QString path);
    // A list source's names replace the grid as a file does, with their drop times. Returns the
    // notice: what was imported, or why nothing was.
    QCoro::Task<QString> importListSource(QString id);
    // Deletes the rows the criterion (RowFilter::criterionTexts) and threshold pick. Returns the
    // notice.
    QString filterRows(const QString &criterion, const QString &threshold);
    struct ExportResult {
        bool written = false;
        qsizetype rows = 0;
        QString notice;
    };
    // Writes the rows (display order) as CSV with a byte-order mark, all of them unless two or
    // more are selected; the file is replaced whole or not at all.
    ExportResult exportCsv(const QString &path, const QList<int> &selection);
    // Writes the rows with a known drop time as an iCalendar file, chosen as exportCsv chooses:
    // a list's exact time, else the RDAP estimate's first date as an all-day event. With no such
    // row nothing is written and the notice says so.
    ExportResult exportCalendar(const QString &path, const QList<int> &selection);
    // A list source's entries with a drop time as iCalendar, their source the list's id.
    QByteArray listCalendar(const QString &id, const QList<DropList::Entry> &entries) const;
    // The selected rows as tab-separated text, for the clipboard.
    QString copyRows(const QList<int> &selection) const;
    struct CellAction {
        enum class Kind { None, LookUp, Open };
        Kind kind = Kind::None;
        QString text; // LookUp: the name for the lookup field; Open: the URL for the desktop
        bool operator==(const CellAction &) const = default;
    };
    // What a double-click on a cell does: the domain cell puts the name in the lookup field, a
    // count cell opens the page the count came from, any other does nothing. `column` is the
    // grid's section, as the window shows it.
    CellAction actionAt(int row, int column) const;
    // Empties the grid, and with it the session file.
    void clearGrid();

    // --- The run.
    void setTicked(int metricIndex, bool ticked);
    void setStopFlag(bool stop);
    bool isRunning() const;
    // Completes when the run's queues have ended.
    QCoro::Task<void> startRun();
    void stop();
    // Asks again only the cells that failed, were refused or are still blank.
    QCoro::Task<void> requery();
    // Whether every cell of `metrics` (varnel-cli's indexes, the RDAP metric included) was
    // measured in every row.
    bool measuredAll(const QList<int> &metrics) const;
    // The state of metric `metric`'s cell in `row` (varnel-cli's indexes): Blank for a cell no
    // queue asked.
    CellState metricState(int row, int metric) const;
    // The RDAP metric's cells of a row, once read: the statuses, the real expiry and the drop
    // estimate; three empty cells before.
    QStringList rdapCells(RowId row) const;

    // --- The lookup.
    // Looks `typed` up; a text that is empty or no host name is refused (lookupRefused).
    // `askRegistry` also asks the registry's RDAP server where the deletion page answered.
    struct LookupReport {
        QString refusal; // the message when the text was empty or no host name: nothing asked
        QString name;
        QStringList values; // by field
        // The registry's answer: caption and value lines, and whether it failed.
        QList<std::pair<QString, QString>> registry;
        QStringList registryWarnings;
        QString registryError; // non-empty: the registry did not answer
        bool fetchFailed = false;
    };
    QCoro::Task<LookupReport> lookUp(QString typed, bool askRegistry = false);

    // --- Notices.
    void notify(const QString &text);
    // Writes `bytes` to `path` as one file; `doneText` takes the count and the path.
    ExportResult saveExport(const QString &path, const QByteArray &bytes, qsizetype count,
                            const QString &doneText);
    // Drops the notices that have expired (the window's timer asks when nextNoticeExpiry says).
    void expireNotices();
    QString noticeText() const { return m_notices.text(); }
    std::optional<QDateTime> nextNoticeExpiry() const { return m_notices.nextExpiry(); }

    // Keeps the grid in the session file at `path` from now on, after bringing back the grid
    // saved there. What the user should be told (a restored grid, a file in use, moved aside or
    // not writable) becomes notices.
    void keepIn(const QString &path);
    SessionStore *store() const { return m_store; }
    // Whether a newer version is offered at the maker's site, and the page to open for it.
    QCoro::Task<bool> newerVersionAvailable();
    QString productPage() const;

    struct BootstrapUpdate {
        bool stored = false;
        QStringList lines; // what went wrong, or what the next start will serve
    };
    // Downloads IANA's table of RDAP servers over HTTPS and keeps it for the next start; a
    // download that fails or does not read keeps the last good copy.
    QCoro::Task<BootstrapUpdate> updateRdapBootstrap();

    // Ends every run and fails every fetch still waiting, so that no procedure is left
    // suspended when the face goes; writes what the session file still lacks.
    void shutDown();

Q_SIGNALS:
    void noticesChanged();
    void categoriesChanged();
    void imported(qsizetype rows);
    void dayHeaderChanged(const QString &text);
    void dayLoadingChanged(bool loading);
    void suffixCaptionChanged(int suffixIndex, const QString &caption);
    void downloadFailed(const QString &address, const QString &error);
    void linesSkipped(qsizetype count);
    void runningChanged(bool running);
    void stopFlagChanged(bool stop);
    void progressChanged(const QString &text);
    // A start with nothing to ask: the message for the user.
    void runRefused(const QString &message);
    void runNotice(const QString &text);
    void rowFinished(RowId row);
    // A row's RDAP record read; the warnings name the parts that did not read.
    void rdapWarnings(RowId row, const QStringList &warnings);
    void lookupValueChanged(int field, const QString &text);
    void lookupNoteChanged(int field, const QString &note);
    // A lookup text that is empty or no host name: the message for the user.
    void lookupRefused(const QString &message);
    void lookupNotice(const QString &text);
    void lookupFailed(const QString &error);

private:
    void wire();
    void configure();

    StartOptions m_options;
    PageFetcher *m_fetcher;
    ResultTable *m_grid;
    QueryRun *m_run;
    DeletionLists *m_lists;
    DetailLookup *m_lookup;
    RdapClient *m_rdap;
    ListCache m_listCache;
    Sources::Categories m_categories;
    SessionStore *m_store = nullptr;
    NoticeQueue m_notices;
    QHash<RowId, QStringList> m_rdapCells;
    QHash<RowId, CellState> m_rdapStates;
    struct RdapDrop {
        QString stage;
        QDate date; // the estimate's first local date; invalid when nothing is estimated
    };
    QHash<RowId, RdapDrop> m_rdapDrops;
    bool m_shutDown = false;
};
