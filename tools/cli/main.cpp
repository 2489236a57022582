#include "cli.h"
#include "interruption.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

#include <unistd.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kova-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KOVA_VERSION));
    // The link's debug lines are for the window's developers; --trace shows the wire.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    interruption::install();

    QTextStream out(stdout);
    QTextStream err(stderr);
    // Ctrl+C ends the wait for an answer, which a plain read would not.
    const Terminal terminal{::isatty(STDERR_FILENO) != 0, &interruption::readLine};
    return runCli(app.arguments().mid(1), out, err, terminal);
}
