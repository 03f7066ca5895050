// Writes a corpus of key-block transforms in C, reproducible from a seed:
// kr_<n>.c (one routine each), kr_corpus.h (helpers and prototypes) and
// kr_native.c (a table of cdecl thunks for the natively compiled routines).
//
// The C is free of undefined and implementation-defined behaviour: unsigned
// arithmetic, signed values built arithmetically (never by conversion of an
// out-of-range value), no signed shifts, divisors that cannot be zero or give
// INT_MIN / -1. It needs no calls, no static data and no 64-bit division.
// Loops that compilers vectorise take their operands from the block, the
// parameter or values computed at run time, never from constants: a vector
// constant would land in a data section, and a routine is only its code.
//
// usage: corpusgen <seed> <count> <output dir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

class CRng {
public:
    explicit CRng(uint64_t seed) : m_nState(seed) {}

    uint64_t Next()  // splitmix64
    {
        uint64_t z = (m_nState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
    uint32_t Range(uint32_t lo, uint32_t hi) { return lo + Below(hi - lo + 1); }
    bool Chance(uint32_t percent) { return Below(100) < percent; }

private:
    uint64_t m_nState;
};

std::string Hex(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof(buf), "0x%08Xu", static_cast<unsigned>(v));
    return buf;
}

std::string Dec(uint32_t v) { return std::to_string(v); }

// Statement templates. $A is the destination, $B and $C sources, $K a 32-bit
// constant, $k a shift of 1..31, $m a mask, $d an unsigned divisor, $s a
// signed divisor, $h a 16-bit rotate, $c an 8-bit rotate, $b a byte lane
// shift, $j a fresh loop variable name, $S a nested statement.
const char* const kTemplates[] = {
    "$A ^= ROTL32($B, $k);",
    "$A += ROTL32V($B, $C);",
    "$A = $A * $K + $B;",
    "$A ^= $B / (($C & 0xFFFFu) | 1u);",
    "$A += $B % ($C | 1u);",
    "$A ^= (uint32_t)(S32($B) / ((int32_t)($C & 0x7FFu) + 1));",
    "$A += (uint32_t)(S32($B) % (-(int32_t)($C & 0x3FFu) - 2));",
    "$A -= $B / $du;",
    "$A ^= (uint32_t)(S32($B) / $s);",
    "$A += (uint32_t)(S32($B) % $s);",
    "{ uint64_t m = (uint64_t)$A * $B; $A = (uint32_t)m ^ (uint32_t)(m >> 32); }",
    "{ int64_t m = (int64_t)S32($A) * S32($B); $A ^= (uint32_t)((uint64_t)m >> $k); }",
    "{ uint64_t q = ((uint64_t)$A << 32) | $B; uint32_t s = $C & 63u; "
    "q = (q << s) | (q >> ((64u - s) & 63u)); $A = (uint32_t)q; $B ^= (uint32_t)(q >> 32); }",
    "{ uint64_t q = (((uint64_t)$A << 32) | $B) + (((uint64_t)$C << 32) | $K); "
    "$A = (uint32_t)(q >> 32); $B ^= (uint32_t)q; }",
    "{ uint64_t q = (((uint64_t)$A << 32) | $B) - ((uint64_t)$C * $K); $A ^= (uint32_t)(q >> 29); "
    "}",
    "{ uint64_t q = ((uint64_t)$B << ($C & 31u)) ^ ((uint64_t)$A >> ($k)); $A += (uint32_t)(q >> "
    "17); }",
    "$A = ($B & $m) ? $C : $A + $K;",
    "$A += ($B < $C);",
    "$A ^= (uint32_t)(S32($B) <= S32($C)) << $k;",
    "$A += (S16($B) > S16($C)) ? $K : $C;",
    "$A += ((uint8_t)$B > (uint8_t)$C) ? 1u : 2u;",
    "$A ^= t[$B & 15u];",
    "t[$A & 15u] = (uint8_t)(t[$A & 15u] + $B);",
    "{ uint16_t h = (uint16_t)$A; h = (uint16_t)(h * $Ku + (uint16_t)$B); "
    "h = (uint16_t)((h << $h) | (h >> (16 - $h))); $A = ($A & 0xFFFF0000u) | h; }",
    "{ uint8_t c = (uint8_t)($A >> $b); c = (uint8_t)((c << $c) | (c >> (8 - $c))); "
    "c = (uint8_t)(c + t[c & 15u]); $A ^= (uint32_t)c << $b; }",
    "$A += (uint32_t)S8($B) * $K;",
    "$A ^= (uint32_t)S16($B >> $k);",
    "$A ^= (uint32_t)(uint16_t)$B * (uint16_t)$C;",
    "$A = __builtin_bswap32($A) ^ $B;",
    "{ uint32_t cell = $A; uint32_t old = __sync_val_compare_and_swap(&cell, ($B & 1u) ? $A : $B, "
    "$C); $A = cell + old * 3u; }",
    "{ uint32_t cell = $A; $A = __atomic_fetch_add(&cell, $B, __ATOMIC_SEQ_CST) ^ (cell << $k); }",
    "{ uint64_t q = (((uint64_t)$A << 32) | $B) * ((((uint64_t)$C) << 32) | $K); "
    "$A ^= (uint32_t)(q >> 32); $B += (uint32_t)q; }",
    "{ uint64_t q = ((uint64_t)$A << 32) | $B; q ^= q >> $k; q += q << 13; "
    "$A = (uint32_t)(q >> 32) ^ (uint32_t)q; }",
    "{ uint16_t h = (uint16_t)$B; h = (uint16_t)(h / (uint16_t)(($C & 0xFFu) | 1u)); $A += h; }",
    "{ uint8_t c = (uint8_t)$B; c = (uint8_t)(c % (uint8_t)(($C & 0x0Fu) | 1u)); $A ^= c; }",
    "{ uint32_t n = $B & 7u; while (n--) { $A = ROTL32($A, 3) ^ $C; } }",
    "{ uint32_t v = $B | 0x80000000u, k = 0; while (!(v & 1u)) { v >>= 1; k++; } $A += k; }",
    "{ uint32_t v = $B | 1u, k = 0; while (!(v & 0x80000000u)) { v <<= 1; k++; } $A ^= k << $k; }",
    "if ($A & (1u << ($B & 31u))) { $A ^= $K; } else { $A += $C; }",
    "$A = (($A >> 24) | (($A >> 8) & 0xFF00u) | (($A << 8) & 0xFF0000u) | ($A << 24)) ^ $B;",
    "$A = $A < $B ? $A : $B + $K;",
    "{ int32_t sv = S32($A); $A = (sv < 0 ? (uint32_t)0 - $A : $A) ^ $B; }",
    "$A ^= $B >> ($C & 31u);",
    "$A += $B << ($C & 31u);",
    "$A = ~$A + ($B ^ $K);",
    "$A -= -$B;",
    "if (($B & 3u) == 0) { $S } else if (($B & 3u) == 1) { $S } else { $S }",
    "if (S32($A) > S32($B)) { $S } else { $S }",
    "if ($A > $B && ($C & 1u)) { $S }",
    "for (uint32_t $j = 0; $j < 4u; $j++) { if ((($A >> $j) & 3u) == ($B & 3u)) { break; } "
    "$A = $A * 5u + $j; }",
    "for (uint32_t $j = 0; $j < ($B & 3u) + 1u; $j++) { $S }",
};
const size_t kTemplateCount = sizeof(kTemplates) / sizeof(kTemplates[0]);

class CRoutineWriter {
public:
    CRoutineWriter(CRng* rng) : m_pRng(rng) {}

    std::string Routine(const std::string& name, bool stdcall)
    {
        std::ostringstream s;
        s << "/* generated by corpusgen */\n#include \"kr_corpus.h\"\n\n";
        s << "void " << (stdcall ? "KR_STDCALL " : "") << name << "(uint8_t* b, uint8_t p)\n{\n";
        for (int i = 0; i < 4; ++i) {
            s << "    uint32_t w" << i << " = (uint32_t)b[" << 4 * i << "] | ((uint32_t)b["
              << 4 * i + 1 << "] << 8) | ((uint32_t)b[" << 4 * i + 2 << "] << 16) | ((uint32_t)b["
              << 4 * i + 3 << "] << 24);\n";
        }
        s << "    uint32_t x = p * " << Hex(Odd()) << " + " << Hex(K()) << ";\n";
        s << "    uint8_t t[16];\n";
        s << "    for (uint32_t i = 0; i < 16u; i++) {\n        t[i] = (uint8_t)(b[i] ^ "
             "(uint8_t)(p * "
          << Dec(m_pRng->Range(1, 255)) << "u + x));\n    }\n";
        s << "    t[x & 15u] = (uint8_t)(t[x & 15u] + " << Dec(m_pRng->Range(1, 255)) << "u);\n";
        if (m_pRng->Chance(50)) {
            // Eight constant bytes in one immediate rather than an array in data.
            s << "    for (uint32_t i = 0; i < 8u; i++) {\n"
              << "        t[(i * 3u + x) & 15u] ^= (uint8_t)(0x" << std::hex << m_pRng->Next()
              << std::dec << "ull >> (8u * ((i + p) & 7u)));\n    }\n";
        }
        if (m_pRng->Chance(40)) {
            s << BytePass();
        }
        for (uint32_t n = m_pRng->Below(3); n > 0; --n) {
            s << VectorPass();
        }
        const std::string rounds =
            m_pRng->Chance(50) ? Dec(m_pRng->Range(1, 4)) + "u" : "2u + (p & 3u)";
        s << "    for (uint32_t r = 0; r < " << rounds << "; r++) {\n";
        const uint32_t n = m_pRng->Range(5, 12);
        for (uint32_t i = 0; i < n; ++i) {
            s << "        " << Statement(0) << "\n";
        }
        s << "    }\n";
        s << "    w" << m_pRng->Below(4) << " ^= x;\n";
        s << "    w" << m_pRng->Below(4) << " += t[x & 15u];\n";
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j) {
                s << "    b[" << 4 * i + j << "] = (uint8_t)(w" << i;
                if (j) {
                    s << " >> " << 8 * j;
                }
                s << ");\n";
            }
        }
        s << BytePass();
        if (m_pRng->Chance(50)) {
            s << VectorPass();
        }
        s << "}\n";
        return s.str();
    }

private:
    uint32_t K() { return static_cast<uint32_t>(m_pRng->Next()); }
    uint32_t Odd() { return K() | 1; }

    std::string Dest()
    {
        static const char* const vars[] = {"w0", "w1", "w2", "w3", "x"};
        return vars[m_pRng->Below(5)];
    }

    std::string Source()
    {
        static const char* const vars[] = {"w0", "w1", "w2", "w3", "x", "r"};
        return vars[m_pRng->Below(6)];
    }

    std::string SignedDivisor()
    {
        static const int32_t divisors[] = {3, 7, 10, 16, 100, 255, -3, -9, -64, 1000};
        const int32_t d = divisors[m_pRng->Below(10)];
        return d < 0 ? "(" + std::to_string(d) + ")" : std::to_string(d);
    }

    std::string Statement(int depth)
    {
        std::string t;
        do {
            t = kTemplates[m_pRng->Below(kTemplateCount)];
        } while (depth >= 2 && t.find("$S") != std::string::npos);
        // Distinct operands: a comparison of a variable with itself would not build.
        const std::string a = Dest();
        std::string b;
        std::string c;
        do {
            b = Source();
        } while (b == a);
        do {
            c = Source();
        } while (c == a || c == b);
        std::string loopVar;
        std::string out;
        for (size_t i = 0; i < t.size(); ++i) {
            if (t[i] != '$' || i + 1 >= t.size()) {
                out += t[i];
                continue;
            }
            const char ph = t[++i];
            switch (ph) {
            case 'A': out += a; break;
            case 'B': out += b; break;
            case 'C': out += c; break;
            case 'K': out += Hex(K()); break;
            case 'k': out += Dec(m_pRng->Range(1, 31)); break;
            case 'm': out += Hex(1u << m_pRng->Below(32)); break;
            case 'd': out += Dec(m_pRng->Range(3, 1000)); break;
            case 's': out += SignedDivisor(); break;
            case 'h': out += Dec(m_pRng->Range(1, 15)); break;
            case 'c': out += Dec(m_pRng->Range(1, 7)); break;
            case 'b': out += Dec(8 * m_pRng->Below(4)); break;
            case 'j':
                // one fresh name per template instance
                if (loopVar.empty()) {
                    loopVar = "j" + std::to_string(m_nLoopVars++);
                }
                out += loopVar;
                break;
            case 'S': out += Statement(depth + 1); break;
            default:
                out += '$';
                out += ph;
                break;
            }
        }
        // "Ku" would read as a constant followed by u: the constant already has one.
        for (size_t at; (at = out.find("uu")) != std::string::npos;) {
            out.erase(at, 1);
        }
        return out;
    }

    std::string BytePass()
    {
        switch (m_pRng->Below(4)) {
        case 0:
            return "    for (uint32_t i = 0; i < 16u; i++) {\n        b[i] = (uint8_t)(b[i] ^ "
                   "t[(b[(i + " +
                   Dec(m_pRng->Range(1, 15)) + "u) & 15u] + i) & 15u]);\n    }\n";
        case 1:
            return "    for (uint32_t i = 1; i < 16u; i++) {\n        b[i] = (uint8_t)(b[i] + "
                   "b[i - 1] * " +
                   Dec(m_pRng->Range(3, 255) | 1) + "u);\n    }\n";
        case 2:
            return "    for (uint32_t i = 0; i < 8u; i++) {\n        uint8_t c = b[i];\n"
                   "        b[i] = b[i + 8u];\n        b[i + 8u] = (uint8_t)(c ^ p ^ "
                   "t[i]);\n    }\n";
        default:
            return "    for (uint32_t i = 0; i < 16u; i += 2) {\n"
                   "        uint16_t h = (uint16_t)(b[i] | (b[i + 1] << 8));\n"
                   "        h = (uint16_t)((h * (uint16_t)(x | " +
                   Dec(m_pRng->Range(3, 65535) | 1) +
                   "u)) ^ (h >> 7) ^ t[i]);\n"
                   "        b[i] = (uint8_t)h;\n        b[i + 1] = (uint8_t)(h >> 8);\n    }\n";
        }
    }

    // Loops over the whole block that compilers turn into SIMD code.
    std::string VectorPass()
    {
        const std::string k = Dec(m_pRng->Range(1, 7));
        switch (m_pRng->Below(10)) {
        case 0:
            return "    for (uint32_t i = 0; i < 16u; i++) {\n        b[i] = (uint8_t)(b[i] ^ "
                   "t[i]);\n    }\n";
        case 1:
            return "    for (uint32_t i = 0; i < 16u; i++) {\n        t[i] = b[i] > t[i] ? b[i] : "
                   "t[i];\n        b[i] = (uint8_t)((b[i] < t[i] ? b[i] : t[i]) + p);\n    }\n";
        case 2:
            return "    for (uint32_t i = 0; i < 16u; i++) {\n        b[i] = (uint8_t)((b[i] + "
                   "t[i] "
                   "+ 1u) >> 1);\n    }\n";
        case 3:
            return "    {\n        uint32_t s = 0;\n        for (uint32_t i = 0; i < 16u; i++) {\n"
                   "            s += b[i] > t[i] ? (uint32_t)(b[i] - t[i]) : (uint32_t)(t[i] - "
                   "b[i]);\n        }\n        x ^= s;\n    }\n";
        case 4:
            return "    for (uint32_t i = 0; i < 16u; i++) {\n        uint32_t s = (uint32_t)b[i] "
                   "+ "
                   "t[i];\n        b[i] = (uint8_t)(S8(b[i]) > S8(t[i]) ? (s > 255u ? 255u : s) : "
                   "(uint32_t)(b[i] ^ t[i]));\n    }\n";
        case 5:
            return "    {\n        uint16_t h[8];\n        for (uint32_t i = 0; i < 8u; i++) {\n"
                   "            h[i] = (uint16_t)(b[2u * i] | (b[2u * i + 1u] << 8));\n        }\n"
                   "        for (uint32_t i = 0; i < 8u; i++) {\n            h[i] = "
                   "(uint16_t)((h[i] "
                   "* (uint16_t)x) ^ (h[i] >> " +
                   k +
                   "));\n        }\n        for (uint32_t i = 0; i < 8u; i++) {\n"
                   "            b[2u * i] = (uint8_t)h[i];\n            b[2u * i + 1u] = "
                   "(uint8_t)(h[i] >> 8);\n        }\n    }\n";
        case 6:
            return "    {\n        uint32_t v[4];\n        for (uint32_t i = 0; i < 4u; i++) {\n"
                   "            v[i] = (uint32_t)b[4u * i] | ((uint32_t)b[4u * i + 1u] << 8) | "
                   "((uint32_t)b[4u * i + 2u] << 16) | ((uint32_t)b[4u * i + 3u] << 24);\n        "
                   "}\n"
                   "        for (uint32_t i = 0; i < 4u; i++) {\n            v[i] = v[i] * (x | "
                   "1u) + "
                   "(v[3u - i] >> " +
                   k +
                   ");\n        }\n        for (uint32_t i = 0; i < 4u; i++) {\n"
                   "            b[4u * i] = (uint8_t)v[i];\n            b[4u * i + 1u] = "
                   "(uint8_t)(v[i] >> 8);\n            b[4u * i + 2u] = (uint8_t)(v[i] >> 16);\n"
                   "            b[4u * i + 3u] = (uint8_t)(v[i] >> 24);\n        }\n    }\n";
        case 7:
            return "    {\n        uint64_t d[2];\n        for (uint32_t i = 0; i < 2u; i++) {\n"
                   "            d[i] = 0;\n            for (uint32_t j = 0; j < 8u; j++) {\n"
                   "                d[i] |= (uint64_t)b[8u * i + j] << (8u * j);\n            }\n"
                   "        }\n        for (uint32_t i = 0; i < 2u; i++) {\n            d[i] += "
                   "(d[i] << " +
                   k +
                   ") ^ ((uint64_t)x << 32 | p);\n        }\n        for (uint32_t i = 0; i < 16u; "
                   "i++) {\n            b[i] = (uint8_t)(d[i >> 3] >> (8u * (i & 7u)));\n        "
                   "}\n"
                   "    }\n";
        case 8:
            return "    for (uint32_t i = 0; i < 16u; i++) {\n        t[i] = (uint8_t)(t[i] + b[i] "
                   "- "
                   "(uint8_t)x);\n    }\n";
        default:
            return "    for (uint32_t i = 0; i < 16u; i++) {\n        uint32_t d = (uint32_t)t[i] "
                   "- "
                   "b[i];\n        b[i] = (uint8_t)(t[i] > b[i] ? d : 0u);\n    }\n";
        }
    }

    CRng* m_pRng;
    unsigned m_nLoopVars = 0;
};

const char kHeader[] =
    "/* generated by corpusgen */\n"
    "#ifndef KR_CORPUS_H\n#define KR_CORPUS_H\n\n#include <stdint.h>\n\n"
    "#if defined(__i386__)\n#define KR_STDCALL __attribute__((stdcall))\n#else\n"
    "#define KR_STDCALL\n#endif\n\n"
    "#define ROTL32(v, k) (((v) << (k)) | ((v) >> (32 - (k))))\n"
    "#define ROTL32V(v, n) (((v) << ((n) & 31u)) | ((v) >> ((32u - ((n) & 31u)) & 31u)))\n"
    "/* two's complement value of a u32, u16 or u8 without an out-of-range conversion */\n"
    "#define S32(v) (((v) >> 31) ? (int32_t)((v) & 0x7FFFFFFFu) - INT32_MAX - 1 : (int32_t)(v))\n"
    "#define S16(v) ((int32_t)((v) & 0x7FFFu) - (int32_t)((v) & 0x8000u))\n"
    "#define S8(v) ((int32_t)((v) & 0x7Fu) - (int32_t)((v) & 0x80u))\n\n";

bool WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream f(path, std::ios::binary);
    f << text;
    return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "usage: corpusgen <seed> <count> <output dir>\n";
        return 2;
    }
    const uint64_t seed = std::strtoull(argv[1], nullptr, 10);
    const int count = std::atoi(argv[2]);
    const std::string dir = argv[3];
    CRng rng(seed);
    std::string header = kHeader;
    std::string native = "/* generated by corpusgen */\n#include \"kr_corpus.h\"\n\n";
    std::string table =
        "typedef void (*kr_thunk_fn)(uint8_t*, uint8_t);\n"
        "const kr_thunk_fn kr_thunks[] = {\n";
    for (int i = 0; i < count; ++i) {
        const std::string name = "kr_" + std::to_string(i);
        const bool stdcall = rng.Chance(25);
        CRoutineWriter writer(&rng);
        if (!WriteFile(dir + "/" + name + ".c", writer.Routine(name, stdcall))) {
            std::cerr << "cannot write " << dir << "/" << name << ".c\n";
            return 1;
        }
        header += std::string("void ") + (stdcall ? "KR_STDCALL " : "") + name +
                  "(uint8_t* b, uint8_t p);\n";
        native += "static void thunk_" + std::to_string(i) + "(uint8_t* b, uint8_t p)\n{\n    " +
                  name + "(b, p);\n}\n";
        table += "    thunk_" + std::to_string(i) + ",\n";
    }
    header += "\n#endif\n";
    native +=
        "\n" + table + "};\nconst unsigned kr_thunk_count = " + std::to_string(count) + "u;\n";
    if (!WriteFile(dir + "/kr_corpus.h", header) || !WriteFile(dir + "/kr_native.c", native)) {
        std::cerr << "cannot write into " << dir << "\n";
        return 1;
    }
    return 0;
}
