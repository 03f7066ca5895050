#include "common/dataencryption/rc4.h"

#include <cstring>

void Rc4Schedule(const uint8_t* key, size_t len, TRc4State* st)
{
    for (int i = 0; i < 256; ++i) st->s[i] = static_cast<uint8_t>(i);
    uint8_t j = 0;
    for (size_t i = 0; i < 256; ++i) {
        uint8_t x = st->s[i];
        j = static_cast<uint8_t>(j + x + key[i % len]);
        st->s[i] = st->s[j];
        st->s[j] = x;
    }
}

void Rc4Xor(const TRc4State& init, uint8_t* data, size_t len)
{
    TRc4State st;
    memcpy(&st, &init, sizeof(st));
    uint8_t* s = st.s;
    uint8_t i = 0, j = 0;
    for (size_t n = 0; n < len; ++n) {
        i = static_cast<uint8_t>(i + 1);
        uint8_t x = s[i];
        j = static_cast<uint8_t>(j + x);
        uint8_t y = s[j];
        s[i] = y;
        s[j] = x;
        data[n] ^= s[static_cast<uint8_t>(x + y)];
    }
}
