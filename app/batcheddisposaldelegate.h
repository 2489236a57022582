#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

#include <deque>

class QTimer;

// Paints rows as the standard delegate does, but deletes the widgets the
// view lets go of a few per turn of the event loop: deleting a page of
// controls at once holds the window for tens of milliseconds.
class BatchedDisposalDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit BatchedDisposalDelegate(QObject *parent);

    // The view has already hidden `editor`.
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;

private:
    void disposeBatch();
    void dispose(QWidget *editor);

    mutable std::deque<QPointer<QWidget>> doomed;
    QTimer *nextTurn;
    // A hidden widget beside the editors, styled by the same style sheets.
    mutable QPointer<QWidget> styleCacheHerald;
};
