#pragma once

#include "fetch/Endpoints.h"
#include "sources/LengthBreakdown.h"

#include <QObject>

#include <QCoroTask>

class DeletionLists;
class DetailLookup;
class PageFetcher;
class QueryRun;
class ResultTable;
class RdapClient;
class SessionStore;
struct StartOptions;

// One user's work in the window, without the window: the day's lists and their categories, the
// result grid and its run, and the detail lookup, all asking the same sites through one fetcher.
// The rules that join them live here, so the window only forwards clicks and shows state.
class Session final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Session)

public:
    explicit Session(const Endpoints &endpoints, QObject *parent = nullptr);
    ~Session() override;

    const Endpoints &endpoints() const { return m_endpoints; }
    ResultTable *grid() const { return m_grid; }
    PageFetcher *fetcher() const { return m_fetcher; }
    QueryRun *run() const { return m_run; }
    DeletionLists *lists() const { return m_lists; }
    DetailLookup *lookup() const { return m_lookup; }
    RdapClient *rdap() const { return m_rdap; }
    const Sources::Categories &categories() const { return m_categories; }

    // Applies what the program started with: the fetcher's limits, user agent and proxy, each
    // site's pacing and the back-off. Returns the notices to show: the settings' warnings and
    // the proxy in use (never its password).
    QStringList configure(const StartOptions &options);

    // A suffix button: its list split into the seven categories.
    void breakDown(int suffixIndex);
    // A count label: the grid replaced by that category. A run still going ends first, so no
    // probe walks the new rows.
    void importCategory(int category);

    // Names from a user's file (text or CSV, in any of the usual encodings) replace the grid,
    // as a category import does; a file without names leaves the grid as it was. The file is
    // read away from the window's thread. Returns the status-bar text: what was imported and
    // what was skipped, or why nothing was.
    QCoro::Task<QString> importFile(QString path);

    // Empties the grid, and with it the session file.
    void clearGrid();

    // Keeps the grid in the session file at `path` from now on, after bringing back the grid
    // saved there. Returns what the user should be told (a restored grid, a file in use, moved
    // aside or not writable).
    QStringList keepIn(const QString &path);
    SessionStore *store() const { return m_store; }

    // Ends every run and fails every fetch still waiting, so that no procedure is left
    // suspended when the window goes; writes what the session file still lacks.
    void shutDown();

Q_SIGNALS:
    void categoriesChanged();
    void imported(qsizetype rows);
    // The session file stopped saving: what to tell the user.
    void storeProblem(const QString &text);

private:
    Endpoints m_endpoints;
    PageFetcher *m_fetcher;
    ResultTable *m_grid;
    QueryRun *m_run;
    DeletionLists *m_lists;
    DetailLookup *m_lookup;
    Sources::Categories m_categories;
    SessionStore *m_store = nullptr;
    RdapClient *m_rdap;
};
