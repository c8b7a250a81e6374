#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

// Scrapers for the single-domain lookup's two pages. Pure text cuts; no decoding, no widgets.
namespace DetailScrape {

struct DeletionInfo {
    // The site knows nothing about the domain; the window shows "无信息" in its value labels and
    // nothing else below is filled.
    bool noInformation = false;

    // cells[k] is the k-th deletion-table cell, k = 1..5 (cells[0] is never set). Bold tags and
    // "(近似值)" are removed; any other markup is kept as text, so show it as plain text.
    // nullopt when the page has fewer than k cells: the window then keeps its ".." placeholder.
    std::array<std::optional<QString>, 6> cells;

    // Time left before deletion, blanks removed ("3天14小时"); nullopt when the page has no
    // countdown, and the window again keeps "..".
    std::optional<QString> countdown;
};

// Reads the deletion-date page (already decoded from utf-8).
DeletionInfo scrapeDeletionPage(QStringView page);

struct FilingResult {
    enum Kind {
        Filed,     // `number` is the link text as the page prints it (empty if the link has none)
        NotFiled,  // no filing entry: the window shows "无备案"
        Unreadable // a filing entry without a readable number: the window keeps ".."
    };
    Kind kind = NotFiled;
    QString number;

    bool operator==(const FilingResult &) const = default;
};

// Reads the filing-search page (already decoded from gb2312).
FilingResult scrapeFilingPage(QStringView page);

} // namespace DetailScrape
