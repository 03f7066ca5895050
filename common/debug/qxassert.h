#pragma once
// Debug assertion for a broken precondition: debug builds report its text to
// the debugger output (standard error on POSIX); behaviour never depends on it.

#include "platform/debug.h"

#ifdef NDEBUG
#define QX_ASSERT(cond) ((void)0)
#else
#define QX_ASSERT(cond) ((cond) ? (void)0 : qxplat::DebugOutput("assertion failed: " #cond "\n"))
#endif
