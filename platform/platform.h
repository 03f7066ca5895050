#pragma once
// The narrow layer that differs between Windows and POSIX. Everything above it
// (socket event handler, registry, sockets, sync window) is written once.
// Windows uses the real calls: hidden windows, WSAAsyncSelect, SetTimer.
// POSIX emulates them with one poll() loop per thread that created a window.

#include <cstdint>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <netinet/in.h>
#endif

namespace qxplat {

typedef uintptr_t SockHandle;
const SockHandle kInvalidSock = ~static_cast<SockHandle>(0);

// Message numbers and socket events keep their Windows values on every platform.
const unsigned int kWmDestroy = 0x0002;
const unsigned int kWmTimer = 0x0113;
const unsigned int kWmUser = 0x0400;
const long kFdRead = 0x01;
const long kFdWrite = 0x02;
const long kFdAccept = 0x08;
const long kFdConnect = 0x10;
const long kFdClose = 0x20;

// Window procedure of a hidden window: true when the message was handled
// (the window then answers 0), false to fall back to the default procedure.
typedef bool (*WndProc)(unsigned int msg, uintptr_t wParam, intptr_t lParam);

class HiddenWnd;

// Registers the class (an existing class of that name is reused) and creates
// a never-shown window on the calling thread. Null on failure.
HiddenWnd* CreateHiddenWnd(void* module, const char* className, const char* windowName,
                           WndProc proc);
// Sends WM_DESTROY to the window, then destroys it.
void DestroyHiddenWnd(HiddenWnd* wnd);
// Blocks until the window's thread has handled the message; runs it directly
// on that thread. Returns the window's answer.
intptr_t SendWndMessage(HiddenWnd* wnd, unsigned int msg, uintptr_t wParam, intptr_t lParam);
bool PostWndMessage(HiddenWnd* wnd, unsigned int msg, uintptr_t wParam, intptr_t lParam);
// WM_TIMER with wParam = id every ms milliseconds until killed.
bool SetWndTimer(HiddenWnd* wnd, uintptr_t id, unsigned int ms);
bool KillWndTimer(HiddenWnd* wnd, uintptr_t id);

// Handles pending window messages of the calling thread, waiting at most
// timeoutMs (negative: no limit) for the first. Returns how many were handled,
// or -1 when the thread has no windows.
int PumpMessages(int timeoutMs);

// The library's own module handle (QXNetEngine.dll on Windows; null on POSIX).
void* LibraryModule();

// Directory of a module's file with its trailing separator (a backslash on
// Windows); a null module means the process executable.
std::string ModuleDir(void* module);

struct TLocalTime {
    int year, month, day, hour, minute, second, millisecond;
};
void GetLocalTimeNow(TLocalTime* t);

// A diagnostic line for a developer: the debugger output on Windows,
// standard error on POSIX.
void DebugOutput(const char* text);

// Sockets. Starts Windows Sockets 2.2 once per process (a no-op on POSIX);
// it is stopped when the process's static objects are destroyed.
void StartSockets();
SockHandle SockCreateTcp();
void SockClose(SockHandle s);
// WSAAsyncSelect semantics: the events arrive as msg to wnd with
// wParam = socket, lParam = event | (error << 16). Also makes s non-blocking.
// events 0 cancels the notifications.
bool SockAsyncSelect(SockHandle s, HiddenWnd* wnd, unsigned int msg, long events);
bool SockBind(SockHandle s, const sockaddr_in& addr);
bool SockListen(SockHandle s, int backlog);
// Starts a connect; the outcome arrives as the connect event.
void SockConnect(SockHandle s, const sockaddr_in& addr);
SockHandle SockAccept(SockHandle s, sockaddr_in* addr);
// Byte counts, or -1 for an error (including would-block).
int SockRecv(SockHandle s, char* buf, int len);
int SockSend(SockHandle s, const char* buf, int len);
// The bound local address, e.g. to learn the port the system chose.
bool SockLocalAddr(SockHandle s, sockaddr_in* addr);
// inet_addr: the address in network order, or 0xFFFFFFFF when invalid.
uint32_t InetAddr(const char* text);
std::string InetNtoa(uint32_t addrNetOrder);

}  // namespace qxplat
