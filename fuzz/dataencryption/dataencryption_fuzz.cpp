// CDataEncryption::Decrypt on arbitrary cipher text (a gate frame's payload),
// and the round trip of arbitrary messages. The input is a key-size selector,
// 32 key bytes, then the bytes to work on.
#include "common/dataencryption/dataencryption.h"
#include "support/fuzzcheck.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 33)
        return 0;
    static const int kKeyLens[] = {16, 24, 32};
    CDataEncryption crypto;
    FUZZ_CHECK(crypto.SetKey(data + 1, kKeyLens[data[0] % 3]));
    const std::string bytes(reinterpret_cast<const char*>(data + 33), size - 33);

    // Whatever the bytes, the message inside is never longer than they are.
    const std::string plain = crypto.Decrypt(bytes);
    FUZZ_CHECK(plain.empty() || plain.size() + 4 <= bytes.size());

    const std::string cipher = crypto.Encrypt(bytes);
    FUZZ_CHECK(cipher.size() == (bytes.size() + 4 + 15) / 16 * 16);
    FUZZ_CHECK(crypto.Decrypt(cipher) == bytes);

    const std::string segments = bytes.substr(0, bytes.size() / 16 * 16);
    FUZZ_CHECK(crypto.DecryptSegments(crypto.EncryptSegments(segments)) == segments);
    return 0;
}
