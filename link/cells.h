#pragma once

// The device's parameter cells as the wire addresses them: a cell number is
// one byte, cells 0..254 hold values, and cell 255 has no slot.
constexpr int CellCount = 255;
constexpr int NoSlotCell = 255;

inline bool hasCellSlot(int cell)
{
    return cell >= 0 && cell < CellCount;
}
