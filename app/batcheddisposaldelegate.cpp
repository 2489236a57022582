#include "app/batcheddisposaldelegate.h"

#include <QTimer>
#include <QWidget>

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
    if (!styleCacheHerald && editor->parentWidget()) {
        styleCacheHerald = new QWidget(editor->parentWidget());
        styleCacheHerald->hide();
        // Polishing is when the style sheets' style starts to watch it.
        styleCacheHerald->ensurePolished();
    }
    doomed.emplace_back(editor);
    nextTurn->start();
}

void BatchedDisposalDelegate::disposeBatch()
{
    for (int n = 0; n < ControlsPerTurn && !doomed.empty(); ++n) {
        // Gone already when the view itself went.
        if (QWidget *editor = doomed.front().data())
            dispose(editor);
        doomed.pop_front();
    }
    if (doomed.empty())
        nextTurn->stop();
}

// Qt's style-sheet style keeps cache entries for every widget it draws and
// drops them when the widget's destroyed() reaches it. It connects that
// signal for the widgets it styles, but not for those that take their look
// from the widget around them, such as the line edit inside a range
// control: each of those left a few hundred bytes behind for good. The
// herald, a widget it does style, announces their end on their behalf.
void BatchedDisposalDelegate::dispose(QWidget *editor)
{
    const QList<QWidget *> inner = editor->findChildren<QWidget *>();
    delete editor;
    if (styleCacheHerald)
        for (QWidget *gone : inner)
            emit styleCacheHerald->destroyed(gone);
}
