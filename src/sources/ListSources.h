#pragma once

#include "sources/DropList.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The lists the program can download, as rows of data: the table built into the program
// (data/sources.json, its "lists" object), with a user's file of the same shape over it entry by
// entry. Other top-level keys of either file belong to other readers and are ignored here.
namespace ListSources {

enum class Origin { BuiltIn, UserFile };

// Where a list's names go: the two original day lists fill the ten suffix lists by their own
// rules; every other list gives its names as they stand.
enum class Filing { Names, Daily, Cn };

struct ListSource {
    QString id;       // the key: lower-case letters, digits, '-' and '_'
    QString endpoint; // one of Endpoints::names()
    // Starts with '/'; a day-indexed list holds "{date}" (the day, "2011-04-15") or "{cn_token}"
    // (the CN registry's name for the day, "1todayDel").
    QString path;
    DropList::ListFormat format;
    Filing filing = Filing::Names;
    Origin origin = Origin::BuiltIn;

    bool isDayIndexed() const;
    bool operator==(const ListSource &) const = default;
};

struct Table {
    // The built-in ids in key order, then the ids only the user's file has, in key order.
    QList<ListSource> lists;
    // One line for each entry or file that could not be used, naming its key.
    QStringList warnings;

    const ListSource *find(const QString &id) const;
};

// The rows of `builtIn`, each replaced by the user's entry of the same key when that entry is
// valid; a valid entry with a new key is added. An invalid entry warns and changes nothing. An
// empty `userFile` is no file.
Table merge(const QByteArray &builtIn, const QByteArray &userFile);

// merge() over the built-in table.
Table withUserFile(const QByteArray &userFile);

// The source's path with its day placeholders filled.
QString pathFor(const ListSource &source, const QString &dateText, const QString &cnToken);
// Where `source` is asked: HTTPS for a public host, except the two old day lists, whose sites
// are plain HTTP as the day loader asks them; this machine is always asked over plain HTTP.
QString addressOf(const ListSource &source, const QString &hostPort, const QString &path);

} // namespace ListSources
