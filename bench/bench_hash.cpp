// The salted hash against OpenSSL's SHA-1 over the same input and salt.
#define OPENSSL_SUPPRESS_DEPRECATED  // SHA1_Init and friends: OpenSSL's leanest SHA-1 path
#include "bench.h"
#include "qxnetengine/hash/hashcode.h"

#include <openssl/sha.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void OpenSslHash(const std::vector<uint8_t>& data, uint8_t* digest)
{
    SHA_CTX ctx;
    SHA1_Init(&ctx);
    SHA1_Update(&ctx, data.data(), data.size());
    SHA1_Update(&ctx, "mq_flute", 8);
    SHA1_Final(digest, &ctx);
}

}  // namespace

void RegisterHashBenchmarks()
{
    for (size_t len : {64, 1024, 16384}) {
        std::vector<uint8_t> data(len);
        for (size_t i = 0; i < len; ++i) data[i] = static_cast<uint8_t>(i * 7);
        uint8_t a[20], b[20];
        uint32_t dlen = 20;
        ComputeHashCode(data.data(), static_cast<uint32_t>(len), a, &dlen);
        OpenSslHash(data, b);
        if (std::memcmp(a, b, 20) != 0) {
            std::fprintf(stderr, "OpenSSL's SHA-1 disagrees with the hash export\n");
            std::exit(1);
        }
        RegisterPair(
            "Hash SHA-1", SizeText(len),
            [data, len](benchmark::State& st) {
                uint8_t d[20];
                for (auto _ : st) {
                    uint32_t dl = 20;
                    ComputeHashCode(data.data(), static_cast<uint32_t>(len), d, &dl);
                    benchmark::DoNotOptimize(d);
                }
                st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) *
                                     static_cast<int64_t>(len));
            },
            [data, len](benchmark::State& st) {
                uint8_t d[20];
                for (auto _ : st) {
                    OpenSslHash(data, d);
                    benchmark::DoNotOptimize(d);
                }
                st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) *
                                     static_cast<int64_t>(len));
            },
            "OpenSSL SHA1");
    }
}
