#pragma once

#include <QString>
#include <QStringView>

// The words the result grid's cells and the RDAP columns show, and the outcome a cell stands
// for. Code decides on the outcome; the words are for people.

// What became of a cell's query.
enum class CellState {
    Blank,   // never asked (or the row is the empty placeholder)
    Value,   // the site's answer, whatever it reads
    Failed,  // no answer, or an error page
    Refused, // the site refused automated queries; asking again later may work
};

// Marks an unfilled cell.
inline const QString kBlankCell = QStringLiteral(" ");

// Written instead of a value when a site gave no answer at all, or an error page, so that a
// failed query is never mistaken for a real zero (or "registered") and thinned away by the filter.
inline const QString kQueryFailed = QStringLiteral("查询失败");

// Written when the site answered that it refuses automated queries (a block or captcha page):
// asking again later, more slowly, may work.
inline const QString kQueryRefused = QStringLiteral("查询受限");

// The registration cell.
inline const QString kRegistrable = QStringLiteral("可注册");
inline const QString kRegistered = QStringLiteral("已被注册");
// A name the registry's RDAP server has no record of.
inline const QString kNotRegistered = QStringLiteral("未注册");
// A suffix whose registry runs no RDAP server.
inline const QString kNoRdapService = QStringLiteral("无RDAP服务");
// The first-capture cell of a name the web archive never captured.
inline const QString kNoArchive = QStringLiteral("无存档");

// Where a name stands in its registry's deletion cycle.
inline const QString kStageActive = QStringLiteral("active");
inline const QString kStageGrace = QStringLiteral("grace");
inline const QString kStageRedemption = QStringLiteral("redemption");
inline const QString kStagePendingDelete = QStringLiteral("pending delete");
inline const QString kStageDropped = QStringLiteral("dropped");
inline const QString kStageRestoring = QStringLiteral("恢复中");
inline const QString kStageUnknown = QStringLiteral("unknown");
// The drop estimate of a name already deleted.
inline const QString kDropped = QStringLiteral("已删除");

// The text a cell without a value shows.
inline QString stateText(CellState state)
{
    switch (state) {
    case CellState::Failed:
        return kQueryFailed;
    case CellState::Refused:
        return kQueryRefused;
    case CellState::Blank:
    case CellState::Value:
        break;
    }
    return kBlankCell;
}

// The outcome a saved cell's text stands for. The session file keeps texts only, so this is read
// once, when a grid is loaded or imported; from then on every cell carries its state.
inline CellState stateOfSavedText(QStringView text)
{
    if (text.isEmpty() || text == kBlankCell)
        return CellState::Blank;
    if (text == kQueryFailed)
        return CellState::Failed;
    if (text == kQueryRefused)
        return CellState::Refused;
    return CellState::Value;
}
