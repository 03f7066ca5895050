#include "support/fuzzenv.h"

#include "common/msgsocket/msgsocket.h"
#include "common/syncwnd/msgsyncwnd.h"
#include "qxnetengine/log/logfile.h"

void FuzzInitEngineEnv()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    // The first call names the log; a directory that does not exist makes
    // every write fail quietly.
    GetLog("no-log-while-fuzzing/NetLog");
    InitSockWnd(nullptr);
    CMsgSyncWnd::Instance().Create(nullptr);
}
