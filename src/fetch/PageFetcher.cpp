#include "PageFetcher.h"

#include "ProxyUrl.h"

#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

#include <coroutine>
#include <memory>

namespace {

// Waits for a reply to finish. A reply can also die unfinished, deleted with its manager when
// the fetcher goes: the wait then ends once control is back in the event loop, when the fetcher
// is gone as a whole and its callers can see so and stop.
class ReplyDone {
public:
    explicit ReplyDone(QNetworkReply *reply)
        : m_reply(reply)
    {
    }
    bool await_ready() const { return !m_reply || m_reply->isFinished(); }
    void await_suspend(std::coroutine_handle<> waiting)
    {
        auto resumed = std::make_shared<bool>(false);
        const auto resume = [waiting, resumed] {
            if (!std::exchange(*resumed, true))
                waiting.resume();
        };
        QObject::connect(m_reply, &QNetworkReply::finished, m_reply, resume);
        QObject::connect(m_reply, &QObject::destroyed, [resume, resumed] {
            if (!*resumed)
                QTimer::singleShot(0, resume);
        });
    }
    void await_resume() const {}

private:
    QPointer<QNetworkReply> m_reply;
};

// The error Qt gives a reply whose server answered `status` and sent the whole body. Any other
// error (cut off, timed out, a body that would not inflate) means the page never came whole,
// even when a status arrived first.
QNetworkReply::NetworkError errorForStatus(int status)
{
    switch (status) {
    case 400:
    case 418:
        return QNetworkReply::ProtocolInvalidOperationError;
    case 401:
        return QNetworkReply::AuthenticationRequiredError;
    case 403:
        return QNetworkReply::ContentAccessDenied;
    case 404:
        return QNetworkReply::ContentNotFoundError;
    case 405:
        return QNetworkReply::ContentOperationNotPermittedError;
    case 407:
        return QNetworkReply::ProxyAuthenticationRequiredError;
    case 409:
        return QNetworkReply::ContentConflictError;
    case 410:
        return QNetworkReply::ContentGoneError;
    case 500:
        return QNetworkReply::InternalServerError;
    case 501:
        return QNetworkReply::OperationNotImplementedError;
    case 503:
        return QNetworkReply::ServiceUnavailableError;
    }
    if (status > 500)
        return QNetworkReply::UnknownServerError;
    return status >= 400 ? QNetworkReply::UnknownContentError : QNetworkReply::NoError;
}

// The proxy a request to `target` goes through: the fetcher's own, else the system's choice.
std::optional<QNetworkProxy> proxyFor(const QNetworkAccessManager &nam, const QUrl &target)
{
    QNetworkProxy proxy = nam.proxy();
    if (proxy.type() == QNetworkProxy::DefaultProxy)
        proxy = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(target))
                    .value(0, QNetworkProxy(QNetworkProxy::NoProxy));
    if (proxy.type() == QNetworkProxy::NoProxy || proxy.type() == QNetworkProxy::DefaultProxy)
        return std::nullopt;
    return proxy;
}

bool namesProxy(QNetworkReply::NetworkError error)
{
    return error >= QNetworkReply::ProxyConnectionRefusedError &&
           error <= QNetworkReply::UnknownProxyError;
}

// Qt names the proxy in only some of its errors: an HTTP proxy that refuses the connection gives
// a plain "connection refused", a SOCKS5 one an unknown network error. Through a proxy the first
// hop is the proxy, so not reaching it, or losing it before any answer, is its failure.
bool lostFirstHop(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::UnknownNetworkError:
        return true;
    default:
        return false;
    }
}

} // namespace

PageFetcher::PageFetcher(QObject *parent)
    : QObject(parent)
{
    // Every fetch asks the network again; nothing is cached or kept between calls.
    m_nam.setCookieJar(nullptr);
    m_nam.setAutoDeleteReplies(false);
    // Said once for the program rather than left to Qt's default, which has changed between
    // versions: a user behind a proxy then needs no settings of ours.
    static const bool systemProxy = [] {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        return true;
    }();
    Q_UNUSED(systemProxy)
}

namespace {

// Decodes the whole body. A multi-byte sequence cut off at its end would stay in the decoder's
// state and vanish; a line feed after it ends the sequence, which then reads as U+FFFD.
QString decodeAll(QStringDecoder &decoder, const QByteArray &body)
{
    QString text = decoder(body);
    QString rest = decoder(QByteArrayView("\n"));
    rest.chop(1);
    return text + rest;
}

} // namespace

QString PageFetcher::decodeBody(const QByteArray &body, Charset charset)
{
    if (charset == Charset::Utf8) {
        // Keeping no state, the decoder itself turns a cut-off sequence into U+FFFD.
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        return decoder(body);
    }
    QStringDecoder decoder("GB18030");
    if (!decoder.isValid())
        decoder = QStringDecoder("GBK");
    if (!decoder.isValid()) // no CJK codec on this system: keep the ASCII markers readable
        decoder = QStringDecoder(QStringDecoder::Latin1);
    return decodeAll(decoder, body);
}

void PageFetcher::shutDown()
{
    m_shutDown = true;
    // abort() finishes a reply at once; its fetch resumes and returns a failure.
    const QList<QNetworkReply *> waiting = m_nam.findChildren<QNetworkReply *>();
    for (QNetworkReply *reply : waiting) {
        if (reply->isRunning())
            reply->abort();
    }
}

// The length the server announced for the body as it arrives here; -1 when it announced none
// or the body was inflated on the way, which makes the two incomparable.
static qint64 declaredLength(const QNetworkReply &reply)
{
    if (!reply.rawHeader("Content-Encoding").isEmpty())
        return -1;
    const QVariant length = reply.header(QNetworkRequest::ContentLengthHeader);
    return length.isValid() ? length.toLongLong() : -1;
}

QCoro::Task<FetchResult> PageFetcher::fetch(const QString &url, Charset charset, QByteArray accept,
                                            IfChanged ifChanged)
{
    FetchResult result;
    if (m_shutDown) {
        result.error = QStringLiteral("closing: %1").arg(url);
        co_return result;
    }
    // Tolerant mode keeps what the caller built ("%3A" stays) and only escapes what HTTP
    // cannot carry (spaces, non-ASCII), so the request still goes to the intended host.
    const QUrl target(url, QUrl::TolerantMode);
    // Most sites are asked over plain HTTP; the RDAP registries and their bootstrap over HTTPS.
    if (!target.isValid() || (target.scheme() != u"http" && target.scheme() != u"https") ||
        target.host().isEmpty()) {
        result.error = QStringLiteral("invalid address %1").arg(url);
        co_return result;
    }

    QNetworkRequest request(target);
    request.setTransferTimeout(m_limits.transferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(m_limits.maxRedirects);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    if (!m_userAgent.isEmpty())
        request.setHeader(QNetworkRequest::UserAgentHeader, m_userAgent);
    if (!accept.isEmpty())
        request.setRawHeader("Accept", accept);
    if (!ifChanged.ifModifiedSince.isEmpty())
        request.setRawHeader("If-Modified-Since", ifChanged.ifModifiedSince);
    if (!ifChanged.ifNoneMatch.isEmpty())
        request.setRawHeader("If-None-Match", ifChanged.ifNoneMatch);

    QPointer<QNetworkReply> reply = m_nam.get(request);
    QByteArray body;
    bool tooLarge = false;
    bool pastDeadline = false;
    const qint64 cap = m_limits.maxBodyBytes;

    // Read as the bytes arrive so that an oversized or endless body is cut off at the cap
    // instead of being buffered whole.
    const auto drain = [&] {
        if (!reply || tooLarge || !reply->isOpen())
            return;
        body += reply->read(cap + 1 - body.size());
        if (body.size() > cap) {
            tooLarge = true;
            reply->abort();
        }
    };
    const QMetaObject::Connection reading =
        QObject::connect(reply, &QNetworkReply::readyRead, reply, drain);
    // Owned by this call: a single-shot timer tied to the reply stayed registered for the whole
    // deadline after every fetch, thousands of them during a run, each slowing the next.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, [&] {
        pastDeadline = true;
        reply->abort();
    });
    deadline.start(m_limits.totalDeadlineMs);

    if (reply->isRunning())
        co_await ReplyDone(reply);
    deadline.stop();
    if (!reply) { // the manager went away with its replies
        result.error = QStringLiteral("request abandoned: %1").arg(url);
        co_return result;
    }
    drain();
    // Only our own connection: abort() emits finished before it tells the network thread to
    // stop, and a reply cut off from that thread keeps its connection busy for good.
    QObject::disconnect(reading);

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    // Only a proxy asks for proxy credentials, so a 407 is the proxy's failure, not an answer.
    // The system's choice of proxy is looked up only for a failure that may be the proxy's.
    const bool mayBeProxy = namesProxy(error) || (!status.isValid() && lostFirstHop(error));
    const std::optional<QNetworkProxy> proxy = mayBeProxy ? proxyFor(m_nam, target) : std::nullopt;
    if (tooLarge) {
        result.error = QStringLiteral("page larger than %1 bytes: %2").arg(cap).arg(url);
    } else if (pastDeadline) {
        result.error = QStringLiteral("no complete answer within %1 s: %2")
                           .arg(m_limits.totalDeadlineMs / 1000)
                           .arg(url);
    } else if (namesProxy(error) || (mayBeProxy && proxy)) {
        result.proxyFailed = true;
        result.error =
            QStringLiteral("proxy %1: %2: %3")
                .arg(proxy ? proxyDisplayUrl(*proxy) : QString(), reply->errorString(), url);
    } else if (const qint64 declared = declaredLength(*reply);
               declared > body.size() && status.toInt() != 304) {
        // The connection closed early; Qt does not always say so when it closes at once. (A 304
        // has no body, whatever length it announces for the copy it stands for.)
        result.error = QStringLiteral("page cut short at %1 of %2 bytes: %3")
                           .arg(body.size())
                           .arg(declared)
                           .arg(url);
    } else if (status.isValid() && error == errorForStatus(status.toInt())) {
        result.httpStatus = status.toInt();
        result.text = decodeBody(body, charset);
        result.finalUrl = reply->url();
        result.retryAfter = reply->rawHeader("Retry-After");
        result.lastModified = reply->rawHeader("Last-Modified");
        result.etag = reply->rawHeader("ETag");
        result.body = std::move(body);
        if (result.httpStatus >= 200 && result.httpStatus < 300) {
            result.status = FetchResult::Status::Page;
        } else {
            result.status = result.httpStatus == 304 ? FetchResult::Status::NotModified
                                                     : FetchResult::Status::HttpError;
            result.error = QStringLiteral("HTTP %1: %2").arg(result.httpStatus).arg(url);
        }
    } else {
        result.error = reply->errorString() + QStringLiteral(": ") + url;
    }
    // The coroutine resumes inside the reply's own signal emission: it may not be deleted yet.
    reply->deleteLater();
    co_return result;
}
