// Times `kova-cli check` of a 60 MiB package and of a small description
// beside it in firmwares/, and reads the peak memory of each run from the
// kernel's account of the child process. The package's image is larger than
// any description's blocks, so its check ends in status 2 having read it all.

#include "firmware/firmwareimage.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr qint64 PackageBytes = 60 * 1024 * 1024;

// Vorn lines of 128 digits, a four-digit trailer and CR LF.
QByteArray largePackage()
{
    QByteArray text = "[Device]\r\nID=21\r\nHW=2\r\nBL=3\r\nFW=4.13\r\n\r\n[Firmware]\r\n";
    const QByteArray line = QByteArray("0123456789ABCDEF").repeated(8) + "0000\r\n";
    text.reserve(int(PackageBytes));
    while (text.size() + line.size() <= PackageBytes)
        text += line;
    return text;
}

struct Figures {
    double seconds = 0.0;
    long peakKiB = 0;
    int status = -1;
};

// One run in a child of its own, so that its peak is not this program's.
Figures run(const QStringList &arguments)
{
    std::fflush(stdout);  // else the child writes this program's buffered lines again
    QElapsedTimer timer;
    timer.start();
    const pid_t child = fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        QVector<QByteArray> bytes{KOVA_CLI_PROGRAM, "check"};
        for (const QString &argument : arguments)
            bytes << argument.toLocal8Bit();
        QVector<char *> argv;
        for (QByteArray &argument : bytes)
            argv << argument.data();
        argv << nullptr;
        execv(argv.first(), argv.data());
        _exit(127);
    }
    Figures figures;
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    figures.seconds = timer.nsecsElapsed() / 1e9;
    figures.peakKiB = usage.ru_maxrss;
    figures.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return figures;
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    QDir(folder.path()).mkpath("firmwares");
    const QString package = folder.filePath("firmwares/vorn-large.upd");
    const QString description = folder.filePath("firmwares/vorn.dsc");
    QFile file(package);
    if (!file.open(QIODevice::WriteOnly) || file.write(largePackage()) < 0 || !file.flush())
        return 1;
    file.close();
    QFile small(description);
    if (!small.open(QIODevice::WriteOnly)
        || small.write(
               "<Descriptions><ESC id=\"21\" hw=\"2\" fw=\"4\" fwm=\"13\" name=\"Vorn\" fwnp=\"32\" fwps=\"256\">"
               "<Parameter type=\"check\" name=\"Beeps\" cell=\"25\"/></ESC></Descriptions>\n")
               < 0)
        return 1;
    small.close();

    std::printf("kova-cli check, package of %lld MiB (best of 3)\n", PackageBytes / (1024 * 1024));
    const QList<QPair<const char *, QStringList>> cases{{"the package", {package}},
                                                        {"the description beside it", {description}}};
    for (const auto &[name, arguments] : cases) {
        Figures best;
        for (int attempt = 0; attempt < 3; ++attempt) {
            const Figures figures = run(arguments);
            if (attempt == 0 || figures.seconds < best.seconds)
                best = figures;
        }
        std::printf("  %-28s %6.2f s  peak %6.1f MiB  exit %d\n", name, best.seconds, best.peakKiB / 1024.0,
                    best.status);
    }
    return 0;
}
