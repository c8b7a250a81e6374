#pragma once

#include "fetch/Endpoints.h"
#include "fetch/PageFetcher.h"
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

    explicit DetailLookup(PageFetcher *fetcher, QObject *parent = nullptr);
    void setEndpoints(const Endpoints &endpoints) { m_endpoints = endpoints; }
    // Where the deletion-date page fails or knows nothing, the registry's RDAP record fills the
    // dates instead.
    void setRdap(RdapClient *rdap) { m_rdap = rdap; }

    // The caption above each value.
    static QString fieldCaption(Field field);

    // The lookup of `domain`, used exactly as typed. A newer lookup supersedes one still waiting:
    // the older one writes nothing more.
    QCoro::Task<void> lookUp(QString domain);

Q_SIGNALS:
    void valueChanged(DetailLookup::Field field, const QString &text);
    // Where a value came from and what else is known, for its tooltip; empty for the pages.
    void valueNoteChanged(DetailLookup::Field field, const QString &note);
    void emptyInput();
    // A page could not be fetched at all.
    void fetchFailed(const QString &error);

private:
    // The dates from RDAP; false when no record came.
    QCoro::Task<bool> fillFromRdap(QString domain, quint64 generation);

    QPointer<PageFetcher> m_fetcher;
    QPointer<RdapClient> m_rdap;
    Endpoints m_endpoints;
    quint64 m_generation = 0;
};
