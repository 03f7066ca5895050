// qxchaosproxy: a proxy on 127.0.0.1 that spoils the traffic between a game
// and its servers on purpose, to see the engine on a bad network.
//
//   qxchaosproxy [--target PORT] [--tcp-target PORT] [--udp-target PORT]
//                [--tcp[=PORT]] [--udp[=PORT]] [--profile NAME] [--FIELD=VALUE ...]
//                [--seed N] [--verbose]
//
// --target proxies TCP and UDP to the same port (the dispatch server takes
// both). Ports not given are chosen by the system. The first line names them:
//   qxchaosproxy ready: tcp=P udp=P
// With --verbose one line per drop, duplicate, hold-back, reset or stall.
// The proxy runs until standard input ends.
#include "chaosproxy.h"
#include "platform/thread.h"
#include "platform/wnd.h"
#include "testkit/untilinputends.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {


bool PortOption(const char* arg, const char* name, unsigned short* port)
{
    size_t n = strlen(name);
    if (strncmp(arg, name, n) != 0 || (arg[n] != '\0' && arg[n] != '='))
        return false;
    *port = static_cast<unsigned short>(arg[n] == '=' ? atoi(arg + n + 1) : 0);
    return true;
}

int Usage()
{
    fprintf(stderr,
            "usage: qxchaosproxy [--target PORT] [--tcp-target PORT] [--udp-target PORT]\n"
            "                    [--tcp[=PORT]] [--udp[=PORT]] [--profile NAME] "
            "[--[up-|down-]FIELD=VALUE ...]\n"
            "                    [--seed N] [--verbose]\n"
            "profiles: %s\nfields:\n%s\n",
            ChaosProfileNames(), ChaosFieldNames());
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    TChaosConfig config;
    bool verbose = false;
    // The profile first, so fields given one by one change it wherever they stand.
    for (int i = 1; i + 1 < argc; ++i) {
        if (strcmp(argv[i], "--profile") == 0 && !ChaosNamedProfile(argv[i + 1], &config.profile)) {
            fprintf(stderr, "qxchaosproxy: no profile named %s\n", argv[i + 1]);
            return Usage();
        }
    }
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (strcmp(a, "--profile") == 0 && i + 1 < argc) {
            ++i;
        } else if (strcmp(a, "--target") == 0 && i + 1 < argc) {
            config.tcpTarget = config.udpTarget = static_cast<unsigned short>(atoi(argv[++i]));
        } else if (strcmp(a, "--tcp-target") == 0 && i + 1 < argc) {
            config.tcpTarget = static_cast<unsigned short>(atoi(argv[++i]));
        } else if (strcmp(a, "--udp-target") == 0 && i + 1 < argc) {
            config.udpTarget = static_cast<unsigned short>(atoi(argv[++i]));
        } else if (strcmp(a, "--seed") == 0 && i + 1 < argc) {
            config.seed = static_cast<uint32_t>(strtoul(argv[++i], nullptr, 10));
        } else if (strcmp(a, "--verbose") == 0) {
            verbose = true;
        } else if (PortOption(a, "--tcp", &config.tcpPort) ||
                   PortOption(a, "--udp", &config.udpPort)) {
        } else if (strncmp(a, "--", 2) == 0 && ChaosSetField(a + 2, &config.profile)) {
        } else {
            return Usage();
        }
    }
    if (!config.tcpTarget && !config.udpTarget) {
        fprintf(stderr, "qxchaosproxy: no target given\n");
        return Usage();
    }
    std::mutex outMutex;
    if (verbose) {
        config.log = [&outMutex](const std::string& line) {
            std::lock_guard<std::mutex> lock(outMutex);
            printf("%s\n", line.c_str());
            fflush(stdout);
        };
    }

    CChaosProxy proxy;
    if (!proxy.Start(config)) {
        fprintf(stderr, "qxchaosproxy: could not start (port in use?)\n");
        return 1;
    }
    {
        std::lock_guard<std::mutex> lock(outMutex);
        printf("qxchaosproxy ready: tcp=%u udp=%u\n", proxy.TcpPort(), proxy.UdpPort());
        fflush(stdout);
    }

    // Whoever started the proxy stops it by closing its input.
    PumpUntilInputEnds();
    proxy.Stop();
    const TChaosCounts& c = proxy.Counts();
    std::lock_guard<std::mutex> lock(outMutex);
    printf(
        "qxchaosproxy stopped: tcp %llu connections, %llu resets, %llu stalls; udp %llu "
        "forwarded, %llu dropped\n",
        static_cast<unsigned long long>(c.tcpAccepted),
        static_cast<unsigned long long>(c.tcpResets), static_cast<unsigned long long>(c.tcpStalls),
        static_cast<unsigned long long>(c.udpForwarded),
        static_cast<unsigned long long>(c.udpDropped));
    return 0;
}
