#include "platform/time.h"

#include <windows.h>

namespace qxplat {

void GetLocalTimeNow(TLocalTime* t)
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    *t = TLocalTime{st.wYear,   st.wMonth,  st.wDay,         st.wHour,
                    st.wMinute, st.wSecond, st.wMilliseconds};
}

uint32_t TickCountMs() { return GetTickCount(); }

}  // namespace qxplat
