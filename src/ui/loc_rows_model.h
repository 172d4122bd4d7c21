// The rows of a string table in the preview: one string a row, numbered by its index in the
// table, editable while editing is on; each edit is a step of an undo stack.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>

class QUndoStack;

class TLocRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TLocRowsModel(QUndoStack& undo, QObject* parent);

    void SetRows(QStringList rows);
    const QStringList& Rows() const { return rows_; }
    void SetEditable(bool editable);
    // A row's text, without a step on the undo stack (the stack's steps call it).
    void SetRow(int row, const QString& text);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    QUndoStack& undo_;
    QStringList rows_;
    bool editable_ = false;
};
