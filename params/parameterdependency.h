#pragma once

// When a list or range parameter is enabled by the list or range parameter
// whose cell it names in "depcell". Check parameters take no part.
namespace parameterdependency {

// "depcell" 0 means no dependency, so 1000 stands for cell 0.
constexpr int CellZero = 1000;
// A list on a list with "depval" from 1000 up is enabled unless the source
// stands at index depval - 1000.
constexpr int Inverted = 1000;

bool dependsOn(int depcell, int sourceCell);

bool enabledByList(int sourceIndex, bool dependentIsList, int depval);
bool enabledByRange(double sourceValue, int depval);

}  // namespace parameterdependency
