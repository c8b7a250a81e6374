#pragma once

// Slow, literal versions of the rules the program implements fast. Tests, benches and fuzzers
// check the real code against these; nothing in the program uses them.

#include "sources/Suffixes.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace Reference {

// The exchange procedure the length sort must match, run exactly as written: O(n^2).
inline void sortByLengthLiteral(QStringList &list)
{
    const qsizetype n = list.size();
    for (qsizetype i = 0; i < n; ++i) {
        for (qsizetype j = i; j < n; ++j) {
            if (list[i].size() > list[j].size())
                list[i].swap(list[j]);
        }
    }
}

// Where one line of the registrar's daily file is filed; nullopt: dropped.
inline std::optional<int> dailyListOf(QStringView line)
{
    if (line.contains(u"com"))
        return line.size() < 18 ? std::optional<int>(Sources::Com) : std::nullopt;
    if (line.contains(u"info"))
        return Sources::Info;
    if (line.contains(u"net"))
        return Sources::Net;
    if (line.contains(u"org"))
        return Sources::Org;
    return Sources::Biz;
}

// One line of the CN registry's file: its entry (brackets removed) and its list.
inline std::pair<QString, int> cnFiling(QStringView line)
{
    QString entry = line.toString();
    entry.remove(u'[').remove(u']');
    if (entry.contains(u".net.cn"))
        return {entry, Sources::NetCn};
    if (entry.contains(u".com.cn"))
        return {entry, Sources::ComCn};
    if (entry.contains(u"gov.cn"))
        return {entry, Sources::GovCn};
    if (entry.contains(u"org.cn"))
        return {entry, Sources::OrgCn};
    return {entry, Sources::Cn};
}

} // namespace Reference
