#include "OutLogModel.h"

namespace {
Qt::Alignment ColumnAlignment(int column) {
    const bool centred = column == 2 || column == 4 || column == 5;
    return (centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter;
}
}  // namespace

void OutLogModel::SetRows(std::vector<Row> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void OutLogModel::SwapRows(std::vector<Row>& rows) {
    beginResetModel();
    rows_.swap(rows);
    endResetModel();
}

int OutLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int OutLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 6;
}

QVariant OutLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role == Qt::DisplayRole) {
        const std::string& text = rows_[index.row()][index.column()];
        // Names are UTF-8, the program's text encoding (platform/Utf8Text.h).
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(ColumnAlignment(index.column()));
    return {};
}

QVariant OutLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= 6) return {};
    if (role == Qt::DisplayRole) return QString(kHeaders[section]);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(ColumnAlignment(section));
    return {};
}
