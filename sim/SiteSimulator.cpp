#include "SiteSimulator.h"

#include "SimApis.h"
#include "SimContent.h"
#include "text/Clock.h"

#include <QAbstractHttpServer>
#include <QHttpServerRequest>
#include <QQueue>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <optional>
#include <zlib.h>

using Route = SiteSimulator::Route;
using FaultKind = SiteSimulator::FaultKind;

namespace SimDetail {

// Keeps each request's target exactly as the client sent it, for the log: QHttpServerRequest only
// offers a QUrl, which normalises escapes. Routing uses the request the server parsed; this only
// records. It peeks at the bytes before the server reads them (its first slot runs before the
// server's) and, after the server has read (its second slot runs after), notes how much of what
// it saw is still unread, so bytes the server leaves for a later read are never scanned twice.
class RequestTap : public QObject {
    Q_OBJECT
public:
    explicit RequestTap(QTcpSocket *socket)
        : QObject(socket)
    {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { scan(socket); });
    }
    // Called once the server has connected its own reader to the socket.
    void followServer(QTcpSocket *socket)
    {
        connect(socket, &QTcpSocket::readyRead, this,
                [this, socket] { m_seenUnread = socket->bytesAvailable(); });
    }

    QByteArray takeTarget() { return m_targets.isEmpty() ? QByteArray() : m_targets.dequeue(); }

private:
    void scan(QTcpSocket *socket)
    {
        const qint64 available = socket->bytesAvailable();
        m_pending += socket->peek(available).mid(qMin(m_seenUnread, available));
        m_seenUnread = available;
        for (;;) {
            const qsizetype skipped = qMin(m_bodyLeft, m_pending.size());
            m_pending.remove(0, skipped);
            m_bodyLeft -= skipped;
            if (m_bodyLeft > 0)
                return;
            while (m_pending.startsWith('\n') || m_pending.startsWith("\r\n"))
                m_pending.remove(0, m_pending.indexOf('\n') + 1);
            // Lines end in CR LF, or in a bare LF, which the server's parser accepts too.
            qsizetype end = m_pending.indexOf("\r\n\r\n");
            qsizetype gap = 4;
            const qsizetype bare = m_pending.indexOf("\n\n");
            if (bare >= 0 && (end < 0 || bare < end)) {
                end = bare;
                gap = 2;
            }
            if (end < 0)
                return;
            const QByteArray head = m_pending.left(end);
            m_targets.enqueue(head.left(head.indexOf('\n')).trimmed().split(' ').value(1));
            static const QRegularExpression lengthRe(QStringLiteral("\ncontent-length:\\s*(\\d+)"),
                                                     QRegularExpression::CaseInsensitiveOption);
            m_bodyLeft = lengthRe.match(QString::fromLatin1(head)).captured(1).toLongLong();
            m_pending.remove(0, end + gap);
        }
    }

    QByteArray m_pending;
    qint64 m_seenUnread = 0;
    qint64 m_bodyLeft = 0;
    QQueue<QByteArray> m_targets;
};

class TapServer : public QTcpServer {
public:
    int openConnections() const
    {
        int n = 0;
        for (const QTcpSocket *s : findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly))
            n += s->state() == QAbstractSocket::ConnectedState;
        return n;
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        auto *tap = new RequestTap(socket);
        // The HTTP server takes the socket and connects its reader right here.
        addPendingConnection(socket);
        tap->followServer(socket);
    }
};

class HttpFront : public QAbstractHttpServer {
public:
    explicit HttpFront(SiteSimulator *sim)
        : m_sim(sim)
    {
    }

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        const auto *tap = socket->findChild<RequestTap *>();
        QByteArray raw = tap ? const_cast<RequestTap *>(tap)->takeTarget() : QByteArray();
        if (raw.isEmpty())
            raw = request.url().toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
        m_sim->handle(socket, request.url(), raw, request.value("Host"), request.value("Accept"),
                      {request.value("If-Modified-Since"), request.value("If-None-Match")});
        return true;
    }
    // Unreachable: every request is handled above, unknown addresses included.
    void missingHandler(const QHttpServerRequest &, QTcpSocket *) override {}

private:
    SiteSimulator *m_sim;
};

} // namespace SimDetail

namespace {

const QByteArray kGbHtml = "text/html; charset=gb2312";
const QByteArray kGbText = "text/plain; charset=gb2312";
const QByteArray kGbXml = "text/xml; charset=gb2312";
const QByteArray kUtf8Html = "text/html; charset=utf-8";
const QByteArray kRdapJson = "application/rdap+json";
const QByteArray kJson = "application/json";
const QByteArray kUtf8Text = "text/plain; charset=utf-8";
const QByteArray kGzip = "application/gzip";

struct Site {
    QString hostPort; // as the client addressed us
    int listSize;
    QByteArray versionText;
    QDate rdapDay;
    int maxRetryAfterSeconds;
    SimFeeds::Validators validators;
};

// Empty: the route exists but this parameter has no page (404).
using Build = std::optional<QByteArray> (*)(const QString &param, const Site &site);
// For a route whose answers carry their own status and headers.
using Reply = SimContent::Reply (*)(const QString &param, const Site &site);

struct RouteRule {
    Route route;
    const char *pattern; // on the percent-decoded target; capture 1 is the parameter
    const QByteArray &contentType;
    Build build;
    Reply reply = nullptr; // used instead of `build` when set
};

// The registries' lists change with the UTC day and answer conditional requests.
template <SimFeeds::File file> SimContent::Reply feed(const QString &, const Site &site)
{
    return SimFeeds::reply(file, Clock::nowUtc().date(), site.validators);
}

// Several sites share one host:port, so the query keys are part of each pattern.
const RouteRule kRoutes[] = {
    {Route::BaiduSite, R"(/s\?wd=site:(.*))", kGbHtml,
     [](const QString &p, const Site &) -> std::optional<QByteArray> {
         return SimContent::baiduPage(p, true);
     }},
    {Route::BaiduDomain, R"(/s\?wd=domain:(.*))", kGbHtml,
     [](const QString &p, const Site &) -> std::optional<QByteArray> {
         return SimContent::baiduPage(p, false);
     }},
    {Route::Google, R"(/search\?hl=zh-CN&source=hp&q=site:(.*))", kUtf8Html,
     [](const QString &p, const Site &) -> std::optional<QByteArray> {
         return SimContent::googlePage(p);
     }},
    {Route::YahooPages, R"(/search\?bwm=p&p=(.*))", kUtf8Html,
     [](const QString &p, const Site &) -> std::optional<QByteArray> {
         return SimContent::yahooPagesPage(p);
     }},
    {Route::YahooLinks, R"(/search\?bwm=i&p=(.*))", kUtf8Html,
     [](const QString &p, const Site &) -> std::optional<QByteArray> {
         return SimContent::yahooLinksPage(p);
     }},
    {Route::Registrar, R"(/cgi-bin/check\.cgi\?area_domain=(.*))", kGbXml,
     [](const QString &p, const Site &) -> std::optional<QByteArray> {
         return SimContent::registrarAnswer(p);
     }},
    {Route::PageRank, R"(/\?PRAddress=(.*))", kUtf8Html,
     [](const QString &p, const Site &s) -> std::optional<QByteArray> {
         return SimContent::pageRankPage(p, s.hostPort);
     }},
    {Route::PageRankFrame, R"(/prframe\?d=(.*))", kUtf8Html,
     [](const QString &p, const Site &) -> std::optional<QByteArray> {
         return SimContent::pageRankFrame(p);
     }},
    {Route::CnRegistryList, R"(/download/registar_list/([^/?]*)\.txt)", kGbText,
     [](const QString &p, const Site &) -> std::optional<QByteArray> {
         QByteArray list = SimContent::cnDeletionList(p);
         return list.isEmpty() ? std::nullopt : std::optional(list);
     }},
    {Route::DailyList, R"(/([0-9]{4}-[0-9]{2}-[0-9]{2})\.txt)", kGbText,
     [](const QString &p, const Site &s) -> std::optional<QByteArray> {
         const QDate date = QDate::fromString(p, Qt::ISODate);
         return date.isValid() ? std::optional(SimContent::dailyDeletionList(date, s.listSize))
                               : std::nullopt;
     }},
    {Route::DeletionTool, R"(/DomainDel/\?wd=(.*))", kUtf8Html,
     [](const QString &p, const Site &) -> std::optional<QByteArray> {
         return SimContent::deletionToolPage(p);
     }},
    {Route::Icp, R"(/s\?keytype=0&q=(.*))", kGbHtml,
     [](const QString &p, const Site &) -> std::optional<QByteArray> {
         return SimContent::icpPage(p);
     }},
    {Route::MakerVersion, R"(/varnel/shenji\.txt)", kGbText,
     [](const QString &, const Site &s) -> std::optional<QByteArray> { return s.versionText; }},
    {Route::MakerPage, R"(/varnel/)", kGbHtml,
     [](const QString &, const Site &) -> std::optional<QByteArray> {
         return SimContent::makerPage();
     }},
    {Route::CaptchaPage, R"(/(sorry/.*|static/captcha/.*))", kUtf8Html,
     [](const QString &p, const Site &) -> std::optional<QByteArray> {
         return SimContent::blockPage(p.startsWith(u"sorry") ? SimContent::BlockStyle::Google
                                                             : SimContent::BlockStyle::Baidu,
                                      false);
     }},
    {Route::Rdap, R"(/rdap/([^/?]+/domain/[^/?]*))", kRdapJson, nullptr,
     [](const QString &p, const Site &s) {
         const QStringList parts = p.split(u'/'); // suffix, "domain", name
         const QDateTime now = Clock::nowUtc();
         return SimContent::rdapDomainReply(parts[0], parts[2], s.hostPort,
                                            s.rdapDay.isValid() ? s.rdapDay : now.date(), now,
                                            s.maxRetryAfterSeconds);
     }},
    {Route::RdapBootstrap, R"(/rdap/dns\.json)", kJson,
     [](const QString &, const Site &s) -> std::optional<QByteArray> {
         return SimContent::rdapBootstrap(s.hostPort, Clock::nowUtc());
     }},
    {Route::DropListUk, R"(/current/uk\.csv\.gz)", kGzip, nullptr, feed<SimFeeds::File::UkCsvGz>},
    {Route::DropListSe, R"(/bardate_domains\.json)", kJson, nullptr, feed<SimFeeds::File::SeJson>},
    {Route::DropListSe, R"(/bardate_domains\.txt)", kUtf8Text, nullptr,
     feed<SimFeeds::File::SeText>},
    {Route::DropListNu, R"(/bardate_domains_nu\.json)", kJson, nullptr,
     feed<SimFeeds::File::NuJson>},
    {Route::DropListNu, R"(/bardate_domains_nu\.txt)", kUtf8Text, nullptr,
     feed<SimFeeds::File::NuText>},
    {Route::DropListPl, R"(/deleted_domains\.txt)", kUtf8Text, nullptr,
     feed<SimFeeds::File::PlText>},
    {Route::Archive,
     R"(/cdx/search/cdx\?url=([^&]*)&output=json&fl=timestamp&collapse=timestamp:4)", kJson,
     [](const QString &p, const Site &) -> std::optional<QByteArray> {
         return SimContent::archiveAnswer(p);
     }},
    {Route::Doh, R"(/resolve\?name=([^&]*)&type=NS)", kJson,
     [](const QString &p, const Site &) -> std::optional<QByteArray> {
         return SimContent::dohAnswer(p);
     }},
};

const RouteRule *matchRoute(const QString &target, QString *param)
{
    static const QList<QRegularExpression> patterns = [] {
        QList<QRegularExpression> out;
        for (const RouteRule &rule : kRoutes)
            out << QRegularExpression(
                QRegularExpression::anchoredPattern(QLatin1String(rule.pattern)),
                QRegularExpression::DotMatchesEverythingOption);
        return out;
    }();
    for (qsizetype i = 0; i < patterns.size(); ++i) {
        const QRegularExpressionMatch m = patterns[i].match(target);
        if (m.hasMatch()) {
            *param = m.captured(1);
            return &kRoutes[i];
        }
    }
    return nullptr;
}

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 403:
        return "Forbidden";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

// `length` < 0: no Content-Length; `extra` then says how the body is framed.
QByteArray head(int status, const QByteArray &contentType, qint64 length,
                const QByteArray &extra = {})
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) +
                     "\r\nServer: varnel-sim\r\nContent-Type: " + contentType + "\r\n";
    if (length >= 0)
        out += "Content-Length: " + QByteArray::number(length) + "\r\n";
    return out + extra + "\r\n";
}

void send(QTcpSocket *socket, int status, const QByteArray &contentType, const QByteArray &body,
          const QByteArray &extra = {})
{
    if (socket->state() == QAbstractSocket::ConnectedState)
        socket->write(head(status, contentType, body.size(), extra) + body);
}

// `content`, then NUL bytes up to `inflatedSize`, gzip-compressed. Streams the padding, so a
// bomb of hundreds of MiB never exists inflated in memory.
QByteArray gzipPadded(const QByteArray &content, qint64 inflatedSize)
{
    z_stream zs{};
    deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    QByteArray out;
    char chunk[64 * 1024];
    const auto feed = [&](const char *data, qint64 size, int flush) {
        zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
        zs.avail_in = uInt(size);
        do {
            zs.next_out = reinterpret_cast<Bytef *>(chunk);
            zs.avail_out = sizeof chunk;
            deflate(&zs, flush);
            out.append(chunk, qsizetype(sizeof chunk - zs.avail_out));
        } while (zs.avail_out == 0);
    };
    feed(content.constData(), content.size(), Z_NO_FLUSH);
    const QByteArray zeros(1 << 20, '\0');
    for (qint64 left = inflatedSize - content.size(); left > 0; left -= zeros.size())
        feed(zeros.constData(), qMin<qint64>(left, zeros.size()), Z_NO_FLUSH);
    feed(nullptr, 0, Z_FINISH);
    deflateEnd(&zs);
    return out;
}

// Bytes no GB18030 or UTF-8 decoder accepts (a stray 0x80 and 0xFF, a lead byte followed by a
// space, a UTF-8 lead before '('), plus a NUL. Put at a line start, so the page's own
// multi-byte characters stay whole.
QByteArray withInvalidBytes(QByteArray body)
{
    static const QByteArray kJunk("\x80\xff\x81\x20\xc3\x28\x00", 7);
    return body.insert(body.indexOf('\n') + 1, kJunk);
}

} // namespace

SiteSimulator::SiteSimulator(QObject *parent)
    : QObject(parent)
    , m_http(std::make_unique<SimDetail::HttpFront>(this))
{
}

SiteSimulator::~SiteSimulator() = default;

bool SiteSimulator::listen(quint16 port)
{
    if (m_tcp)
        return false;
    auto *tcp = new SimDetail::TapServer;
    if (!tcp->listen(QHostAddress::LocalHost, port)) {
        delete tcp;
        return false;
    }
    m_http->bind(tcp);
    m_tcp = tcp;
    return true;
}

quint16 SiteSimulator::port() const
{
    return m_tcp ? m_tcp->serverPort() : 0;
}

QString SiteSimulator::hostPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port());
}

Endpoints SiteSimulator::endpoints() const
{
    return Endpoints::allAt(hostPort());
}

void SiteSimulator::setListSize(int lines)
{
    m_listSize = qMax(0, lines);
}

void SiteSimulator::setVersionText(const QString &text)
{
    QStringEncoder encoder("GB18030");
    m_versionText = encoder.encode(text);
}

void SiteSimulator::setFault(Route route, Fault fault)
{
    if (route == Route::All)
        m_faults.fill(fault);
    else
        m_faults[int(route)] = fault;
}

void SiteSimulator::clearFaults()
{
    m_faults.fill(Fault{});
}

void SiteSimulator::hold(Route route)
{
    if (route == Route::All)
        m_held.fill(true);
    else
        m_held[int(route)] = true;
}

void SiteSimulator::release(Route route)
{
    const auto matches = [route](Route r) { return route == Route::All || route == r; };
    for (int r = 0; r < kRouteCount; ++r) {
        if (matches(Route(r)))
            m_held[r] = false;
    }
    QList<Parked> due;
    for (auto it = m_parked.begin(); it != m_parked.end();) {
        if (matches(it->route)) {
            due << *it;
            it = m_parked.erase(it);
        } else {
            ++it;
        }
    }
    for (const Parked &p : due) {
        if (p.socket && p.socket->state() == QAbstractSocket::ConnectedState)
            respond(p.socket, p.route, p.target, p.answer);
    }
}

int SiteSimulator::heldCount(Route route) const
{
    return int(std::count_if(m_parked.cbegin(), m_parked.cend(), [route](const Parked &p) {
        return (route == Route::All || p.route == route) && p.socket &&
               p.socket->state() == QAbstractSocket::ConnectedState;
    }));
}

int SiteSimulator::requestCount(Route route) const
{
    return int(std::count_if(m_log.cbegin(), m_log.cend(), [route](const Logged &l) {
        return route == Route::All || l.route == route;
    }));
}

QStringList SiteSimulator::requestTargets(Route route) const
{
    QStringList out;
    for (const Logged &l : m_log) {
        if (route == Route::All || l.route == route)
            out << l.target;
    }
    return out;
}

QByteArrayList SiteSimulator::requestAccepts(Route route) const
{
    QByteArrayList out;
    for (const Logged &l : m_log) {
        if (route == Route::All || l.route == route)
            out << l.accept;
    }
    return out;
}

void SiteSimulator::clearLog()
{
    m_log.clear();
}

int SiteSimulator::openConnections() const
{
    return m_tcp ? m_tcp->openConnections() : 0;
}

SiteSimulator::Answer SiteSimulator::answerFor(const QString &decoded, const QString &hostPort,
                                               Route *route,
                                               const SimFeeds::Validators &validators) const
{
    QString param;
    const RouteRule *rule = matchRoute(decoded, &param);
    *route = rule ? rule->route : Route::NotFound;
    const Site site{hostPort,  m_listSize, m_versionText, m_rdapDay, m_maxRetryAfterSeconds,
                    validators};
    if (rule && rule->reply) {
        SimContent::Reply reply = rule->reply(param, site);
        return Answer{reply.status, rule->contentType, reply.body, reply.headers};
    }
    const std::optional<QByteArray> body = rule ? rule->build(param, site) : std::nullopt;
    return body ? Answer{200, rule->contentType, *body, {}}
                : Answer{404, kUtf8Html, SimContent::notFoundPage(decoded), {}};
}

QByteArray SiteSimulator::pageFor(const QString &target) const
{
    Route route;
    return answerFor(QUrl::fromPercentEncoding(target.toUtf8()), hostPort(), &route).body;
}

void SiteSimulator::handle(QTcpSocket *socket, const QUrl &url, const QByteArray &target,
                           const QByteArray &hostHeader, const QByteArray &accept,
                           const SimFeeds::Validators &validators)
{
    // Routes match the decoded path and query, whatever the client escaped on the way.
    QString decoded = url.path(QUrl::FullyDecoded);
    if (url.hasQuery())
        decoded += u'?' + url.query(QUrl::FullyDecoded);
    Route route;
    const Answer answer =
        answerFor(decoded, hostHeader.isEmpty() ? hostPort() : QString::fromLatin1(hostHeader),
                  &route, validators);

    m_log << Logged{route, QString::fromUtf8(target), accept};
    Q_EMIT requestReceived(route, QString::fromUtf8(target));
    if (m_held[int(route)])
        m_parked << Parked{socket, route, target, answer};
    else
        respond(socket, route, target, answer);
}

void SiteSimulator::respond(QTcpSocket *socket, Route route, const QByteArray &target,
                            Answer answer)
{
    const Fault fault = m_faults[int(route)];
    switch (fault.kind) {
    case FaultKind::None:
        send(socket, answer.status, answer.contentType, answer.body, answer.headers);
        break;
    case FaultKind::Delay:
        // Tied to the socket: a client that leaves takes the pending answer with it.
        QTimer::singleShot(fault.value, socket, [socket, answer] {
            send(socket, answer.status, answer.contentType, answer.body, answer.headers);
        });
        break;
    case FaultKind::Refuse:
        socket->abort();
        break;
    case FaultKind::Hang:
        break;
    case FaultKind::ErrorStatus:
        send(socket, int(fault.value), answer.contentType, answer.body);
        break;
    case FaultKind::Truncated: {
        const qsizetype sent = answer.body.size() / 2;
        socket->write(head(answer.status, answer.contentType, qMax(answer.body.size(), sent + 1),
                           answer.headers) +
                      answer.body.left(sent));
        socket->disconnectFromHost();
        break;
    }
    case FaultKind::Oversized:
        answer.body.append(qMax<qint64>(0, fault.value - answer.body.size()), ' ');
        send(socket, answer.status, answer.contentType, answer.body, answer.headers);
        break;
    case FaultKind::Drip: {
        // Chunked, one byte a chunk: the body never ends, so a close is an error to the client.
        socket->write(
            head(answer.status, answer.contentType, -1, "Transfer-Encoding: chunked\r\n"));
        const QByteArray page = answer.body.isEmpty() ? QByteArray(" ") : answer.body;
        auto *timer = new QTimer(socket);
        connect(socket, &QTcpSocket::disconnected, timer, &QObject::deleteLater);
        connect(timer, &QTimer::timeout, socket, [socket, page, next = qsizetype(0)]() mutable {
            socket->write("1\r\n" + page.mid(next++ % page.size(), 1) + "\r\n");
        });
        timer->start(qMax(1, int(fault.value)));
        break;
    }
    case FaultKind::GzipBomb:
        send(socket, answer.status, answer.contentType,
             gzipPadded(answer.body, fault.value * 1024 * 1024 + 1),
             "Content-Encoding: gzip\r\n" + answer.headers);
        break;
    case FaultKind::RedirectLoop:
        // Relative, so it points back here whatever name the client used for this host.
        send(socket, 302, kUtf8Html,
             "<html><body><a href=\"" + target + "\">moved</a></body></html>",
             "Location: " + target + "\r\n");
        break;
    case FaultKind::InvalidBytes:
        send(socket, answer.status, answer.contentType, withInvalidBytes(answer.body),
             answer.headers);
        break;
    case FaultKind::Prefixed:
        send(socket, answer.status, answer.contentType, fault.bytes + answer.body, answer.headers);
        break;
    case FaultKind::Body:
        send(socket, int(fault.value), answer.contentType, fault.bytes);
        break;
    case FaultKind::Blocked: {
        if (fault.value == 302) {
            const QByteArray captcha =
                route == Route::Google ? "/sorry/index?continue=" + QUrl::toPercentEncoding(target)
                                       : "/static/captcha/tuxing.html";
            send(socket, 302, kUtf8Html, "<a href=\"" + captcha + "\">moved</a>",
                 "Location: " + captcha + "\r\n");
            break;
        }
        const bool gb = answer.contentType.contains("gb2312");
        const SimContent::BlockStyle style =
            route == Route::BaiduSite || route == Route::BaiduDomain ? SimContent::BlockStyle::Baidu
            : route == Route::Google ? SimContent::BlockStyle::Google
                                     : SimContent::BlockStyle::Generic;
        send(socket, int(fault.value), gb ? kGbHtml : kUtf8Html, SimContent::blockPage(style, gb));
        break;
    }
    case FaultKind::Throttled:
        send(socket, int(fault.value), kUtf8Html, SimContent::throttledPage(int(fault.value)),
             "Retry-After: 120\r\n");
        break;
    }
}

#include "SiteSimulator.moc"
