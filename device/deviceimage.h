#pragma once

#include "link/cells.h"

#include <QString>
#include <QtGlobal>

#include <atomic>

// What the program knows of the connected device. The window owns it; the
// link's worker thread fills identity bytes and cell values. The queued
// signals between the two threads order every hand-over; the shared fields
// are atomics so that each single access is race-free as well.
struct CellSlot {
    std::atomic<quint8> value{0};
    std::atomic<quint8> used{0};
};

struct DeviceImage {
    std::atomic<quint8> constructed{0};
    // A number on purpose: docs/compatibility.md
    int mode = 1;  // 1 initial / own parameter page, 2 firmware page, 3 setup page
    QString deviceName;
    std::atomic<quint8> deviceId{0};
    std::atomic<quint8> hwVersion{0};
    std::atomic<quint8> blVersion{0};
    std::atomic<quint8> fwMajor{0};
    std::atomic<quint8> fwMinor{0};
    std::atomic<quint8> fwBuild{0};
    std::atomic<quint8> fwPageCount{0};
    std::atomic<quint32> fwPageSize{0};
    CellSlot cells[CellCount];

    void clearCells()
    {
        for (CellSlot &slot : cells) {
            slot.value = 0;
            slot.used = 0;
        }
    }

    // Everything but `mode`, which is the window's page state.
    void clear()
    {
        constructed = 0;
        deviceName = QString("");
        deviceId = 0;
        hwVersion = 0;
        blVersion = 0;
        fwMajor = 0;
        fwMinor = 0;
        fwBuild = 0;
        fwPageCount = 0;
        fwPageSize = 0;
        clearCells();
    }
};
