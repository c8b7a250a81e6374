#pragma once

#include "SimFeeds.h"
#include "fetch/Endpoints.h"
#include "text/Version.h"

#include <QByteArrayList>
#include <QDate>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <limits>
#include <memory>

class QTcpSocket;
class QUrl;

namespace SimDetail {
class HttpFront;
class TapServer;
} // namespace SimDetail

// One HTTP server on 127.0.0.1 that stands in for every external site the program reads.
// Sites share the host:port, so each route is told apart by its path and query keys.
// Pages come from SimContent; faults and holds make a route misbehave on purpose.
class SiteSimulator : public QObject {
    Q_OBJECT
public:
    enum class Route {
        BaiduSite,      // /s?wd=site%3A<domain>
        BaiduDomain,    // /s?wd=domain%3A<domain>
        Google,         // /search?hl=zh-CN&source=hp&q=site%3A<domain>
        YahooPages,     // /search?bwm=p&p=<domain>
        YahooLinks,     // /search?bwm=i&p=<target>
        Registrar,      // /cgi-bin/check.cgi?area_domain=<domain>
        PageRank,       // /?PRAddress=<domain>
        PageRankFrame,  // /prframe?d=<domain>
        CnRegistryList, // /download/registar_list/<token>.txt
        DailyList,      // /<yyyy-mm-dd>.txt
        DeletionTool,   // /DomainDel/?wd=<domain>
        Icp,            // /s?keytype=0&q=<domain>
        MakerVersion,   // /varnel/shenji.txt
        MakerPage,      // /varnel/
        CaptchaPage,   // /sorry/... (Google) and /static/captcha/... (Baidu): where blocks redirect
        Rdap,          // /rdap/<suffix>/domain/<domain>
        RdapBootstrap, // /rdap/dns.json
        DropListUk,    // /current/uk.csv.gz
        DropListSe,    // /bardate_domains.json and .txt
        DropListNu,    // /bardate_domains_nu.json and .txt
        DropListPl,    // /deleted_domains.txt
        Archive,       // /cdx/search/cdx?url=<domain>&output=json&fl=timestamp&collapse=timestamp:4
        Doh,           // /resolve?name=<fqdn>&type=NS
        NotFound,      // anything else
        All,           // every route above, for faults, holds, counts and logs
    };
    Q_ENUM(Route)

    enum class FaultKind {
        None,
        Delay,        // answer normally after `value` ms
        Refuse,       // close the connection at once, without any answer
        Hang,         // accept the request and never answer
        ErrorStatus,  // status `value`, the body still the normal page
        Truncated,    // Content-Length promises the whole page, half is sent, then close
        Oversized,    // the normal page padded to `value` bytes
        Drip,         // chunked; one byte of the page every `value` ms until the client goes
        GzipBomb,     // gzip-encoded body that inflates to more than `value` MiB
        RedirectLoop, // 302 back to the same address
        InvalidBytes, // the page with invalid GB18030/UTF-8 sequences and a NUL byte in it
        Prefixed,     // `bytes`, then the normal page
        Body,         // status `value`, `bytes` instead of the page
        Throttled,    // status `value` with Retry-After and SimContent::throttledPage()
        Blocked,      // status `value` with the site's own block (captcha) page; 302 redirects to
                      // the site's captcha page instead
    };
    Q_ENUM(FaultKind)

    struct Fault {
        FaultKind kind = FaultKind::None;
        qint64 value = 0;
        QByteArray bytes = {};

        static Fault none() { return {}; }
        static Fault delay(int ms) { return {FaultKind::Delay, ms}; }
        static Fault refuse() { return {FaultKind::Refuse, 0}; }
        static Fault hang() { return {FaultKind::Hang, 0}; }
        static Fault errorStatus(int status) { return {FaultKind::ErrorStatus, status}; }
        static Fault truncated() { return {FaultKind::Truncated, 0}; }
        static Fault oversized(qint64 bytes) { return {FaultKind::Oversized, bytes}; }
        static Fault drip(int intervalMs = 1000) { return {FaultKind::Drip, intervalMs}; }
        static Fault gzipBomb(int mebibytes) { return {FaultKind::GzipBomb, mebibytes}; }
        static Fault redirectLoop() { return {FaultKind::RedirectLoop, 0}; }
        static Fault invalidBytes() { return {FaultKind::InvalidBytes, 0}; }
        static Fault prefixed(QByteArray bytes) { return {FaultKind::Prefixed, 0, bytes}; }
        static Fault body(QByteArray bytes, int status = 200)
        {
            return {FaultKind::Body, status, bytes};
        }
        static Fault throttled(int status) { return {FaultKind::Throttled, status}; }
        static Fault blocked(int status = 200) { return {FaultKind::Blocked, status}; }
    };

    explicit SiteSimulator(QObject *parent = nullptr);
    ~SiteSimulator() override;

    // Listens on 127.0.0.1; port 0 picks a free one.
    bool listen(quint16 port = 0);
    quint16 port() const;
    QString hostPort() const; // "127.0.0.1:PORT"
    Endpoints endpoints() const;

    // Lines in each registrar daily list (default 6000).
    void setListSize(int lines);
    int listSize() const { return m_listSize; }
    // The maker's version file (default: this build's own version, so no update is offered).
    void setVersionText(const QString &text);
    // The UTC day the RDAP registries live on; an invalid date (the default): the current one.
    void setRdapDay(const QDate &day) { m_rdapDay = day; }
    // The longest wait a registry's 429 asks for (by default the drawn 1 to 300 s stand), so that
    // a demo never stands still for minutes.
    void setMaxRetryAfterSeconds(int seconds) { m_maxRetryAfterSeconds = seconds; }

    // Route::All sets or releases every route at once.
    void setFault(Route route, Fault fault);
    void clearFaults();
    // A held route parks its answers until release(), which answers every parked request.
    void hold(Route route);
    void release(Route route);
    int heldCount(Route route = Route::All) const;

    // Requests received, faulted or not; targets are the raw path and query, as sent, and each
    // request's Accept header (empty when it sent none) stands beside its target.
    int requestCount(Route route = Route::All) const;
    QStringList requestTargets(Route route = Route::All) const;
    QByteArrayList requestAccepts(Route route = Route::All) const;
    void clearLog();

    // The page a request for `target` (path and query, as sent) gets when no fault applies.
    QByteArray pageFor(const QString &target) const;

    // Client connections currently open.
    int openConnections() const;

Q_SIGNALS:
    void requestReceived(SiteSimulator::Route route, const QString &target);

private:
    friend class SimDetail::HttpFront;

    static constexpr int kRouteCount = int(Route::All);

    struct Answer {
        int status = 200;
        QByteArray contentType;
        QByteArray body;
        QByteArray headers; // extra header lines, each ending in CR LF
    };
    struct Parked {
        QPointer<QTcpSocket> socket;
        Route route;
        QByteArray target;
        Answer answer;
    };
    struct Logged {
        Route route;
        QString target;
        QByteArray accept;
    };

    void handle(QTcpSocket *socket, const QUrl &url, const QByteArray &target,
                const QByteArray &hostHeader, const QByteArray &accept,
                const SimFeeds::Validators &validators);
    Answer answerFor(const QString &decoded, const QString &hostPort, Route *route,
                     const SimFeeds::Validators &validators = {}) const;
    void respond(QTcpSocket *socket, Route route, const QByteArray &target, Answer answer);

    int m_listSize = 6000;
    QByteArray m_versionText = kVarnelVersion;
    QDate m_rdapDay;
    int m_maxRetryAfterSeconds = std::numeric_limits<int>::max();
    std::array<Fault, kRouteCount> m_faults{};
    std::array<bool, kRouteCount> m_held{};
    QList<Parked> m_parked;
    QList<Logged> m_log;
    QPointer<SimDetail::TapServer> m_tcp;
    // Last, so it goes first: its sockets and their timers die while the state above still lives.
    std::unique_ptr<SimDetail::HttpFront> m_http;
};
