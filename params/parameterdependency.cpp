#include "params/parameterdependency.h"

namespace parameterdependency {

bool dependsOn(int depcell, int sourceCell)
{
    if (depcell == 0)
        return false;
    return depcell == sourceCell || (depcell == CellZero && sourceCell == 0);
}

bool enabledByList(int sourceIndex, bool dependentIsList, int depval)
{
    if (dependentIsList && depval >= Inverted)
        return sourceIndex != depval - Inverted;
    return sourceIndex == depval;
}

bool enabledByRange(double sourceValue, int depval)
{
    return sourceValue == double(depval);
}

}  // namespace parameterdependency
