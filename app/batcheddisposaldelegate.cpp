#include "app/batcheddisposaldelegate.h"

#include <QTimer>

namespace {

// About 2 ms of deleting controls on this machine's slower days.
constexpr int ControlsPerTurn = 16;

}  // namespace

BatchedDisposalDelegate::BatchedDisposalDelegate(QObject *parent)
    : QStyledItemDelegate(parent), nextTurn(new QTimer(this))
{
    nextTurn->setInterval(0);
    connect(nextTurn, &QTimer::timeout, this, &BatchedDisposalDelegate::disposeBatch);
}

void BatchedDisposalDelegate::destroyEditor(QWidget *editor, const QModelIndex &) const
{
    doomed.emplace_back(editor);
    nextTurn->start();
}

void BatchedDisposalDelegate::disposeBatch()
{
    for (int n = 0; n < ControlsPerTurn && !doomed.empty(); ++n) {
        // Gone already when the view itself went.
        delete doomed.front().data();
        doomed.pop_front();
    }
    if (doomed.empty())
        nextTurn->stop();
}
