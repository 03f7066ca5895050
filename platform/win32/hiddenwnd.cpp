#include "platform/wnd.h"
#include "platform/win32/sockfilter.h"

#include <windows.h>

namespace qxplat {

namespace {

// A steady stream of notifications never empties the queue: the loop
// returns after this many so its caller's own checks (a stop flag, a
// condition it waits for) still run.
const int kMaxBatch = 256;

// The portable procedure travels in the window's user data; until
// WM_NCCREATE has stored it, messages go to the default procedure.
LRESULT CALLBACK Trampoline(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        const CREATESTRUCTA* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    if (DropStaleSocketMessage(hwnd, msg, wParam, lParam))
        return 0;
    WndProc proc = reinterpret_cast<WndProc>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (proc && proc(msg, wParam, lParam))
        return 0;
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND H(HiddenWnd* wnd) { return reinterpret_cast<HWND>(wnd); }

}  // namespace

HiddenWnd* CreateHiddenWnd(void* module, const char* className, const char* windowName,
                           WndProc proc)
{
    HINSTANCE inst = static_cast<HINSTANCE>(module);
    WNDCLASSA wc = {};
    wc.style = 0;
    wc.lpfnWndProc = Trampoline;
    wc.hInstance = inst;
    wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = "MainMenu";
    wc.lpszClassName = className;
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return nullptr;
    HWND hwnd = CreateWindowExA(0, className, windowName, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, inst,
                                reinterpret_cast<void*>(proc));
    return reinterpret_cast<HiddenWnd*>(hwnd);
}

void DestroyHiddenWnd(HiddenWnd* wnd)
{
    if (!wnd)
        return;
    SendMessageA(H(wnd), WM_DESTROY, 0, 0);
    DestroyWindow(H(wnd));
    ForgetClosedSockets(H(wnd));
}

intptr_t SendWndMessage(HiddenWnd* wnd, unsigned int msg, uintptr_t wParam, intptr_t lParam)
{
    return SendMessageA(H(wnd), msg, wParam, lParam);
}

bool PostWndMessage(HiddenWnd* wnd, unsigned int msg, uintptr_t wParam, intptr_t lParam)
{
    return PostMessageA(H(wnd), msg, wParam, lParam) != FALSE;
}

bool IsWndThread(HiddenWnd* wnd)
{
    return GetWindowThreadProcessId(H(wnd), nullptr) == GetCurrentThreadId();
}

bool SetWndTimer(HiddenWnd* wnd, uintptr_t id, unsigned int ms)
{
    return SetTimer(H(wnd), id, ms, nullptr) != 0;
}

bool KillWndTimer(HiddenWnd* wnd, uintptr_t id) { return KillTimer(H(wnd), id) != FALSE; }

int PumpMessages(int timeoutMs)
{
    DWORD start = GetTickCount();
    int handled = 0;
    for (;;) {
        MSG msg;
        while (handled < kMaxBatch && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            ++handled;
        }
        if (handled > 0)
            return handled;
        DWORD wait = INFINITE;
        if (timeoutMs >= 0) {
            DWORD spent = GetTickCount() - start;
            if (spent >= static_cast<DWORD>(timeoutMs))
                return 0;
            wait = static_cast<DWORD>(timeoutMs) - spent;
        }
        // Sent messages from other threads are handled inside PeekMessage.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    }
}

}  // namespace qxplat
