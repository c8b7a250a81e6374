#pragma once

#include <QWidget>

#include <array>

class DeletionLists;
class QPushButton;

// The workers holding the two length sorts. Each is created on first use and never shown; the
// main window starts a sort by clicking the worker's command, as a user would.

// Form2 sorts the four domestic second-level lists with its one command.
class Form2 final : public QWidget {
    Q_OBJECT

public:
    explicit Form2(DeletionLists *lists, QWidget *parent = nullptr);
    QPushButton *command1() const { return m_command1; }

private:
    QPushButton *m_command1;
};

// Form4 sorts the five international lists, one command per list, each handing over to the next:
// Command5 (com), Command1 (info), Command2 (net), Command3 (org), Command4 (biz).
class Form4 final : public QWidget {
    Q_OBJECT

public:
    explicit Form4(DeletionLists *lists, QWidget *parent = nullptr);
    QPushButton *command(int number) const { return m_commands[std::size_t(number - 1)]; }

private:
    std::array<QPushButton *, 5> m_commands; // Command1..Command5
};
