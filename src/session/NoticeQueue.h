#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// The status bar's notices: each stays at least kShownMs after it last came, several at once are
// shown together. Time is the session's clock (text/Clock.h), so tests run it on virtual time;
// the window only shows text() and wakes again at nextExpiry().
class NoticeQueue final {
public:
    static constexpr qint64 kShownMs = 12'000;

    // Adds `text` (again: from now on) after dropping the notices that have expired; an empty
    // text only drops them.
    void post(const QString &text);
    // Drops the notices that have expired; true when that changed text().
    bool expire();
    QString text() const;
    // When the oldest notice shown expires; none while nothing is shown.
    std::optional<QDateTime> nextExpiry() const;

private:
    struct Notice {
        QString text;
        QDateTime until;
    };
    QList<Notice> m_notices;
};
