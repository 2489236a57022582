#pragma once

#include <QObject>
#include <QStringList>
#include <QXmlStreamReader>

class QFile;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;
struct DeviceImage;
struct ParameterAttributes;

// Finds the description of the identified device and builds one tree row
// with its control per parameter, marking the cells the controls use.
class XmlControlsReader : public QObject
{
    Q_OBJECT

public:
    // Bounds against hostile description files; a real device has at most
    // 255 cells, and a list entry per value of two bytes would be absurd.
    static constexpr int MaxRows = 1000;
    static constexpr int MaxListEntries = 1000;
    static constexpr qint64 MaxFileBytes = 8 * 1024 * 1024;

    XmlControlsReader(QObject *receiver, QTreeWidget *tree, DeviceImage *image);

    // True when a matching device description was found and read.
    bool readDescription();

private:
    bool openDescription(QFile &file);
    bool readMatchingDevice(QFile &file);
    bool matchesDevice() const;
    void takeDescription();
    void readParameters();
    bool readParameter();
    void markCells(const ParameterAttributes &parameter);
    void addListControl(const ParameterAttributes &parameter);
    void addRangeControl(const ParameterAttributes &parameter);
    void addCheckControl(const ParameterAttributes &parameter);
    QStringList readListEntries();
    void appendRow(QWidget *control, const QString &name);

    QXmlStreamReader xml;
    QObject *receiver;
    QTreeWidget *tree;
    DeviceImage *image;
};
