#pragma once

// What the libFuzzer targets share: the application object the program runs
// under, quiet debug output, and a scratch folder for files the code under
// test opens by name.
#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStyleFactory>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>

extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);

namespace fuzzsupport {

// Debug lines at tens of thousands of runs a second only slow the search;
// fatal messages still abort, so that libFuzzer reports them.
inline void dropChatter(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        fprintf(stderr, "%s\n", qPrintable(message));
        abort();
    }
}

// A QApplication in the Fusion style, as the program runs; offscreen unless
// told otherwise.
inline void startApplication()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(dropChatter);
    static int argc = 1;
    static char name[] = "kova-fuzz";
    static char *argv[] = {name, nullptr};
    static QApplication application(argc, argv);
    if (QStyle *fusion = QStyleFactory::create("Fusion"))
        QApplication::setStyle(fusion);
}

// A folder of its own for the run, removed at exit.
inline QString scratchFolder()
{
    static QTemporaryDir folder;
    return folder.path();
}

inline void writeFile(const QString &path, const uint8_t *data, size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        qFatal("cannot write %s", qPrintable(path));
}

inline QByteArray bytesOf(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

// libFuzzer's own mutations grow an input by a few bytes at a time, so the
// files that hurt by sheer repetition (many attributes, rows, keys or lines)
// stay out of reach. Now and then one piece of the input is repeated to fill
// up to a random share of the room instead.
inline size_t mutateWithRepeats(uint8_t *data, size_t size, size_t maxSize, unsigned seed)
{
    std::minstd_rand random(seed);
    if (size == 0 || size >= maxSize || random() % 16 != 0)
        return LLVMFuzzerMutate(data, size, maxSize);
    const size_t begin = random() % size;
    const size_t length = 1 + random() % std::min<size_t>(size - begin, 256);
    const size_t at = begin + length;
    const size_t room = maxSize - size;
    if (room < length)
        return LLVMFuzzerMutate(data, size, maxSize);
    // Mostly a small share: a corpus of huge inputs would slow every run.
    const size_t copies = std::max<size_t>(1, (room >> (2 + random() % 14)) / length);
    std::memmove(data + at + copies * length, data + at, size - at);
    for (size_t copy = 1; copy <= copies; ++copy)
        std::memcpy(data + at + (copy - 1) * length, data + begin, length);
    return size + copies * length;
}

}  // namespace fuzzsupport
