// Writes kova-cli's manual page, made from the same table as its --help, to
// the file named by the first argument.
#include "helptext.h"

#include <QFile>
#include <QTextStream>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kova-cli-manpage PAGE\n");
        return 2;
    }
    QFile page(QString::fromLocal8Bit(argv[1]));
    if (!page.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "kova-cli-manpage: %s\n", qPrintable(page.errorString()));
        return 1;
    }
    page.write(helptext::manualPage(QStringLiteral(KOVA_VERSION)).toUtf8());
    return page.flush() ? 0 : 1;
}
