#pragma once

#include "fetch/Endpoints.h"
#include "fetch/PageFetcher.h"
#include "table/ResultTable.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <QCoroTask>

#include <array>

// What a click on the run button does: one button starts and stops a run over the ticked
// metrics. The caption and the stop flag are the run's state; the window mirrors both.
class QueryRun final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QueryRun)

public:
    static inline const QString kStartCaption = QStringLiteral("开始查询");
    static inline const QString kStopCaption = QStringLiteral("停止");
    static inline const QString kEmptyTableMessage = QStringLiteral("请先加入要查询的域名！");

    QueryRun(ResultTable *table, PageFetcher *fetcher, QObject *parent = nullptr);

    void setEndpoints(const Endpoints &endpoints) { m_endpoints = endpoints; }

    QString caption() const { return m_caption; }
    bool stopFlag() const { return m_stopFlag; }
    void setStopFlag(bool stop);
    bool isTicked(int metricIndex) const;
    void setTicked(int metricIndex, bool ticked);
    // True while any probe of any run still waits for a page.
    bool isBusy() const { return m_activeProbes > 0; }
    // The PageRank probe's last answer page, as it came.
    const QString &lastAnswerPage() const { return m_lastAnswerPage; }

    // The run button's click: a start when idle, a stop while running. Completes when this
    // click's probes have returned.
    QCoro::Task<void> startOrStop();
    // Ends any run at once, as when the table it walks is replaced: probes still waiting for a
    // page write that row if it still exists and stop there.
    void abandon();

Q_SIGNALS:
    void captionChanged(const QString &caption);
    void stopFlagChanged(bool stop);
    // The table holds no domain: the window tells the user.
    void refusedEmptyTable();
    // A probe measured row `done` of `total` for the metric named `caption`; done 0 ends it.
    void progress(const QString &caption, qsizetype done, qsizetype total);
    // A site refused a query ("查询受限"): the window names it.
    void siteRefused(const QString &site);
    void finished();

private:
    void setCaption(const QString &caption);
    QCoro::Task<void> callProbe(int metricIndex, quint64 generation);

    QPointer<ResultTable> m_table;
    QPointer<PageFetcher> m_fetcher;
    Endpoints m_endpoints;
    QString m_caption = kStartCaption;
    bool m_stopFlag = false;
    std::array<bool, 8> m_ticked{};
    // Each start opens a new generation; probes of an older one end at their next row, so a
    // start made while an interrupted run still waits never lets that run continue.
    quint64 m_generation = 0;
    int m_activeProbes = 0;
    QString m_lastAnswerPage;
};
