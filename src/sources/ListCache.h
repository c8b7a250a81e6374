#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// Downloaded lists kept in a folder between runs, each with the Last-Modified and ETag it came
// with, so that the next download can ask "has it changed?" (a registry answers 304 and sends
// nothing) and a failed download still leaves a list to read. One file per list, replaced
// whole, so a copy is never half old and half new.
class ListCache final {
    Q_DISABLE_COPY_MOVE(ListCache)

public:
    explicit ListCache(QString folder);

    // Header values for the next request; an empty one is not sent.
    struct Validators {
        QByteArray ifModifiedSince; // the cached copy's Last-Modified, as the server wrote it
        QByteArray ifNoneMatch;     // its ETag, as the server wrote it

        bool operator==(const Validators &) const = default;
    };

    struct Copy {
        QByteArray body;
        QByteArray lastModified;
        QByteArray etag;
        QDateTime fetchedUtc; // when it was last downloaded or confirmed by a 304
        qint64 ageSeconds = 0;
    };

    // Empty when nothing is cached for `id`.
    Validators validators(const QString &id) const;

    // After a 200: keeps `body` with the answer's Last-Modified and ETag headers (either may be
    // empty), as fetched at `now`. False, with a message, when it cannot be written; a copy
    // there was stays.
    bool store(const QString &id, const QByteArray &body, const QByteArray &lastModified,
               const QByteArray &etag, const QDateTime &now, QString *error = nullptr);

    // After a 304: the cached copy is current at `now`; validators the answer carries replace
    // the old ones. False, with a message, when nothing is cached or it cannot be written.
    bool confirm(const QString &id, const QByteArray &lastModified, const QByteArray &etag,
                 const QDateTime &now, QString *error = nullptr);

    // The cached copy and its age at `now`; nullopt when there is none or it cannot be read.
    std::optional<Copy> cached(const QString &id, const QDateTime &now) const;

    // Where `id` is kept; empty for an id that cannot name a file (not letters, digits, '-' and
    // '_' alone).
    QString filePath(const QString &id) const;

private:
    bool write(const QString &id, const Copy &copy, QString *error);

    QString m_folder;
};
