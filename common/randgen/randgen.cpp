#include "common/randgen/randgen.h"

CRandGen& CRandGen::ForThread()
{
    thread_local CRandGen gen;
    return gen;
}
