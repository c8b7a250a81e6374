#pragma once

#include "fetch/Endpoints.h"
#include "fetch/PageFetcher.h"
#include "fetch/RetryAfter.h"
#include "rdap/RdapClient.h"

#include <QObject>
#include <QPointer>

#include <QCoroTask>

// One domain's age, dates, deletion countdown and ICP filing, from two pages. The window shows
// what it reports in the detail panel's value labels.
class DetailLookup final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DetailLookup)

public:
    // The detail panel's values, left to right.
    enum class Field { Age, Filing, Registered, Expires, Countdown };
    Q_ENUM(Field)
    static constexpr int kFieldCount = 5;

    static inline const QString kReset = QStringLiteral("..");
    static inline const QString kNoInformation = QStringLiteral("无信息");
    static inline const QString kNotFiled = QStringLiteral("无备案");
    static inline const QString kEmptyInputMessage = QStringLiteral("查询域名不能为空");
    static QString invalidInputMessage(const QString &typed)
    {
        return QStringLiteral("不是有效的域名：") + typed;
    }

    explicit DetailLookup(PageFetcher *fetcher, QObject *parent = nullptr);
    void setEndpoints(const Endpoints &endpoints) { m_endpoints = endpoints; }
    // Where the deletion-date page fails or knows nothing, the registry's RDAP record fills the
    // dates instead.
    void setRdap(RdapClient *rdap) { m_rdap = rdap; }
    // A registry that asks to slow down is asked again as a run's queue would.
    void setBackoff(const Backoff &backoff) { m_backoff = backoff; }

    // The caption above each value.
    static QString fieldCaption(Field field);

    // The lookup of `domain` as typed, asked as its ASCII host name; a text that is no host name
    // asks nothing. A newer lookup supersedes one still waiting: the older one writes nothing
    // more.
    QCoro::Task<void> lookUp(QString domain);
    // The registry's own record of `domain` (an ASCII host name), asked again after each "slow
    // down" until the back-off's tries are spent; nullopt when the lookup was given up meanwhile.
    QCoro::Task<std::optional<RdapResult>> queryRdap(QString domain);
    // Gives up the lookup in progress at once: its pause ends and it writes nothing more.
    void abandon();

Q_SIGNALS:
    void valueChanged(DetailLookup::Field field, const QString &text);
    // Where a value came from and what else is known, for its tooltip; empty for the pages.
    void valueNoteChanged(DetailLookup::Field field, const QString &note);
    void emptyInput();
    // The typed text is not a host name; nothing was asked.
    void invalidInput(const QString &typed);
    // Each RDAP record the lookup got, after its retries.
    void rdapRead(const RdapResult &result);
    // A one-off message for the status bar: a registry asked us to wait.
    void notice(const QString &text);
    // The lookup in progress was given up: its pause ends now.
    void abandoned();
    // A page could not be fetched at all.
    void fetchFailed(const QString &error);

private:
    // The dates from RDAP; false when no record came.
    QCoro::Task<bool> fillFromRdap(QString domain, quint64 generation);
    QCoro::Task<std::optional<RdapResult>> askRdap(QString domain, quint64 generation);

    QPointer<PageFetcher> m_fetcher;
    QPointer<RdapClient> m_rdap;
    Endpoints m_endpoints;
    Backoff m_backoff;
    quint64 m_generation = 0;
};
