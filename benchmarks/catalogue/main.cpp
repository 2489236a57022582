// Times building the catalogue of a folder holding one 64 MiB package: with
// very many keys before the data part, and with a small head before a large
// data part. The window thread builds it each time the firmware page fills.

#include "firmware/firmwareimage.h"
#include "firmware/packagecatalogue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

QByteArray manyKeys()
{
    QByteArray text = "[Device]\nID=7\nHW=1\nBL=1\n";
    for (int key = 0; text.size() < MaxPackageBytes - 64; ++key)
        text += "Key" + QByteArray::number(key) + "=value\n";
    return text + "[Firmware]\n";
}

QByteArray largeDataPart()
{
    QByteArray text = "[Device]\nID=7\nHW=1\nBL=1\nFW=1.0\n[Firmware]\n";
    const QByteArray line = QByteArray("0123456789abcdef").repeated(8) + "00FF\n";
    while (text.size() < MaxPackageBytes - line.size())
        text += line;
    return text;
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QList<QPair<const char *, QByteArray>> cases{{"many keys", manyKeys()}, {"large data part", largeDataPart()}};
    for (const auto &[name, content] : cases) {
        QTemporaryDir folder;
        QFile file(folder.filePath("p.upd"));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return 1;
        file.close();
        QElapsedTimer clock;
        clock.start();
        const int listed = buildCatalogue(folder.path(), 7, 1, 1).size();
        std::printf("catalogue of one %lld MiB package, %s: %lld ms, %d listed\n",
                    static_cast<long long>(content.size() >> 20), name, static_cast<long long>(clock.elapsed()),
                    listed);
    }
    return 0;
}
