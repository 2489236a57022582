#pragma once

#include <QString>

struct DeviceIdentity;
struct PackageDamage;

// The sentences about a device and its packages that the window and
// kova-cli both say, word for word.
namespace devicetexts {

// "4.12.7"
QString firmware(const DeviceIdentity &identity);
// "identifier 21, hardware 2, bootloader 3, firmware 4.12.7"
QString identity(const DeviceIdentity &identity);
// What is wrong with a package whose image cannot be read, after "is damaged: ".
QString packageDamage(const PackageDamage &damage);

}  // namespace devicetexts
