#pragma once
// The reference tools run until whoever started them closes their input,
// handling their window messages meanwhile.

#include "platform/thread.h"
#include "platform/wnd.h"

#include <atomic>
#include <cstdio>

inline void PumpUntilInputEnds()
{
    static std::atomic<bool> ended{false};
    qxplat::ThreadHandle* reader = qxplat::StartThread([] {
        while (getchar() != EOF) {
        }
        ended = true;
    });
    while (!ended) qxplat::PumpMessages(100);
    qxplat::WaitThread(reader, -1);
    qxplat::DetachThread(reader);
}
