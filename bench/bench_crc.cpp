// CRC-32 against zlib's crc32.
#include "bench.h"
#include "common/crc/crc32.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

void RegisterCrcBenchmarks()
{
    for (size_t len : {16, 64, 256, 1024, 4096, 16384, 1 << 20}) {
        std::vector<uint8_t> data(len);
        for (size_t i = 0; i < len; ++i) data[i] = static_cast<uint8_t>(i * 13 + 5);
        if (Crc32Buffer(data.data(), static_cast<uint32_t>(len), 0xFFFFFFFFu, false) !=
            crc32(0L, data.data(), static_cast<uInt>(len))) {
            std::fprintf(stderr, "zlib's crc32 disagrees with Crc32Buffer\n");
            std::exit(1);
        }
        RegisterPair(
            "CRC-32", SizeText(len),
            [data, len](benchmark::State& st) {
                for (auto _ : st)
                    benchmark::DoNotOptimize(
                        Crc32Buffer(data.data(), static_cast<uint32_t>(len), 0xFFFFFFFFu, false));
                st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) *
                                     static_cast<int64_t>(len));
            },
            [data, len](benchmark::State& st) {
                for (auto _ : st)
                    benchmark::DoNotOptimize(crc32(0L, data.data(), static_cast<uInt>(len)));
                st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) *
                                     static_cast<int64_t>(len));
            },
            "zlib crc32");
    }
}
