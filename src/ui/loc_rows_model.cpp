#include "ui/loc_rows_model.h"

#include <QUndoCommand>
#include <QUndoStack>

namespace {

// One row changed from one text to another.
class TRowEdit : public QUndoCommand {
public:
    TRowEdit(TLocRowsModel& model, int row, QString before, QString after)
        : model_(model), row_(row), before_(std::move(before)), after_(std::move(after)) {
        setText(QStringLiteral("string ") + QString::number(row));
    }
    void undo() override { model_.SetRow(row_, before_); }
    void redo() override { model_.SetRow(row_, after_); }

private:
    TLocRowsModel& model_;
    int row_;
    QString before_;
    QString after_;
};

}  // namespace

TLocRowsModel::TLocRowsModel(QUndoStack& undo, QObject* parent) : QAbstractTableModel(parent), undo_(undo) {}

void TLocRowsModel::SetRows(QStringList rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void TLocRowsModel::SetEditable(bool editable) { editable_ = editable; }

void TLocRowsModel::SetRow(int row, const QString& text) {
    if (row < 0 || row >= rows_.size()) return;
    rows_[row] = text;
    emit dataChanged(index(row, 0), index(row, 0));
}

int TLocRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TLocRowsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 1; }

QVariant TLocRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size()) return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole) return rows_[index.row()];
    return {};
}

QVariant TLocRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    // Rows are numbered by the string's index in the table, as the game asks for it.
    if (orientation == Qt::Vertical) return section;
    return QStringLiteral("String");
}

Qt::ItemFlags TLocRowsModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (editable_) flags |= Qt::ItemIsEditable;
    return flags;
}

bool TLocRowsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!editable_ || role != Qt::EditRole || !index.isValid() || index.row() >= rows_.size()) return false;
    const QString text = value.toString();
    if (text == rows_[index.row()]) return false;
    undo_.push(new TRowEdit(*this, index.row(), rows_[index.row()], text));
    return true;
}
