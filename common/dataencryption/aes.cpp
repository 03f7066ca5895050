#include "common/dataencryption/aes.h"

#include <atomic>

namespace {

std::atomic<int>& ImplChoice()
{
    static std::atomic<int> choice(AesNiAvailable() ? kAesNi : kAesTable);
    return choice;
}

}  // namespace

EAesImpl AesActiveImpl()
{
    return static_cast<EAesImpl>(ImplChoice().load(std::memory_order_relaxed));
}

bool AesUseImpl(EAesImpl impl)
{
    if (impl == kAesNi && !AesNiAvailable())
        return false;
    ImplChoice().store(impl, std::memory_order_relaxed);
    return true;
}

void AesEncryptBlocks(const uint32_t* sched, const uint8_t* in, uint8_t* out, size_t n)
{
    if (AesActiveImpl() == kAesNi)
        AesEncryptBlocksNi(sched, in, out, n);
    else
        AesEncryptBlocksTable(sched, in, out, n);
}

void AesDecryptBlocks(const uint32_t* sched, const uint8_t* in, uint8_t* out, size_t n)
{
    if (AesActiveImpl() == kAesNi)
        AesDecryptBlocksNi(sched, in, out, n);
    else
        AesDecryptBlocksTable(sched, in, out, n);
}
