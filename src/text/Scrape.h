#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// The text cuts every scraper is built from. Markers are exact, case-sensitive substrings.
namespace Scrape {

// The text after the n-th (1-based) occurrence of `marker`, up to the next occurrence of the
// same marker or the end of the page; nullopt when the marker occurs fewer than n times.
std::optional<QString> pieceAfter(QStringView page, QStringView marker, int occurrence = 1);

// What stands before the first occurrence of `terminator`; all of `text` when it does not occur.
QString cutAt(QStringView text, QStringView terminator);

// `text` with every occurrence of each removal deleted, in the order given.
QString removeAll(QString text, const QStringList &removals);

} // namespace Scrape
