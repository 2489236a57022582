#pragma once

#include "device/devicesession.h"
#include "firmware/firmwarepackage.h"

#include <QMetaType>
#include <QString>

// Why an upload the user confirmed did not leave the package's firmware on
// the device, with what the window needs to say so.
struct UploadFailure {
    enum Reason {
        PackageRefused,  // `problem` (and `damage`) of the package checked against `target`; nothing was sent
        DeviceChanged,  // the device reports `found`, not `confirmed`; nothing was sent
        DeviceSilent,  // it did not tell its identity again before the first block; nothing was sent
        BlockFailed,  // a block went unacknowledged
        PortClosed,  // the port closed during the upload
        VersionDiffers,  // identified after the upload, `found` does not run `packageVersion`
    };
    Reason reason = PackageRefused;
    QString package;  // the package's file name
    PackageProblem problem = PackageProblem::None;
    PackageDamage damage;
    int imageSize = 0;
    PackageTarget target;
    DeviceIdentity confirmed;
    DeviceIdentity found;
    QString packageVersion;  // as the package's "FW" gives it
};

Q_DECLARE_METATYPE(UploadFailure)
