#include "TextListModel.h"

void TextListModel::setTexts(const QStringList &texts)
{
    beginResetModel();
    m_texts = texts;
    endResetModel();
}

int TextListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(qMin<qsizetype>(m_texts.size(), INT_MAX));
}

QVariant TextListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_texts.size())
        return {};
    return m_texts[index.row()];
}
