// qxrefservers: the reference servers on 127.0.0.1, for developing and
// testing a game against the engine without the production servers.
//
//   qxrefservers [--disp[=PORT]] [--gate[=PORT]] [--resinfo[=PORT]] [--game[=PORT]]
//                [--packages DIR] [--notice CODE,VALUE | --too-old] [--faults N]
//                [--quiet]
//
// With no server named, all four start. A port of 0 or none lets the system
// choose. The first line of output names the ports:
//   qxrefservers ready: disp=P gate=P resinfo=P game=P
// Then one line per message (none with --quiet). The servers run until
// standard input ends.
// --faults N: every N-th connection of the gate, resource and game servers
// misbehaves on purpose (closes mid-frame, sends garbage, stalls).
#include "platform/paths.h"
#include "platform/thread.h"
#include "platform/wnd.h"
#include "testkit/untilinputends.h"
#include "reflog.h"
#include "refservers.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {


bool PortOption(const char* arg, const char* name, int* port)
{
    size_t n = strlen(name);
    if (strncmp(arg, name, n) != 0 || (arg[n] != '\0' && arg[n] != '='))
        return false;
    *port = arg[n] == '=' ? atoi(arg + n + 1) : 0;
    return true;
}

int Usage()
{
    fprintf(stderr,
            "usage: qxrefservers [--disp[=PORT]] [--gate[=PORT]] [--resinfo[=PORT]] "
            "[--game[=PORT]]\n"
            "                    [--packages DIR] [--notice CODE,VALUE | --too-old] "
            "[--faults N] [--quiet]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    TRefServersConfig config;
    bool any = false;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (PortOption(a, "--disp", &config.dispPort) ||
            PortOption(a, "--gate", &config.gatePort) ||
            PortOption(a, "--resinfo", &config.resInfoPort) ||
            PortOption(a, "--game", &config.gamePort)) {
            any = true;
        } else if (strcmp(a, "--packages") == 0 && i + 1 < argc) {
            config.packageDir = argv[++i];
        } else if (strcmp(a, "--notice") == 0 && i + 1 < argc) {
            unsigned long code = 0;
            long value = 0;
            if (sscanf(argv[++i], "%lu,%ld", &code, &value) != 2)
                return Usage();
            config.disp.answer = TDispConfig::kNotice;
            config.disp.noticeCode = static_cast<uint32_t>(code);
            config.disp.noticeValue = static_cast<int32_t>(value);
        } else if (strcmp(a, "--faults") == 0 && i + 1 < argc) {
            config.faultEvery = atoi(argv[++i]);
        } else if (strcmp(a, "--quiet") == 0) {
            SetRefLogQuiet(true);
        } else if (strcmp(a, "--too-old") == 0) {
            config.disp.answer = TDispConfig::kTooOld;
        } else {
            return Usage();
        }
    }
    if (!any)
        config.dispPort = config.gatePort = config.resInfoPort = config.gamePort = 0;
    if (config.resInfoPort >= 0 && config.packageDir.empty())
        config.packageDir = ".";

    CRefServers servers;
    if (!servers.Start(config)) {
        fprintf(stderr, "qxrefservers: a server could not start (port in use?)\n");
        return 1;
    }
    printf("qxrefservers ready: %s\n", servers.PortsLine().c_str());
    fflush(stdout);

    // Whoever started the servers stops them by closing their input.
    PumpUntilInputEnds();
    servers.Stop();
    printf("qxrefservers stopped\n");
    return 0;
}
