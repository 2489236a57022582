#pragma once

// Ctrl+C, counted by a signal handler and asked between two exchanges.
// During an upload the first one only warns: stopping then leaves the
// controller with partly written firmware.
namespace interruption {

void install();
void setUploading(bool uploading);
bool stopRequested();

}  // namespace interruption
