#include "keyroutinetable.h"

#include "keyroutines.h"
#include "keyroutines_simd_x86.h"
#include "keyroutines_x86.h"

#define QX_ROUTINE(n)                      \
    {                                      \
#n, n, k##n##X86, sizeof k##n##X86 \
    }
// The vectorised SSE2 routine comes first: a server's first login uses it.
const TKeyRoutine kKeyRoutines[] = {QX_ROUTINE(KeyRoutineVectorMix),
                                    QX_ROUTINE(KeyRoutineXorRotate), QX_ROUTINE(KeyRoutineChain),
                                    QX_ROUTINE(KeyRoutineFnv), QX_ROUTINE(KeyRoutineSwapHalves)};
#undef QX_ROUTINE
const size_t kKeyRoutineCount = sizeof kKeyRoutines / sizeof kKeyRoutines[0];
