// A whole description file as "tellur.dsc", read as the window reads it when
// a device is constructed, then the page decoded from a cell image and every
// control encoded again. The device is the one of the first example
// description, so that its parameters are built.
#include "app/parameterpage.h"
#include "fuzz/fuzzsupport.h"
#include "device/deviceimage.h"
#include "params/controlreceiver.h"
#include "description/descriptionreader.h"
#include "params/mcombobox.h"
#include "params/xmlcontrolsreader.h"

#include <QTreeWidget>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The reader finds "tellur.dsc" in the current folder; libFuzzer's own
    // paths are relative to the folder it was started in.
    const QString startFolder = QDir::currentPath();
    QDir::setCurrent(fuzzsupport::scratchFolder());
    fuzzsupport::writeFile(QStringLiteral("tellur.dsc"), data, size);

    DeviceImage image;
    image.deviceId = 21;
    image.hwVersion = 2;
    image.fwMajor = 4;
    image.fwMinor = 12;
    for (int cell = 0; cell < CellCount; ++cell)
        image.cells[cell].value = quint8(cell * 37);

    ControlReceiver receiver;
    QTreeWidget tree;
    XmlControlsReader(&receiver, &tree, &image).readDescription();

    const int rows = parameterpage::decodeControls(&tree, image);
    if (rows > descriptionreader::MaxParameters)
        abort();
    parameterpage::updateAllDependents(&tree);
    for (int row = 0; row < rows; ++row) {
        QWidget *control = tree.itemWidget(tree.topLevelItem(row), 1);
        auto *list = qobject_cast<MComboBox *>(control);
        if (list && list->count() > descriptionreader::MaxListEntries)
            abort();
        parameterpage::encodeControl(control);
    }
    parameterpage::tearDown(&tree);
    QDir::setCurrent(startFolder);
    return 0;
}
