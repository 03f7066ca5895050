#include "embedded.h"

#include "asm_code.inc"
#include "corpus_code.inc"

const TCorpusBlob* CorpusBlobs(size_t* count)
{
    *count = sizeof(kCorpusBlobs) / sizeof(kCorpusBlobs[0]);
    return kCorpusBlobs;
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
