#pragma once
// Shared by the cipher tests: a fixture that runs a test once per AES
// implementation (the AES-NI run is skipped on a processor without it), and
// small byte-string helpers (hex text is read with Hex from support/hexbytes.h).

#include "common/dataencryption/aes.h"
#include "support/hexbytes.h"

#include <gtest/gtest.h>

#include <string>

class AesImpl : public ::testing::TestWithParam<EAesImpl> {
protected:
    void SetUp() override
    {
        m_Saved = AesActiveImpl();
        if (!AesUseImpl(GetParam()))
            GTEST_SKIP() << "no AES-NI on this processor";
    }
    void TearDown() override { AesUseImpl(m_Saved); }

private:
    EAesImpl m_Saved = kAesTable;
};

inline std::string AesImplName(const ::testing::TestParamInfo<EAesImpl>& info)
{
    return info.param == kAesNi ? "AesNi" : "Table";
}

#define QX_INSTANTIATE_AES_IMPLS(fixture) \
    INSTANTIATE_TEST_SUITE_P(Impl, fixture, ::testing::Values(kAesTable, kAesNi), AesImplName)

// Bytes 0, 1, 2, ... as a key of len bytes.
inline std::string CountingKey(int len, int first = 0)
{
    std::string key;
    for (int i = 0; i < len; ++i) key.push_back(static_cast<char>(first + i));
    return key;
}

inline const unsigned char* U8(const std::string& s)
{
    return reinterpret_cast<const unsigned char*>(s.data());
}
