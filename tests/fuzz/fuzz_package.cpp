// A whole package file in the firmwares folder: the catalogue reads its keys
// as the firmware page does, the image reader decodes it in every dialect and
// the check before an upload judges it. The device is the one of the Vorn
// example packages.
#include "firmware/firmwareimage.h"
#include "firmware/firmwarepackage.h"
#include "firmware/packagecatalogue.h"
#include "fuzz/fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A new name for every run: the settings reader caches files by name and
    // may take a rewrite of the same size within a millisecond for unchanged.
    static quint64 run = 0;
    const QString folder = fuzzsupport::scratchFolder();
    const QString path = folder + QStringLiteral("/p%1.upd").arg(++run);
    fuzzsupport::writeFile(path, data, size);

    buildCatalogue(folder, 21, 2, 3);

    const PackageFile file = readPackageFile(path);
    if (!file.ok() || file.bytes.size() != qsizetype(size))
        abort();
    for (Dialect dialect : {Dialect::Vorn, Dialect::Kelpa, Dialect::Ulma}) {
        QFile package(path);
        if (!package.open(QIODevice::ReadOnly))
            abort();
        // Every image byte comes from two hexadecimal digits of the file.
        if (readFirmwareImage(package, dialect).image.size() * 2 > qsizetype(size))
            abort();
        // What the upload is handed fits the device it was checked for.
        const CheckedPackage checked = checkPackage(file.bytes, dialect, {21, 2, 3, 256, 32});
        if (checked.usable() && (!checked.keys.fits(21, 2, 3) || !imageFits(checked.image.size(), 256, 32)))
            abort();
    }
    QFile::remove(path);
    return 0;
}
