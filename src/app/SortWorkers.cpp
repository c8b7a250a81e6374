#include "SortWorkers.h"

#include "sources/DeletionLists.h"
#include "sources/ListSorts.h"

#include <QPushButton>

namespace {

void sortList(DeletionLists *lists, int index)
{
    QStringList entries = lists->list(index);
    Sources::SortByLength(entries);
    lists->setList(index, std::move(entries));
}

QPushButton *makeCommand(QWidget *form, int number)
{
    auto *button = new QPushButton(form);
    button->setObjectName(QStringLiteral("Command%1").arg(number));
    return button;
}

} // namespace

Form2::Form2(DeletionLists *lists, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_command1(makeCommand(this, 1))
{
    setObjectName(QStringLiteral("Form2"));
    connect(m_command1, &QPushButton::clicked, this, [lists] {
        for (int index : {Sources::NetCn, Sources::ComCn, Sources::OrgCn, Sources::GovCn})
            sortList(lists, index);
    });
}

Form4::Form4(DeletionLists *lists, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form4"));
    for (int number = 1; number <= 5; ++number)
        m_commands[std::size_t(number - 1)] = makeCommand(this, number);
    // Command5 starts the chain; each command sorts its list and hands over to the next.
    const std::array<std::pair<int, int>, 5> chain{{{5, Sources::Com},
                                                    {1, Sources::Info},
                                                    {2, Sources::Net},
                                                    {3, Sources::Org},
                                                    {4, Sources::Biz}}};
    for (std::size_t i = 0; i < chain.size(); ++i) {
        QPushButton *next = i + 1 < chain.size() ? command(chain[i + 1].first) : nullptr;
        const int index = chain[i].second;
        connect(command(chain[i].first), &QPushButton::clicked, this, [lists, index, next] {
            sortList(lists, index);
            if (next)
                next->click();
        });
    }
}
