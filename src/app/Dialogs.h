#pragma once

#include <QList>
#include <QString>

class QWidget;

// Every modal message of the program goes through here, so that tests can answer a box
// before it would open and nothing ever blocks a headless run.
namespace Dialogs {

enum class Answer { Ok, Cancel };

// Shows `text` with one OK button, titled with the application's title.
void inform(QWidget *parent, const QString &text);
// Shows `text` titled `title` with OK, Cancel and the question icon; anything but OK is Cancel.
Answer ask(QWidget *parent, const QString &title, const QString &text);

// Asks for a file to write, or to read; empty when the user cancels.
QString saveFileName(QWidget *parent, const QString &title, const QString &suggested,
                     const QString &filter);
QString openFileName(QWidget *parent, const QString &title, const QString &filter);

// Test seam: while file names are queued, file dialogs are not shown; each takes the next name
// (an empty one cancels).
void queueFileNames(const QStringList &names);

// Test seam: while answers are queued, boxes are not shown; each box takes the next answer
// (an OK-only box takes one too) and is recorded as "title|text".
void queueAnswers(const QList<Answer> &answers);
bool answersQueued();
QStringList shownBoxes();
void clearShownBoxes();

} // namespace Dialogs
