// What the targets that take a whole file share: they run under the
// application object, as the program does, and their inputs may grow by
// repetition (see mutateWithRepeats).
#include "fuzz/fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::startApplication();
    return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize, unsigned seed)
{
    return fuzzsupport::mutateWithRepeats(data, size, maxSize, seed);
}
