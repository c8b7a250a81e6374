#pragma once

#include <QAbstractListModel>
#include <QStringList>

// A read-only list box model over a shared list of texts: replacing the list costs no copy,
// so a category of 100,000 names shows at once.
class TextListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    void setTexts(const QStringList &texts);
    const QStringList &texts() const { return m_texts; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QStringList m_texts;
};
