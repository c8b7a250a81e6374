#pragma once

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QObject>
#include <QString>
#include <QUrl>

#include <QCoroTask>

// A fetched page. Only a 2xx answer is a page. Any other final status is an HTTP error, kept
// apart from no answer at all (refused, unreachable, timed out, cut off, too large), because a
// site that refuses automated queries says so with 429 or a 403/503 block page: callers that
// write a measurement must tell "the page lacks the marker" from "we could not ask" from "the
// site refused us". A 304 is neither: the copy the caller already has is current.
struct FetchResult {
    enum class Status { Page, NotModified, HttpError, Failed };

    Status status = Status::Failed;
    int httpStatus = 0;    // 0 when no answer came
    QString text;          // the decoded body, also of an error page; empty when nothing came
    QByteArray body;       // the body as it came, for readers of JSON
    QUrl finalUrl;         // where redirects ended
    QByteArray retryAfter; // the Retry-After header, as sent
    // The validators of a page or a 304, as sent, for the next conditional request.
    QByteArray lastModified;
    QByteArray etag;
    QString error; // why it is not a page, for the user
    // The proxy refused, dropped or would not authenticate the request; `error` names the proxy.
    bool proxyFailed = false;

    bool gotPage() const { return status == Status::Page; }
};

enum class Charset { Gb2312, Utf8 };

// Ask for the page only if it changed since the copy these came with; empty ones are not sent.
struct IfChanged {
    QByteArray ifModifiedSince; // the copy's Last-Modified, as the server wrote it
    QByteArray ifNoneMatch;     // its ETag, as the server wrote it
};

// Turns a URL into page text, one GET per call, awaited by the caller while the event loop runs.
class PageFetcher final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PageFetcher)

public:
    struct Limits {
        int transferTimeoutMs = 30'000;         // no byte for this long ends the request
        int totalDeadlineMs = 90'000;           // a server dripping bytes forever ends here
        qint64 maxBodyBytes = 16 * 1024 * 1024; // decompressed bytes
        int maxRedirects = 5;
    };

    explicit PageFetcher(QObject *parent = nullptr);

    void setLimits(const Limits &limits) { m_limits = limits; }
    const Limits &limits() const { return m_limits; }

    // Until this is called the system's proxy settings apply (http_proxy, https_proxy, no_proxy
    // and the desktop's own, which skip loopback addresses); this proxy replaces them for every
    // later request, to loopback addresses too.
    void setProxy(const QNetworkProxy &proxy) { m_nam.setProxy(proxy); }

    // Sent as the User-Agent header; empty leaves the header to Qt.
    void setUserAgent(const QString &userAgent) { m_userAgent = userAgent; }

    // One GET of `url`, as built, decoded from `charset`; `accept`, when given, is sent as the
    // Accept header (a JSON service's media type), and `ifChanged` makes the request conditional.
    QCoro::Task<FetchResult> fetch(const QString &url, Charset charset, QByteArray accept = {},
                                   IfChanged ifChanged = {});

    // Gb2312 decodes as GB18030 (its superset), Utf8 as UTF-8 without a leading byte-order mark;
    // invalid sequences become U+FFFD.
    static QString decodeBody(const QByteArray &body, Charset charset);

    // Ends every request still waiting, as failed, and fails every later one at once, so that
    // nothing is left suspended when the program closes.
    void shutDown();

private:
    QNetworkAccessManager m_nam;
    Limits m_limits;
    QString m_userAgent;
    bool m_shutDown = false;
};
