#pragma once
// Between the socket layer and the hidden windows, inside win32/ only.

#include <windows.h>

namespace qxplat {

// True for a message the window must not see: a notification still queued
// for a handle closed since (the system reuses handle values at once, so it
// would reach the next socket with that value), or the marker that ends such
// a handle's quarantine.
bool DropStaleSocketMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The window is going: markers still on their way to it will never come.
void ForgetClosedSockets(HWND wnd);

}  // namespace qxplat
