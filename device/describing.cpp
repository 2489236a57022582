#include "device/describing.h"

#include "device/deviceimage.h"
#include "device/devicesession.h"

namespace describing {

namespace {

void markUsed(DeviceImage &image, int cell)
{
    if (hasCellSlot(cell))
        image.cells[cell].used = 1;
}

DescriptionIdentity descriptionIdentityOf(const DeviceIdentity &identity)
{
    return {identity.deviceId, identity.hwVersion, identity.fwMajor, identity.fwMinor};
}

}  // namespace

descriptionlookup::Result describe(const DeviceIdentity &identity, DeviceImage &image, const QString &file)
{
    const DescriptionIdentity wanted = descriptionIdentityOf(identity);
    descriptionlookup::Result found =
        file.isEmpty() ? descriptionlookup::find(wanted) : descriptionlookup::findIn(file, wanted);
    if (found.outcome != descriptionlookup::Result::Found)
        return found;
    const DeviceDescription &device = found.device;
    image.deviceName = device.name;
    image.fwPageCount = quint8(device.pageCount);
    image.fwPageSize = device.pageSize;
    markUsedCells(device, image);
    return found;
}

void markUsedCells(const DeviceDescription &description, DeviceImage &image)
{
    for (const ParameterDescription &parameter : description.parameters) {
        markUsed(image, parameter.cell);
        if (parameter.usesHighCell())
            markUsed(image, parameter.hcell);
    }
}

}  // namespace describing
