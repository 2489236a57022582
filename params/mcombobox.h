#pragma once

#include <QComboBox>
#include <QString>

// A list parameter: the current index maps onto one or two device cells.
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
};
