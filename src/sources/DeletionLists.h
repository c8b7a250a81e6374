#pragma once

#include "fetch/Endpoints.h"
#include "fetch/PageFetcher.h"
#include "sources/Suffixes.h"

#include <QDate>
#include <QObject>
#include <QPointer>

#include <QCoroTask>

// The ten suffix lists of one day, the day they belong to, and the two loaders that fill them.
// The window shows what this reports; the lists themselves live here, not in widgets.
class DeletionLists final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeletionLists)

public:
    static inline const QString kWaiting = QStringLiteral("等待载入中");
    static constexpr int kDayCount = 5;
    static constexpr int kToday = 2;

    // Starts on `today`, whose CN list "国内域名" loads until a day button chooses another day.
    DeletionLists(PageFetcher *fetcher, QDate today, QObject *parent = nullptr);
    void setEndpoints(const Endpoints &endpoints) { m_endpoints = endpoints; }

    const Sources::SourceLists &lists() const { return m_lists; }
    const QStringList &list(int index) const { return m_lists[std::size_t(index)]; }
    // Replaces one list (the sorts write their result back through here).
    void setList(int index, QStringList entries);

    // The day whose lists are loaded: its date text ("2011-04-15"), the CN list token that names
    // its CN file, and the header shown above the day buttons (empty before any day button).
    const QString &dayDate() const { return m_dayDate; }
    const QString &cnToken() const { return m_cnToken; }
    const QString &dayHeader() const { return m_dayHeader; }
    // What the last load step reported ("目前已经载入…条", "载入完毕!!").
    const QString &loadStatus() const { return m_loadStatus; }

    // The five day buttons, from the day before yesterday (0) to the day after tomorrow (4).
    static QString dayButtonCaption(int dayIndex);
    static QString dayDateText(int dayIndex, const QDate &today);
    static QString cnTokenOf(int dayIndex);
    static QString dayHeaderOf(int dayIndex);

    // A day button: empties all ten lists, loads the registrar's file of that day into the five
    // international lists, then (whether or not that worked) the CN registry's file of the same
    // day. A newer day click supersedes this one: it then stops and adds nothing.
    QCoro::Task<void> loadDay(int dayIndex, QDate today);
    // "国内域名": the CN registry's file of the current day replaces the five CN lists; a failed
    // download keeps the lists there were.
    QCoro::Task<void> reloadCnList();

    // Lines filed between two returns to the event loop.
    void setChunkSize(qsizetype lines) { m_chunk = qMax<qsizetype>(1, lines); }

Q_SIGNALS:
    void dayChanged();
    void loadingPanel(bool shown);
    void captionChanged(int index, const QString &caption);
    void listsChanged();
    // A list could not be downloaded (no answer, or an error page): `address` and why. Nothing
    // of it was filed.
    void downloadFailed(const QString &address, const QString &error);
    // A load skipped lines that are not names, or names of other suffixes.
    void linesSkipped(qsizetype count);

private:
    enum class Load { Filed, Failed, Superseded };
    QCoro::Task<Load> loadCnList(QString token);
    QCoro::Task<Load> fetchAndFile(QString address, bool cn, quint64 generation,
                                   const quint64 *currentGeneration);
    void setLoadStatus(const QString &text);
    void showCaptions(int first);

    QPointer<PageFetcher> m_fetcher;
    Endpoints m_endpoints;
    Sources::SourceLists m_lists;
    QString m_dayDate;
    QString m_cnToken;
    QString m_dayHeader;
    QString m_loadStatus;
    // Each load remembers the generation it started in and gives up once a newer one begins.
    quint64 m_dayGeneration = 0;
    quint64 m_cnGeneration = 0;
    qsizetype m_chunk = 50'000;
};
