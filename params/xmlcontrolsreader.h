#pragma once

#include "description/descriptionlookup.h"

#include <QMetaMethod>
#include <QObject>

class QTreeWidget;
class QWidget;
struct DeviceImage;
struct ParameterDescription;

// Has the identified device described (describing::describe) and builds one
// tree row with its control per parameter.
class XmlControlsReader : public QObject
{
    Q_OBJECT

public:
    XmlControlsReader(QObject *receiver, QTreeWidget *tree, DeviceImage *image);

    // True when a matching device description was found and read.
    bool readDescription();
    // What the last search looked at and how far each file was read.
    const descriptionlookup::Result &lookup() const { return found; }

    // The signal through which a control built here reaches the receiver;
    // an invalid method for any other object.
    static QMetaMethod changeSignalOf(const QObject *control);

private:
    void addListControl(const ParameterDescription &parameter);
    void addRangeControl(const ParameterDescription &parameter);
    void addCheckControl(const ParameterDescription &parameter);
    void appendRow(QWidget *control, const QString &name);

    QObject *receiver;
    QTreeWidget *tree;
    DeviceImage *image;
    QMetaMethod controlChanged;  // the receiver's slots
    QMetaMethod checkboxChanged;
    descriptionlookup::Result found;
};
