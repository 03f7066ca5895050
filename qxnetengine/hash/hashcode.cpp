#include "qxnetengine/hash/hashcode.h"

#include "qxnetengine/hash/sha1.h"

#include <cstring>

int32_t ComputeHashCode(const void* data, uint32_t len, uint8_t* digest, uint32_t* digestLen)
{
    static const char kSalt[8] = {'m', 'q', '_', 'f', 'l', 'u', 't', 'e'};
    if (!digestLen)
        return -1;
    const uint32_t capacity = *digestLen;
    *digestLen = CSha1::kDigestLen;
    if (capacity < CSha1::kDigestLen || !digest || (!data && len != 0))
        return -1;
    CSha1 sha;
    if (len)
        sha.Update(data, len);
    sha.Update(kSalt, sizeof(kSalt));
    // Only the 20 digest bytes reach the caller's buffer, whatever its capacity.
    uint8_t out[CSha1::kDigestLen];
    sha.Final(out);
    memcpy(digest, out, sizeof(out));
    return 0;
}
