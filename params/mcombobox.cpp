#include "params/mcombobox.h"

#include <QEvent>
#include <QListView>

void MComboBox::showPopup()
{
    if (!popupBuilt) {
        popupBuilt = true;
        // A plain list view, unlike the combo box's own, lets the style
        // sheet set the entries' font.
        auto *entries = new QListView;
        entries->setUniformItemSizes(true);
        setView(entries);
        // The changes held back below, so that the popup follows the list's
        // style and font as if it had been there all along.
        for (QEvent::Type type : {QEvent::StyleChange, QEvent::FontChange}) {
            QEvent change(type);
            QComboBox::changeEvent(&change);
        }
    }
    QComboBox::showPopup();
}

void MComboBox::changeEvent(QEvent *event)
{
    const bool wouldBuildPopup = event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange;
    // Until it is first polished, nothing has measured the list, so there
    // is no size hint to renew; later changes take Qt's way.
    if (wouldBuildPopup && !popupBuilt && !testAttribute(Qt::WA_WState_Polished)) {
        QWidget::changeEvent(event);
        return;
    }
    QComboBox::changeEvent(event);
}
