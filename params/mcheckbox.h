#pragma once

#include <QCheckBox>
#include <QString>

// An on/off parameter held in a single cell as 1 or 0.
class MCheckBox : public QCheckBox
{
    Q_OBJECT

public:
    int cell = 0;
    QString name;
    int depcell = 0;
    int depval = 0;
};
