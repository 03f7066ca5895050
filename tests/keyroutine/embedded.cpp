#include "embedded.h"

#include "asm_code.inc"
#include "corpus_code.inc"

const TCorpusBlob* CorpusBlobs(size_t* count)
{
    *count = sizeof(kCorpusBlobs) / sizeof(kCorpusBlobs[0]);
    return kCorpusBlobs;
}

const TCorpusDrop* CorpusDrops(size_t* count)
{
    *count = sizeof(kCorpusDrops) / sizeof(kCorpusDrops[0]) - 1;  // without the end marker
    return kCorpusDrops;
}

const char* const* CorpusVariants(size_t* count)
{
    *count = sizeof(kCorpusVariants) / sizeof(kCorpusVariants[0]);
    return kCorpusVariants;
}

const TAsmBlob* AsmBlobs(size_t* count)
{
    *count = sizeof(kAsmBlobs) / sizeof(kAsmBlobs[0]);
    return kAsmBlobs;
}

const TAsmBlob* FindAsmBlob(const std::string& name)
{
    for (const TAsmBlob& b : kAsmBlobs) {
        if (name == b.pName) {
            return &b;
        }
    }
    return nullptr;
}
