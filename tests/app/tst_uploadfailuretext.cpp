// The window's words for each way an upload fails, from the values the link reports.
#include "app/uploadfailuretext.h"
#include "device/uploadfailure.h"

#include <QtTest>

namespace {

UploadFailure failureOf(UploadFailure::Reason reason, PackageProblem problem = PackageProblem::None,
                        ImageProblem damage = ImageProblem::None)
{
    UploadFailure failure;
    failure.reason = reason;
    failure.package = "vorn-4.14.upd";
    failure.problem = problem;
    failure.damage = {damage, 7};
    failure.imageSize = 1024;
    failure.target.pageCount = 15;
    failure.target.pageSize = 64;
    failure.confirmed = {21, 2, 3, 4, 12, 7};
    failure.found = {21, 3, 3, 5, 0, 0};
    failure.packageVersion = "4.14";
    return failure;
}

}  // namespace

class UploadFailureTextTest : public QObject
{
    Q_OBJECT

private slots:
    void worded_data()
    {
        QTest::addColumn<UploadFailure>("failure");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("status");
        const QString failed(" Firmware update failed");
        QTest::newRow("unreadable head")
            << failureOf(UploadFailure::PackageRefused, PackageProblem::UnusableHead)
            << "The firmware package vorn-4.14.upd cannot be used: its part before the data is unreadable or too "
               "large. Nothing was sent."
            << failed;
        QTest::newRow("too large") << failureOf(UploadFailure::PackageRefused, PackageProblem::TooLarge)
                                   << "The firmware package vorn-4.14.upd is too large to be read. Nothing was sent."
                                   << failed;
        QTest::newRow("other device")
            << failureOf(UploadFailure::PackageRefused, PackageProblem::OtherDevice)
            << "The firmware package vorn-4.14.upd is not meant for the connected device. Nothing was sent." << failed;
        QTest::newRow("damaged")
            << failureOf(UploadFailure::PackageRefused, PackageProblem::Damaged, ImageProblem::WrongLineSum)
            << "The firmware package vorn-4.14.upd is damaged: line 7 does not carry the sum of its digits. "
               "Nothing was sent."
            << failed;
        QTest::newRow("wrong geometry")
            << failureOf(UploadFailure::PackageRefused, PackageProblem::WrongGeometry)
            << "The firmware package vorn-4.14.upd cannot be installed: its image of 1024 bytes is not 15 blocks "
               "of 64 bytes. Nothing was sent."
            << failed;
        QTest::newRow("device changed")
            << failureOf(UploadFailure::DeviceChanged)
            << "The connected device now reports identifier 21, hardware 3, bootloader 3, firmware 5.0.0, not "
               "identifier 21, hardware 2, bootloader 3, firmware 4.12.7 as when the update was confirmed. "
               "Nothing was sent."
            << failed;
        QTest::newRow("device silent")
            << failureOf(UploadFailure::DeviceSilent)
            << "The device did not tell its identity again before the first block. Nothing was sent." << failed;
        QTest::newRow("block failed")
            << failureOf(UploadFailure::BlockFailed)
            << "The device did not acknowledge a firmware block. Keep it connected and run the update again." << failed;
        QTest::newRow("port closed")
            << failureOf(UploadFailure::PortClosed)
            << "The serial port closed during the update. Reconnect the cable and run the update again." << failed;
        QTest::newRow("version differs")
            << failureOf(UploadFailure::VersionDiffers)
            << "The device reports firmware 5.0.0 after the update, not 4.14 of the package. Keep it connected "
               "and run the update again."
            << " Firmware 5.0.0 after the update, not 4.14";
    }

    void worded()
    {
        QFETCH(UploadFailure, failure);
        QFETCH(QString, message);
        QFETCH(QString, status);
        QCOMPARE(uploadfailuretext::message(failure), message);
        QCOMPARE(uploadfailuretext::status(failure), status);
    }
};

QTEST_GUILESS_MAIN(UploadFailureTextTest)
#include "tst_uploadfailuretext.moc"
