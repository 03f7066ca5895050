#include "chaosprofile.h"

#include <cstdlib>
#include <cstring>

namespace {

void Both(TChaosProfile* p, void (*set)(TChaosDirection*))
{
    set(&p->up);
    set(&p->down);
}

bool ParseInt(const std::string& text, int64_t* value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    long long v = strtoll(text.c_str(), &end, 10);
    int64_t scale = 1;
    if (*end == 'k' || *end == 'K')
        scale = 1024, ++end;
    else if (*end == 'm' || *end == 'M')
        scale = 1024 * 1024, ++end;
    if (*end != '\0' || v < -1)
        return false;
    *value = static_cast<int64_t>(v) * scale;
    return true;
}

bool SetOne(TChaosDirection* d, const std::string& name, int64_t v)
{
    // Percentages above 100 and negative amounts mean nothing; -1 is "never"
    // only for the after-fields.
    bool pct = name == "loss" || name == "dup" || name == "reorder";
    bool after = name.compare(0, 6, "reset-") == 0 || name.compare(0, 6, "stall-") == 0;
    if ((pct && v > 100) || (!after && v < 0) || v > 0x7FFFFFFF)
        return false;
    int i = static_cast<int>(v);
    if (name == "latency")
        d->latencyMs = i;
    else if (name == "jitter")
        d->jitterMs = i;
    else if (name == "bandwidth")
        d->bandwidth = i;
    else if (name == "segment")
        d->segmentMax = i;
    else if (name == "segment-delay")
        d->segmentDelayMs = i;
    else if (name == "loss")
        d->lossPct = i;
    else if (name == "dup")
        d->dupPct = i;
    else if (name == "reorder")
        d->reorderPct = i;
    else if (name == "reset-after-bytes")
        d->resetAfterBytes = v;
    else if (name == "reset-after-ms")
        d->resetAfterMs = i;
    else if (name == "stall-after-bytes")
        d->stallAfterBytes = v;
    else if (name == "stall-after-ms")
        d->stallAfterMs = i;
    else
        return false;
    return true;
}

}  // namespace

const char* ChaosProfileNames()
{
    return "clean, mobile, lossy-udp, dead-udp, 1-byte, thin, reset, stall, refuse";
}

const char* ChaosFieldNames()
{
    return "latency, jitter (ms), bandwidth (bytes/s, k/m suffix), segment (bytes),\n"
           "segment-delay (ms), loss, dup, reorder (%), reset-after-bytes, reset-after-ms,\n"
           "stall-after-bytes, stall-after-ms, refuse";
}

bool ChaosNamedProfile(const std::string& name, TChaosProfile* out)
{
    TChaosProfile profile;
    TChaosProfile* p = &profile;
    if (name == "clean") {
    } else if (name == "mobile") {
        // A phone on a busy cell: slow, late, uneven, a little lossy.
        Both(p, [](TChaosDirection* d) {
            d->latencyMs = 100;
            d->jitterMs = 50;
            d->segmentMax = 1400;
            d->lossPct = 3;
            d->reorderPct = 3;
        });
        p->down.bandwidth = 512 * 1024;
        p->up.bandwidth = 128 * 1024;
    } else if (name == "lossy-udp") {
        Both(p, [](TChaosDirection* d) {
            d->lossPct = 30;
            d->dupPct = 5;
            d->reorderPct = 10;
            d->latencyMs = 20;
            d->jitterMs = 10;
        });
    } else if (name == "dead-udp") {
        Both(p, [](TChaosDirection* d) { d->lossPct = 100; });
    } else if (name == "1-byte") {
        Both(p, [](TChaosDirection* d) {
            d->segmentMax = 1;
            d->segmentDelayMs = 1;
        });
    } else if (name == "thin") {
        Both(p, [](TChaosDirection* d) { d->latencyMs = 50; });
        p->down.bandwidth = 64 * 1024;
        p->up.bandwidth = 16 * 1024;
    } else if (name == "reset") {
        // Past a gate's login reply (570 bytes), inside any session after it.
        p->down.resetAfterBytes = 1024;
    } else if (name == "stall") {
        p->down.stallAfterBytes = 1024;
    } else if (name == "refuse") {
        p->refuse = true;
    } else {
        return false;
    }
    *out = profile;
    return true;
}

bool ChaosSetField(const std::string& field, TChaosProfile* p)
{
    if (field == "refuse") {
        p->refuse = true;
        return true;
    }
    size_t eq = field.find('=');
    if (eq == std::string::npos)
        return false;
    std::string name = field.substr(0, eq);
    int64_t v = 0;
    if (!ParseInt(field.substr(eq + 1), &v))
        return false;
    if (name.compare(0, 3, "up-") == 0)
        return SetOne(&p->up, name.substr(3), v);
    if (name.compare(0, 5, "down-") == 0)
        return SetOne(&p->down, name.substr(5), v);
    return SetOne(&p->up, name, v) && SetOne(&p->down, name, v);
}
