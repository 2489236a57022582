// Any bytes as a settings file: the reader refuses them or takes
// them without undefined behaviour, and what it takes is written and read
// back unchanged.
#include "fuzz/fuzzsupport.h"
#include "settings/settingsfile.h"

namespace {

void expect(bool condition)
{
    if (!condition)
        abort();
}

bool sameParameters(const QVector<SavedParameter> &a, const QVector<SavedParameter> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a.at(i).name != b.at(i).name || a.at(i).cells != b.at(i).cells || a.at(i).raw != b.at(i).raw
            || a.at(i).shown != b.at(i).shown)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const settingsfile::Parsed parsed = settingsfile::fromJson(fuzzsupport::bytesOf(data, size));
    if (!parsed.ok())
        return 0;
    const settingsfile::Parsed again = settingsfile::fromJson(settingsfile::toJson(parsed.file));
    expect(again.ok());
    expect(settingsfile::fitOf(again.file.device, parsed.file.device) == settingsfile::Fit::SameDevice);
    expect(again.file.device.identity.blVersion == parsed.file.device.identity.blVersion);
    expect(sameParameters(again.file.parameters, parsed.file.parameters));
    return 0;
}
