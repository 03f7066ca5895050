// A game that links the installed library directly (no LoadLibrary/dlopen).
#include <QXNetEngine.h>

#include <cstdio>

int main()
{
    unsigned char digest[32];
    unsigned int digestLen = sizeof digest;
    const int rc = QXNetEngine_GetHashCode("abc", 3, digest, &digestLen);
    std::printf("QXNetEngine_GetHashCode: %d, %u bytes\n", rc, digestLen);
    return rc == 0 && digestLen == 20 ? 0 : 1;
}
