#pragma once

#include "description/descriptionlookup.h"

#include <QString>

struct DeviceIdentity;
struct DeviceImage;

// What both front ends do once a device has told its identity: find its
// description and lay it onto the device image.
namespace describing {

// The description of `identity`, in `file` alone when the user names one,
// else where the window has always looked. When found, the image takes its
// name and firmware geometry, and the cells its parameters use are marked.
descriptionlookup::Result describe(const DeviceIdentity &identity, DeviceImage &image, const QString &file = QString());

// Marks the cells the parameters use. A cell without a slot in the image
// marks nothing: the reader skips such parameters, but a description built
// otherwise must not reach past the image.
void markUsedCells(const DeviceDescription &description, DeviceImage &image);

}  // namespace describing
