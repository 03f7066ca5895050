#pragma once
// Machine code built for i686 at build time (see extra.cmake): the corpus
// routines at each optimisation level and the hand-written assembly.

#include <cstddef>
#include <cstdint>
#include <string>

struct TCorpusBlob {
    unsigned nRoutine;   // index into the natively compiled thunks
    const char* pLevel;  // "O0" .. "Os"
    const unsigned char* pCode;
    size_t nLen;
};

struct TAsmBlob {
    const char* pName;
    const unsigned char* pCode;
    size_t nLen;
};

const TCorpusBlob* CorpusBlobs(size_t* count);
const TAsmBlob* AsmBlobs(size_t* count);
const TAsmBlob* FindAsmBlob(const std::string& name);

// The same corpus compiled into this program, callable as cdecl.
extern "C" {
typedef void (*kr_thunk_fn)(uint8_t*, uint8_t);
extern const kr_thunk_fn kr_thunks[];
extern const unsigned kr_thunk_count;
}
