// Writes kova-cli's bash completion, its commands filled in from the table
// that --help prints: kova-cli-completion TEMPLATE SCRIPT.
#include "helptext.h"

#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kova-cli-completion TEMPLATE SCRIPT\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kova-cli-completion: %s\n", qPrintable(in.errorString()));
        return 1;
    }
    const QString script = helptext::completionScript(QString::fromUtf8(in.readAll()));
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "kova-cli-completion: %s\n", qPrintable(out.errorString()));
        return 1;
    }
    out.write(script.toUtf8());
    return out.flush() ? 0 : 1;
}
