// Encrypt and Decrypt against the same composite built from OpenSSL's EVP
// calls: RC4 (legacy provider) re-keyed for every message, then AES-256-ECB.
#include "bench.h"
#include "common/dataencryption/dataencryption.h"
#include "opensslcipher.h"

#include <cstdio>
#include <cstdlib>

namespace {

const unsigned char kKey[32] = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87, 0x98, 0xA9, 0xBA,
                                0xCB, 0xDC, 0xED, 0xFE, 0x0F, 0x01, 0x12, 0x23, 0x34, 0x45, 0x56,
                                0x67, 0x78, 0x89, 0x9A, 0xAB, 0xBC, 0xCD, 0xDE, 0xEF, 0xF0};

std::string Message(size_t len)
{
    std::string m(len, '\0');
    for (size_t i = 0; i < len; ++i) m[i] = static_cast<char>(i * 131 + 17);
    return m;
}

CDataEncryption& Ours()
{
    static CDataEncryption enc;
    static bool keyed = enc.SetKey(kKey, 32);
    (void)keyed;
    return enc;
}

COpenSslGateCipher& Theirs()
{
    static COpenSslGateCipher ossl(kKey);
    return ossl;
}

template <typename Fn>
void Run(benchmark::State& state, size_t len, Fn fn)
{
    for (auto _ : state) {
        std::string out = fn();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(len));
}

}  // namespace

void RegisterDataEncryptionBenchmarks()
{
    if (Theirs().Encrypt("check") != Ours().Encrypt("check") ||
        Theirs().Decrypt(Ours().Encrypt(Message(1000))) != Message(1000)) {
        std::fprintf(stderr, "the OpenSSL composite disagrees with CDataEncryption\n");
        std::exit(1);
    }
    for (size_t len : {16, 64, 1024, 16384}) {
        const std::string size = SizeText(len);
        const std::string m = Message(len);
        const std::string c = Ours().Encrypt(m);
        RegisterPair(
            "Encrypt", size,
            [m, len](benchmark::State& st) { Run(st, len, [&] { return Ours().Encrypt(m); }); },
            [m, len](benchmark::State& st) { Run(st, len, [&] { return Theirs().Encrypt(m); }); },
            "OpenSSL EVP RC4+AES-256-ECB");
        RegisterPair(
            "Decrypt", size,
            [c, len](benchmark::State& st) { Run(st, len, [&] { return Ours().Decrypt(c); }); },
            [c, len](benchmark::State& st) { Run(st, len, [&] { return Theirs().Decrypt(c); }); },
            "OpenSSL EVP RC4+AES-256-ECB");
    }
}
