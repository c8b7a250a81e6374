#pragma once

#include <QNetworkProxy>
#include <QString>

#include <optional>

// A proxy written as a URL, the way users copy it from their provider:
// http://[user[:password]@]host:port or socks5://[user[:password]@]host:port.
// The port is required: a guessed default would fail later with a less telling message.
std::optional<QNetworkProxy> parseProxyUrl(const QString &url, QString *error);

// The proxy as a URL without its password ("http://user@host:port"), fit for the status bar and
// logs; empty for anything but an HTTP or SOCKS5 proxy.
QString proxyDisplayUrl(const QNetworkProxy &proxy);

// `url` as typed, with any password cut out, for quoting a value that did not parse.
QString proxyUrlWithoutPassword(const QString &url);
