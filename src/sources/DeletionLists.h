#pragma once

#include "fetch/Endpoints.h"
#include "fetch/PageFetcher.h"
#include "sources/SourceLists.h"

#include <QDate>
#include <QObject>
#include <QPointer>

#include <QCoroTask>

// The ten suffix lists of one day and the two loaders that fill them. The window shows what
// this reports; the lists themselves live here, not in widgets.
class DeletionLists final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeletionLists)

public:
    static inline const QString kWaiting = QStringLiteral("等待载入中");

    DeletionLists(PageFetcher *fetcher, QObject *parent = nullptr);
    void setEndpoints(const Endpoints &endpoints) { m_endpoints = endpoints; }

    const Sources::SourceLists &lists() const { return m_lists; }
    const QStringList &list(int index) const { return m_lists[std::size_t(index)]; }
    // Replaces one list (the sorts write their result back through here).
    void setList(int index, QStringList entries);

    // The five day buttons: the day's date text, the CN list token and the header text.
    static QString dayDateText(int dayIndex, const QDate &today);
    static QString cnToken(int dayIndex);
    static QString dayHeader(int dayIndex);

    // A day button: empties all ten lists, loads the registrar's file of that day into the five
    // international lists, then the CN registry's file of the same day. A newer day click
    // supersedes this one: it then stops and adds nothing.
    QCoro::Task<void> LoadDailyDeletionList(int dayIndex, QDate today);
    // The CN registry's list named `token` replaces the five CN lists.
    QCoro::Task<void> LoadCnDeletionList(QString token);

    // Lines filed between two returns to the event loop.
    void setChunkSize(qsizetype lines) { m_chunk = qMax<qsizetype>(1, lines); }

Q_SIGNALS:
    void dayChosen(const QString &dateText, const QString &token, const QString &header);
    void loadingPanel(bool shown);
    void statusText(const QString &text); // the status label
    void captionChanged(int index, const QString &caption);
    void listsChanged();
    // A list could not be downloaded at all: `address` and why.
    void downloadFailed(const QString &address, const QString &error);

private:
    QCoro::Task<bool> fetchAndFile(QString address, bool cn, quint64 generation,
                                   const quint64 *currentGeneration);

    QPointer<PageFetcher> m_fetcher;
    Endpoints m_endpoints;
    Sources::SourceLists m_lists;
    // Each load remembers the generation it started in and gives up once a newer one begins.
    quint64 m_dayGeneration = 0;
    quint64 m_cnGeneration = 0;
    qsizetype m_chunk = 50'000;
};
