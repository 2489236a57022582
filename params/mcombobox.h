#pragma once

#include <QComboBox>
#include <QString>

// A list parameter: the current index maps onto one or two device cells.
//
// Its popup is built when the list first opens. Qt builds a list's popup, a
// small tree of widgets, on the first style or font change, and a page of
// lists gets both while it is set up: that was half the cost of building it.
class MComboBox : public QComboBox
{
    Q_OBJECT

public:
    int cell = 0;
    int hcell = 0;  // 0 or less: no high byte
    QString name;
    int depcell = 0;  // 0: no dependency; 1000 stands for cell 0
    int depval = 0;
    double offset = 0.0;
    double scale = 1.0;
    double shift = 0.0;

    void showPopup() override;

protected:
    void changeEvent(QEvent *event) override;

private:
    bool popupBuilt = false;
};
