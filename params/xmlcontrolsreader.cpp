#include "params/xmlcontrolsreader.h"

#include "device/deviceimage.h"
#include "firmware/datafolders.h"
#include "params/controlstyles.h"
#include "params/mcheckbox.h"
#include "params/mcombobox.h"
#include "params/mspinbox.h"
#include "params/parameterattributes.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QTreeWidget>

#include <climits>

namespace {

template <typename Control>
void setConvertedMembers(Control *control, const ParameterAttributes &parameter)
{
    control->name = parameter.name;
    control->cell = parameter.cell;
    control->hcell = parameter.hcell;
    control->depcell = parameter.depcell;
    control->depval = parameter.depval;
    control->offset = parameter.offset;
    control->scale = parameter.scale;
    control->shift = parameter.shift;
}

}  // namespace

XmlControlsReader::XmlControlsReader(QObject *receiver, QTreeWidget *tree, DeviceImage *image)
    : receiver(receiver), tree(tree), image(image)
{
}

bool XmlControlsReader::readDescription()
{
    const datafolders::DescriptionPlace place = datafolders::descriptionPlace();
    QFile primary(place.primaryFile);
    if (!openDescription(primary))
        return false;
    if (readMatchingDevice(primary))
        return true;
    primary.close();

    const QStringList names =
        QDir(place.folder).entryList({QStringLiteral("*.dsc")}, QDir::Files, QDir::Reversed);
    for (const QString &name : names) {
        QFile file(place.folder + QLatin1Char('/') + name);
        if (!openDescription(file))
            return false;
        if (readMatchingDevice(file))
            return true;
    }
    return false;
}

bool XmlControlsReader::openDescription(QFile &file)
{
    if (file.open(QIODevice::ReadOnly | QIODevice::Text))
        return true;
    qDebug() << "Error: Cannot read file" << "Tellur.dsc" << ": " << file.errorString();
    return false;
}

// Scans the whole file for the first matching "ESC" element; an XML error
// ends the scan like the end of the document.
bool XmlControlsReader::readMatchingDevice(QFile &file)
{
    if (file.size() > MaxFileBytes) {
        qDebug() << "Description file" << file.fileName() << "exceeds" << MaxFileBytes
                 << "bytes, skipped";
        return false;
    }
    xml.setDevice(&file);
    bool matched = false;
    while (!matched && !xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("ESC") && matchesDevice()) {
            takeDescription();
            matched = true;
        }
    }
    xml.setDevice(nullptr);  // the file goes out of scope after this call
    return matched;
}

bool XmlControlsReader::matchesDevice() const
{
    const QXmlStreamAttributes attributes = xml.attributes();
    return xmlattributes::integer(attributes, QStringLiteral("id")) == image->deviceId
           && xmlattributes::integer(attributes, QStringLiteral("hw")) == image->hwVersion
           && xmlattributes::integer(attributes, QStringLiteral("fw")) == image->fwMajor
           && xmlattributes::integer(attributes, QStringLiteral("fwm")) == image->fwMinor;
}

void XmlControlsReader::takeDescription()
{
    const QXmlStreamAttributes attributes = xml.attributes();
    image->deviceName = xmlattributes::text(attributes, QStringLiteral("name"));
    image->fwPageCount = quint8(xmlattributes::unsignedInteger(attributes, QStringLiteral("fwnp")));
    image->fwPageSize = xmlattributes::unsignedInteger(attributes, QStringLiteral("fwps"));
    readParameters();
}

// Starts on the "ESC" start tag. The list ends at the first end tag met
// here (normally the "ESC" end tag; the add operations consume their own
// element's end tag), at a nested "ESC", or where the document ends.
void XmlControlsReader::readParameters()
{
    forever {
        if (xml.isStartElement() && xml.name() == QLatin1String("Parameter") && !readParameter())
            return;
        xml.readNext();
        if (xml.atEnd() || xml.isEndElement() || xml.name() == QLatin1String("ESC"))
            return;
    }
}

// False when no further parameter may be read.
bool XmlControlsReader::readParameter()
{
    const ParameterAttributes parameter = ParameterAttributes::read(xml.attributes());
    if (parameter.kind == ParameterKind::None)
        return true;
    if (tree->topLevelItemCount() >= MaxRows) {
        qDebug() << "Description has more than" << MaxRows << "parameters, the rest are left out";
        return false;
    }
    if (!parameter.cellsHaveSlots()) {
        qDebug() << "Parameter" << parameter.name << "skipped: cell" << parameter.cell
                 << "or hcell" << parameter.hcell << "outside 0 to" << CellCount - 1;
        // Consume the element all the same, so that the next parameters read as usual.
        if (parameter.kind == ParameterKind::List)
            readListEntries();
        else
            xml.readNext();
        return true;
    }
    markCells(parameter);
    switch (parameter.kind) {
    case ParameterKind::List: addListControl(parameter); break;
    case ParameterKind::Range: addRangeControl(parameter); break;
    case ParameterKind::Check: addCheckControl(parameter); break;
    case ParameterKind::None: break;
    }
    return true;
}

void XmlControlsReader::markCells(const ParameterAttributes &parameter)
{
    image->cells[parameter.cell].used = 1;
    if (parameter.hasHighCell && parameter.kind != ParameterKind::Check)
        image->cells[parameter.hcell].used = 1;
}

void XmlControlsReader::addListControl(const ParameterAttributes &parameter)
{
    auto *list = new MComboBox;
    setConvertedMembers(list, parameter);
    list->setView(new QListView);
    list->setStyleSheet(controlstyles::listControl());
    for (const QString &entry : readListEntries())
        list->insertItem(list->count(), entry);
    // Connected only now, so that filling the list sends nothing.
    connect(list, SIGNAL(currentIndexChanged(QString)), receiver, SLOT(controlChanged(QString)));
    appendRow(list, parameter.name);
}

void XmlControlsReader::addRangeControl(const ParameterAttributes &parameter)
{
    auto *range = new MSpinBox;
    // Values change only by stepping, never by typing.
    range->findChild<QLineEdit *>()->setReadOnly(true);
    setConvertedMembers(range, parameter);
    range->setMinimum(parameter.min);
    range->setMaximum(parameter.max);
    range->setSingleStep(parameter.step);
    range->setDecimals(int(qMin(parameter.decimals, uint(INT_MAX))));
    range->setSuffix(parameter.suffix);
    range->setStyleSheet(controlstyles::rangeControl());
    connect(range, SIGNAL(valueChanged(QString)), receiver, SLOT(controlChanged(QString)));
    appendRow(range, parameter.name);
    xml.readNext();
}

void XmlControlsReader::addCheckControl(const ParameterAttributes &parameter)
{
    auto *check = new MCheckBox;
    check->name = parameter.name;
    check->cell = parameter.cell;
    check->depcell = parameter.depcell;
    check->depval = parameter.depval;
    check->setStyleSheet(controlstyles::checkControl());
    check->setChecked(true);
    connect(check, SIGNAL(stateChanged(int)), receiver, SLOT(checkboxChanged(int)));
    appendRow(check, parameter.name);
    xml.readNext();
}

// Reads up to the list's end tag, or whatever next token is named
// "Parameter", and leaves the reader on it.
QStringList XmlControlsReader::readListEntries()
{
    QStringList entries;
    bool overflowReported = false;
    forever {
        xml.readNext();
        if (xml.atEnd() || xml.name() == QLatin1String("Parameter"))
            return entries;
        if (!xml.isStartElement() || xml.name() != QLatin1String("Value"))
            continue;
        if (entries.size() < MaxListEntries) {
            entries.append(xmlattributes::text(xml.attributes(), QStringLiteral("string")));
        } else if (!overflowReported) {
            qDebug() << "List has more than" << MaxListEntries << "entries, the rest are left out";
            overflowReported = true;
        }
    }
}

void XmlControlsReader::appendRow(QWidget *control, const QString &name)
{
    auto *item = new QTreeWidgetItem;
    item->setText(0, name);
    tree->addTopLevelItem(item);
    tree->setItemWidget(item, 1, control);
}
