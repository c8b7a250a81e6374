#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// Domain names from a file the user chose: a plain list, a CSV export, a page of links.
namespace NameImport {

// The file's text: UTF-8 with or without a byte-order mark, UTF-16 LE or BE with or without
// one (without, told by its zero bytes), and GB18030 when the bytes are not valid UTF-8.
// Invalid bytes read as U+FFFD.
QString decodeFile(const QByteArray &bytes);

// The registrable form of what a user may paste for a name: trimmed and lower-cased, without
// scheme, leading "www.", path, query, fragment, port or trailing dot, an internationalised
// name in its ASCII form. nullopt for anything that is not a host name with at least one dot
// and a top-level label that is not all digits (blank text, markup, e-mail and IP addresses).
// "www." stays when nothing but a suffix would be left, so www.com remains a name.
std::optional<QString> normaliseName(QStringView text);

struct Result {
    QStringList names;        // first occurrences, in file order
    qsizetype skipped = 0;    // non-blank lines that hold no name
    qsizetype duplicates = 0; // names seen before, after normalising
};

// One name per line; a line with a comma gives its first CSV column, unquoted, so that a CSV
// export reads back (its header line is skipped as not a name). Blank lines are not counted.
Result readNames(const QString &text);

} // namespace NameImport
