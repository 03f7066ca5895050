#pragma once
// Machine code built for i686 at build time (see extra.cmake): the corpus
// routines in each compiler variant and the hand-written assembly.

#include <cstddef>
#include <cstdint>
#include <string>

struct TCorpusBlob {
    unsigned nRoutine;     // index into the natively compiled thunks
    const char* pVariant;  // compiler and flags: "O2" (GCC, plain i686), "core2-O3", "clang-O2"
    const unsigned char* pCode;
    size_t nLen;
};

// A compilation the build dropped, and why (its code needs relocation).
struct TCorpusDrop {
    unsigned nRoutine;
    const char* pVariant;
    const char* pReason;
};

struct TAsmBlob {
    const char* pName;
    const unsigned char* pCode;
    size_t nLen;
};

const TCorpusBlob* CorpusBlobs(size_t* count);
const TCorpusDrop* CorpusDrops(size_t* count);
const char* const* CorpusVariants(size_t* count);
const TAsmBlob* AsmBlobs(size_t* count);
const TAsmBlob* FindAsmBlob(const std::string& name);

// The same corpus compiled into this program, callable as cdecl.
extern "C" {
typedef void (*kr_thunk_fn)(uint8_t*, uint8_t);
extern const kr_thunk_fn kr_thunks[];
extern const unsigned kr_thunk_count;
}
