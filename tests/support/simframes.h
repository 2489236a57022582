#pragma once

// Frames of the simulated device spelled out byte by byte, so that no frame
// code of the simulator is trusted for the expected bytes.
#include "support/bytes.h"

namespace testsupport {

// Time to wait for bytes that must not come.
constexpr int silenceMs = 200;

namespace simframes {

inline const QByteArray vornPing = hex("554D5354FB5C937A");
inline const QByteArray vornOk = hex("4D4FB67F6DE2");
inline const QByteArray kelpaPing = hex("554D53455439");
inline const QByteArray ulmaPing = hex("4D73657499");
inline const QByteArray shortOk = hex("4D4F9C");  // Kelpa and Ulma

}  // namespace simframes

}  // namespace testsupport
