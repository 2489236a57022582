#include "portwording.h"

#include "link/portnaming.h"

#include <QStringList>

#include <optional>

namespace portwording {

namespace {

QString hexId(quint16 id)
{
    return QString("%1").arg(id, 4, 16, QLatin1Char('0'));
}

QJsonValue idJson(std::optional<quint16> id)
{
    return id ? QJsonValue(hexId(*id)) : QJsonValue(QJsonValue::Null);
}

QJsonValue textJson(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

// "ttyUSB0 and ttyUSB1", "ttyUSB0, ttyUSB1 and ttyUSB2".
QString listed(QStringList names)
{
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

}  // namespace

QString usbText(const UsbFacts &usb)
{
    QStringList words;
    if (usb.vendorId && usb.productId)
        words << hexId(*usb.vendorId) + ':' + hexId(*usb.productId);
    for (const QString &text : {usb.manufacturer, usb.product})
        if (!text.isEmpty())
            words << text;
    QString said = words.join(' ');
    if (!usb.serialNumber.isEmpty())
        said += (said.isEmpty() ? QString() : QStringLiteral(", ")) + QStringLiteral("serial ") + usb.serialNumber;
    return said;
}

void insertUsbFacts(QJsonObject &entry, const UsbFacts &usb)
{
    entry.insert("vendorId", idJson(usb.vendorId));
    entry.insert("productId", idJson(usb.productId));
    entry.insert("manufacturer", textJson(usb.manufacturer));
    entry.insert("product", textJson(usb.product));
    entry.insert("serial", textJson(usb.serialNumber));
}

Failure choiceFailure(const PortChoice &choice)
{
    if (choice.outcome == PortChoice::Outcome::SharedSerial)
        return {ExitStatus::NoPort,
                QString("Ports %1 %2 have serial number %3: name one by its path.")
                    .arg(listed(choice.sharing),
                         choice.sharing.size() == 2 ? QStringLiteral("both") : QStringLiteral("all"),
                         choice.serialNumber)};
    return {ExitStatus::NoPort, QString("No port has the adapter with serial number %1.").arg(choice.serialNumber)};
}

}  // namespace portwording
