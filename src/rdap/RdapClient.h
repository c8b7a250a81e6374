#pragma once

#include "rdap/DropEstimate.h"
#include "rdap/RdapBootstrap.h"
#include "rdap/RdapRecord.h"
#include "text/Words.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <QCoroTask>

#include <functional>
#include <optional>

class PageFetcher;

// What a registry's RDAP server says of one name, read and estimated.
struct RdapResult {
    bool served = false; // false: no RDAP server is known for the name's suffix (.cn)
    RdapAnswer answer;
    DropEstimate::Estimate estimate;

    // The registration cell as the RDAP answer reads: "可注册", "已被注册", "查询受限" (slow down)
    // or "查询失败".
    QString registrationCell() const;
    // Whether that cell holds an answer, or a refusal or failure to ask again.
    CellState registrationState() const;
    // The statuses in one cell, joined with ", ", which no status holds.
    QString statusText() const;
    // What the cell's tooltip adds: the source, the statuses, the estimate and what did not read.
    QString note() const;
};

// Asks the registries through RDAP. It remembers the stage each name last showed, so a name that
// was pending delete and is now gone reads as deleted.
class RdapClient final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RdapClient)

public:
    RdapClient(PageFetcher *fetcher, RdapBootstrap bootstrap, QObject *parent = nullptr);

    const RdapBootstrap &bootstrap() const { return m_bootstrap; }
    bool serves(const QString &name) const;
    // The host of the registry's server for `name`; empty when none is known.
    QString registryHost(const QString &name) const;

    // One lookup, estimated at Clock::nowUtc(). `beforeRequest` is awaited first (a queue's
    // pacing); nullopt when it said stop, or the fetcher went during the wait.
    QCoro::Task<std::optional<RdapResult>>
    query(QString name, std::function<QCoro::Task<bool>()> beforeRequest = {});

private:
    QPointer<PageFetcher> m_fetcher;
    RdapBootstrap m_bootstrap;
    // The last stage seen per domain URL, so a 404 after a pending delete reads as dropped.
    QHash<QString, DropEstimate::Stage> m_lastStage;
};
