#include "servermodules.h"

bool CResInfoDispSvr::OnMsg(const char* body, unsigned int len)
{
    uint16_t id = 0;
    if (!ReadMsgId(body, len, &id) || id != 1)
        return false;
    return RecvMsg(this, &CResInfoDispSvr::OnRecv_GetResInfoSvrAddr,
                   "CResInfoDispSvr::OnRecv_GetResInfoSvrAddr", body + 4, len - 4);
}

bool CResInfoInnerSvr::OnMsg(const char* body, unsigned int len)
{
    uint16_t id = 0;
    if (!ReadMsgId(body, len, &id))
        return false;
    switch (id) {
    case 1:
        return RecvMsg(this, &CResInfoInnerSvr::OnRecv_GetVersionList,
                       "CResInfoInnerSvr::OnRecv_GetVersionList", body + 4, len - 4);
    case 2:
        return RecvMsg(this, &CResInfoInnerSvr::OnRecv_GetFile, "CResInfoInnerSvr::OnRecv_GetFile",
                       body + 4, len - 4);
    default: return false;
    }
}
