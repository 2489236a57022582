#include "parameterwriter.h"

#include "deviceconnection.h"
#include "parametervalues.h"
#include "report.h"

#include "params/valuecodec.h"
#include "params/valuetext.h"

std::optional<Failure> writeParameter(DeviceConnection &connection,
                                      const ParameterDescription &parameter, quint32 raw)
{
    const int hcell = highCellOf(parameter);
    if (!hasCellSlot(parameter.cell) || !hasCellSlot(hcell))
        return Failure{ExitStatus::DeviceFailed,
                       QString("\"%1\" names a cell the device does not have.").arg(parameter.name)};
    const WriteOutcome outcome =
        connection.session().writeValue(connection.image(), raw, quint8(parameter.cell), quint8(hcell));
    switch (outcome) {
    case WriteOutcome::Confirmed: return std::nullopt;
    case WriteOutcome::DeviceDiffers: {
        const DeviceImage &image = connection.image();
        const quint32 held = valuecodec::rawFromCells(image.cells[parameter.cell].value,
                                                      hcell > 0 ? image.cells[hcell].value.load() : 0);
        return Failure{ExitStatus::DeviceFailed,
                       QString("\"%1\" reads back as %2 instead of %3.")
                           .arg(parameter.name, valuetext::toText(parameter, held),
                                valuetext::toText(parameter, raw))};
    }
    case WriteOutcome::WriteFailed:
        return Failure{ExitStatus::DeviceFailed,
                       QString("Writing \"%1\" failed: the device did not answer.").arg(parameter.name)};
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

ExitStatus WriteFailures::end(Report &report) const
{
    return first ? report.fail(*first) : ExitStatus::Done;
}
