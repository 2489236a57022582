#include "parameterwriter.h"

#include "deviceconnection.h"
#include "parametervalues.h"
#include "report.h"

#include "description/valuecodec.h"

#include <QStringList>
#include <QVector>

namespace {

struct CellBytes {
    int cell;
    quint8 before;
    quint8 asked;
    quint8 now;
};

// After a write the device did not answer: the image holds what each cell
// read back as, so the user learns what the device holds now, which may be
// neither value when one of two cells took its byte.
QString unansweredWrite(const ParameterDescription &parameter, const QVector<CellBytes> &cells, quint32 before,
                        quint32 asked, quint32 now)
{
    const QString start = QString("Writing \"%1\" failed: the device did not answer").arg(parameter.name);
    const QString nowText = shownText(parameter, now);
    if (now == before)
        return QString("%1; nothing was written, it still holds %2.").arg(start, nowText);
    if (now == asked)
        return QString("%1, yet it holds %2 now.").arg(start, nowText);
    QStringList states;
    for (const CellBytes &bytes : cells) {
        if (bytes.now == bytes.asked)
            states << QString("cell %1 was written").arg(bytes.cell);
        else if (bytes.now == bytes.before)
            states << QString("cell %1 was not").arg(bytes.cell);
        else
            states << QString("cell %1 holds %2").arg(bytes.cell).arg(bytes.now);
    }
    return QString("%1; %2, so the device now holds %3, neither %4 nor %5.")
        .arg(start, states.join(", "), nowText, shownText(parameter, before), shownText(parameter, asked));
}

}  // namespace

std::optional<Failure> writeParameter(DeviceConnection &connection, const ParameterDescription &parameter, quint32 raw)
{
    const int hcell = highCellOf(parameter);
    if (!hasCellSlot(parameter.cell) || !hasCellSlot(hcell))
        return Failure{ExitStatus::DeviceFailed,
                       QString("\"%1\" names a cell the device does not have.").arg(parameter.name)};
    const DeviceImage &image = connection.image();
    const auto held = [&] {
        return valuecodec::rawFromCells(image.cells[parameter.cell].value,
                                        hcell > 0 ? image.cells[hcell].value.load() : quint8(0));
    };
    QVector<CellBytes> cells{{parameter.cell, image.cells[parameter.cell].value, valuecodec::lowByte(raw), 0}};
    if (hcell > 0)
        cells << CellBytes{hcell, image.cells[hcell].value, valuecodec::highByte(raw), 0};
    const quint32 before = held();
    // What the cells hold when every byte is taken; higher bits are lost.
    const quint32 asked = valuecodec::rawFromCells(cells.first().asked, hcell > 0 ? cells.last().asked : quint8(0));
    const WriteOutcome outcome =
        connection.session().writeValue(connection.image(), raw, quint8(parameter.cell), quint8(hcell));
    for (CellBytes &bytes : cells)
        bytes.now = image.cells[bytes.cell].value;
    switch (outcome) {
    case WriteOutcome::Confirmed: return std::nullopt;
    case WriteOutcome::DeviceDiffers:
        return Failure{ExitStatus::DeviceFailed,
                       QString("\"%1\" reads back as %2 instead of %3.")
                           .arg(parameter.name, shownText(parameter, held()), shownText(parameter, raw))};
    case WriteOutcome::WriteFailed:
        return Failure{ExitStatus::DeviceFailed, unansweredWrite(parameter, cells, before, asked, held())};
    case WriteOutcome::Unverified:
        return Failure{ExitStatus::DeviceFailed,
                       QString("\"%1\" may have been written but could not be read back; the device's "
                               "value is unknown.")
                           .arg(parameter.name)};
    case WriteOutcome::PortClosed:
        return linkFailure(LinkOutcome::PortClosed, QString("writing \"%1\"").arg(parameter.name));
    case WriteOutcome::Stopped: break;
    }
    return linkFailure(LinkOutcome::Stopped, QString("writing \"%1\"").arg(parameter.name));
}

bool WriteFailures::goOnAfter(const Failure &failure)
{
    if (!first)
        first = failure;
    return failure.status == ExitStatus::DeviceFailed;
}

ExitStatus WriteFailures::end(Report &report, int leftOut) const
{
    if (first)
        return report.fail(*first);
    return leftOut > 0 ? ExitStatus::NotRestored : ExitStatus::Done;
}
