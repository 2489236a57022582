// Why a port did not open, told from the device file, lock files and
// processes of folders the test lays out, and the ports the echo scan tries.
#include "link/portaccess.h"

#include <QtTest>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

Q_DECLARE_METATYPE(PortProblem)
Q_DECLARE_METATYPE(QSerialPort::SerialPortError)

class PortAccessTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir root;

    PortSystem fakeSystem(int accessError) const
    {
        PortSystem system;
        system.deviceFolder = root.filePath("dev");
        system.lockFolders = QStringList{root.filePath("lock"), root.filePath("run-lock")};
        system.processFolder = root.filePath("proc");
        system.accessError = [accessError](const QString &) { return accessError; };
        return system;
    }

    void writeFile(const QString &relative, const QByteArray &content)
    {
        QVERIFY(QDir(root.path()).mkpath(QFileInfo(relative).path()));
        QFile file(root.filePath(relative));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(root.isValid());
        writeFile("dev/ttyUSB0", "");
        writeFile("dev/pts/3", "");
        writeFile("proc/4242/comm", "minicom\n");
    }

    void diagnosis_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("lockFile");
        QTest::addColumn<QByteArray>("lockContent");
        QTest::addColumn<int>("accessError");
        QTest::addColumn<QSerialPort::SerialPortError>("error");
        QTest::addColumn<PortProblem>("problem");
        QTest::addColumn<qint64>("holderPid");
        QTest::addColumn<QString>("holderName");

        const auto denied = QSerialPort::PermissionError;
        QTest::newRow("no name") << ""
                                 << "" << QByteArray() << 0 << QSerialPort::DeviceNotFoundError << PortProblem::Absent
                                 << qint64(0) << "";
        QTest::newRow("no device") << "ttyUSB7"
                                   << "" << QByteArray() << ENOENT << QSerialPort::DeviceNotFoundError
                                   << PortProblem::Absent << qint64(0) << "";
        QTest::newRow("not allowed") << "ttyUSB0"
                                     << "" << QByteArray() << EACCES << denied << PortProblem::NoPermission << qint64(0)
                                     << "";
        QTest::newRow("locked by a running program") << "ttyUSB0"
                                                     << "run-lock/LCK..ttyUSB0" << QByteArray("4242\nminicom\nhost\n")
                                                     << 0 << denied << PortProblem::InUse << qint64(4242) << "minicom";
        QTest::newRow("serial tools' lock, sub-folder device")
            << "pts/3"
            << "lock/LCK..pts_3" << QByteArray("      4242\n") << EACCES << denied << PortProblem::InUse << qint64(4242)
            << "minicom";
        QTest::newRow("stale lock, held exclusively")
            << "ttyUSB0"
            << "lock/LCK..ttyUSB0" << QByteArray("999999\n") << 0 << denied << PortProblem::InUse << qint64(0) << "";
        QTest::newRow("stale lock, not allowed") << "ttyUSB0"
                                                 << "lock/LCK..ttyUSB0" << QByteArray("999999\n") << EACCES << denied
                                                 << PortProblem::NoPermission << qint64(0) << "";
        QTest::newRow("other failure") << "ttyUSB0"
                                       << "" << QByteArray() << 0 << QSerialPort::OpenError << PortProblem::Failed
                                       << qint64(0) << "";
    }

    void diagnosis()
    {
        QFETCH(QString, port);
        QFETCH(QString, lockFile);
        QFETCH(QByteArray, lockContent);
        QFETCH(int, accessError);
        QFETCH(QSerialPort::SerialPortError, error);
        QFETCH(PortProblem, problem);
        QFETCH(qint64, holderPid);
        QFETCH(QString, holderName);

        for (const char *folder : {"lock", "run-lock"})
            QDir(root.filePath(folder)).removeRecursively();
        if (!lockFile.isEmpty())
            writeFile(lockFile, lockContent);

        const PortDiagnosis diagnosis = diagnosePortOpenFailure(port, error, fakeSystem(accessError));
        QCOMPARE(diagnosis.problem, problem);
        QCOMPARE(diagnosis.holderPid, holderPid);
        QCOMPARE(diagnosis.holderName, holderName);
        if (!port.isEmpty())
            QCOMPARE(diagnosis.device, root.filePath("dev/" + port));
    }

    // Anyone may put a file named like a lock into /tmp: a FIFO must not
    // hold the diagnosis, nor a link lead it elsewhere, nor a large file
    // be read whole.
    void readsOnlyRegularLockFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qint64>("holderPid");

        QTest::newRow("regular file, long") << "long" << qint64(4242);
        QTest::newRow("symbolic link to a lock") << "link" << qint64(0);
        QTest::newRow("FIFO") << "fifo" << qint64(0);
    }

    void readsOnlyRegularLockFiles()
    {
        QFETCH(QString, kind);
        QFETCH(qint64, holderPid);

        QDir(root.filePath("lock")).removeRecursively();
        QDir(root.filePath("run-lock")).removeRecursively();
        const QString lockFile = root.filePath("lock/LCK..ttyUSB0");
        QVERIFY(QDir(root.path()).mkpath("lock"));
        if (kind == "long") {
            writeFile("lock/LCK..ttyUSB0", "      4242\n" + QByteArray(1 << 20, 'x'));
        } else if (kind == "link") {
            writeFile("elsewhere/LCK..ttyUSB0", "4242\n");
            QVERIFY(QFile::link(root.filePath("elsewhere/LCK..ttyUSB0"), lockFile));
        } else {
            QCOMPARE(::mkfifo(QFile::encodeName(lockFile).constData(), 0600), 0);
        }

        std::promise<PortDiagnosis> promise;
        std::future<PortDiagnosis> diagnosis = promise.get_future();
        std::thread worker([&] {
            promise.set_value(diagnosePortOpenFailure("ttyUSB0", QSerialPort::PermissionError, fakeSystem(0)));
        });
        const bool prompt = diagnosis.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        if (!prompt) {
            // A writer that comes and goes ends the wait of the reader.
            const int writer = ::open(QFile::encodeName(lockFile).constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
        }
        worker.join();
        QVERIFY2(prompt, "the diagnosis waited on the lock file");
        const PortDiagnosis result = diagnosis.get();
        QCOMPARE(result.holderPid, holderPid);
        QCOMPARE(result.problem, PortProblem::InUse);
    }

    void portsToScan_data()
    {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("remembered");
        QTest::addColumn<QStringList>("scanned");

        const QStringList listed{"ttyS0", "ttyUSB0"};
        QTest::newRow("nothing remembered") << listed << "" << listed;
        QTest::newRow("remembered is listed") << listed << "ttyUSB0" << listed;
        QTest::newRow("listed under its path") << listed << "/dev/ttyUSB0" << listed;
        QTest::newRow("remembered is not listed")
            << listed << "/dev/pts/3" << QStringList{"/dev/pts/3", "ttyS0", "ttyUSB0"};
    }

    void portsToScan()
    {
        QFETCH(QStringList, listed);
        QFETCH(QString, remembered);
        QFETCH(QStringList, scanned);
        QCOMPARE(::portsToScan(listed, remembered), scanned);
    }
};

QTEST_GUILESS_MAIN(PortAccessTest)
#include "tst_portaccess.moc"
