#pragma once

#include "settings/parametervalue.h"
#include "settings/settingsfile.h"

#include "description/devicedescription.h"
#include "description/valuetext.h"

#include <QString>
#include <QVector>

// What a load does to one parameter.
struct LoadStep {
    enum Action {
        Equal,  // the device holds the file's value
        Write,  // the file's value goes into the parameter's cells
        Disabled,  // differs, but a dependency disables it once the file is loaded
        Outside,  // differs, but the description does not allow the file's value (see refusal)
        NotInFile,  // only on the device
    };
    Action action = Equal;
    QString name;
    int deviceIndex = -1;  // into the device's values
    int savedIndex = -1;  // into the file's parameters; -1 for NotInFile
    valuetext::Refusal refusal = valuetext::Refusal::None;
};

// A whole file checked against the description before anything is sent:
// either a refusal or every step.
struct LoadPlan {
    QString refusal;  // why the file cannot be loaded; empty when it can
    QVector<LoadStep> steps;  // in the device's order
    QVector<ParameterValue> after;  // the device's values once the steps are done

    bool ok() const { return refusal.isEmpty(); }
};

// A file value is written only as the window could have written it: into
// the description's cells, a value its control can hold, on a parameter
// that the values after the load leave enabled. A value the control cannot
// hold is left out, as a device may hold one and save keep it. A file is
// refused whole when a parameter lies in other cells, when the shown text of
// an allowed value is not what its raw value shows, or when a name is none
// of the device's parameters.
LoadPlan planLoad(const DeviceDescription &description, const QVector<ParameterValue> &device,
                  const QVector<SavedParameter> &saved);

// What restoring a backup after a firmware update does to one parameter:
// the saved shown value is taken by name into the new description.
struct RestoreStep {
    enum Action {
        Equal,  // the device holds the saved value
        Write,  // `raw` goes into the parameter's cells
        Disabled,  // differs, but a dependency disables it once restored
        NotSaved,  // the backup lacks it: it keeps what the update left
        Dropped,  // the description has no parameter of this name any more
        Refused,  // the description refuses the saved value (see refusal, rounded)
        Outside,  // the saved value was one its description did not allow
    };
    Action action = Equal;
    QString name;
    int deviceIndex = -1;  // into the device's values; -1 for Dropped
    int savedIndex = -1;  // into the backup's parameters; -1 for NotSaved
    quint32 raw = 0;  // the saved value as the description stores it
    valuetext::Refusal refusal = valuetext::Refusal::None;
    bool rounded = false;  // the description cannot show the saved number exactly
};

struct RestorePlan {
    QVector<RestoreStep> steps;  // in the device's order, then the dropped ones
    QVector<ParameterValue> after;  // the device's values once the steps are done
};

// A backup's values are written only as the window could write them: by
// name, a shown value that the description takes as it stands, on a
// parameter left enabled by the values after the restore.
RestorePlan planRestore(const DeviceDescription &description, const QVector<ParameterValue> &device,
                        const QVector<SavedParameter> &saved);
