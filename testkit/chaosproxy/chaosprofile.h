#pragma once
// What the chaos proxy does to the traffic of one direction, and the named
// profiles a game team picks from.

#include <cstdint>
#include <string>

struct TChaosDirection {
    int latencyMs = 0;
    int jitterMs = 0;              // each arrival is delayed by latency +- up to jitter
    int bandwidth = 0;             // bytes per second; 0: no limit
    int segmentMax = 0;            // TCP: writes of 1 up to this many bytes; 0: as received
    int segmentDelayMs = 0;        // TCP: between those writes
    int lossPct = 0;               // UDP
    int dupPct = 0;                // UDP
    int reorderPct = 0;            // UDP: held back long enough for later ones to overtake
    int64_t resetAfterBytes = -1;  // TCP: both sides reset once this many have passed
    int resetAfterMs = -1;
    int64_t stallAfterBytes = -1;  // TCP: nothing more passes, nothing is closed
    int stallAfterMs = -1;
};

struct TChaosProfile {
    TChaosDirection up;    // client to target
    TChaosDirection down;  // target to client
    bool refuse = false;   // nothing listens on the TCP port: every connect is refused
};

// Named profiles: clean, mobile, lossy-udp, dead-udp, 1-byte, thin, reset,
// stall, refuse. False for an unknown name, which leaves profile as it was.
bool ChaosNamedProfile(const std::string& name, TChaosProfile* profile);
// The names, for a usage text.
const char* ChaosProfileNames();
// One field, "name=value" with an optional "up-" or "down-" in front (none:
// both directions), e.g. "latency=100", "down-loss=30", "refuse". False when
// the name or the value is not valid.
bool ChaosSetField(const std::string& field, TChaosProfile* profile);
// The fields, for a usage text.
const char* ChaosFieldNames();
