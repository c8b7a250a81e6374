#pragma once

#include <QNetworkProxy>
#include <QString>

#include <optional>

// A proxy written as a URL, the way users copy it from their provider:
// http://[user[:password]@]host:port or socks5://[user[:password]@]host:port.
// The port is required: a guessed default would fail later with a less telling message.
std::optional<QNetworkProxy> parseProxyUrl(const QString &url, QString *error);

// The proxy as a URL of its scheme, host and port ("http://host:port"), fit for the status bar
// and logs; empty for anything but an HTTP or SOCKS5 proxy. The user stays out, as the password.
QString proxyDisplayUrl(const QNetworkProxy &proxy);

// What a message may say about a proxy value that did not parse: "代理设置无效", with
// "（主机 HOST）" when an address or a dotted host name and a port stand plainly after the last
// '@' (or the scheme). The value itself is never quoted: a mistyped one may hold its password
// anywhere.
QString invalidProxyText(const QString &url);
