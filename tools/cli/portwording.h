#pragma once

#include "exitstatus.h"

#include <QJsonObject>
#include <QString>

struct PortChoice;
struct UsbFacts;

// What kova-cli says of a port's USB adapter and of a port it cannot find.
namespace portwording {

// "0403:6001 FTDI FT232R USB UART, serial A1B2C3": what is known of it;
// empty when nothing is.
QString usbText(const UsbFacts &usb);
// "vendorId", "productId" (four lowercase hexadecimal digits), "manufacturer",
// "product" and "serial", each null where it is not known.
void insertUsbFacts(QJsonObject &entry, const UsbFacts &usb);
// A serial number no port has or several share.
Failure choiceFailure(const PortChoice &choice);

}  // namespace portwording
