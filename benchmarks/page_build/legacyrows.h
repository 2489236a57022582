#pragma once

#include <QObject>

class QTreeWidget;
class QWidget;
struct DeviceImage;
struct ParameterDescription;

// The rows built as the program built them before the faster page build:
// every control styled by a style sheet of its own, created without a
// parent and adopted by the tree. Kept to measure and to compare the look.
class LegacyRows
{
public:
    LegacyRows(QObject *receiver, QTreeWidget *tree, DeviceImage *image);

    bool readDescription();

private:
    void addListControl(const ParameterDescription &parameter);
    void addRangeControl(const ParameterDescription &parameter);
    void addCheckControl(const ParameterDescription &parameter);
    void appendRow(QWidget *control, const QString &name);

    QObject *receiver;
    QTreeWidget *tree;
    DeviceImage *image;
};
