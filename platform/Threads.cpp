#include "platform/Threads.h"

#include <deque>

DWORD MainThreadID = 0;

namespace {

constexpr UINT WM_SYNCHRONIZE = WM_APP + 0x2F1;

struct TSyncRequest {
    const std::function<void()>* Method;
    std::exception_ptr Error;
    HANDLE Done;
};

// Shared by every thread; made on first use so that it exists before any start-up.
struct TSyncState {
    TCriticalSection Lock;
    std::deque<TSyncRequest*> Queue;
    HANDLE Pending = CreateEventW(nullptr, FALSE, FALSE, nullptr);   // auto-reset
    HWND Window = nullptr;
    ~TSyncState() { CloseHandle(Pending); }
};

TSyncState& Sync()
{
    static TSyncState state;
    return state;
}

LRESULT CALLBACK SyncWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_SYNCHRONIZE) {
        CheckSynchronize();   // catches inside
        return 0;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

const wchar_t kSyncClass[] = L"ZulThreadSyncWindow";

}  // namespace

void InitThreads()
{
    MainThreadID = GetCurrentThreadId();
}

namespace {
// Made on the user-interface thread when its first worker is made, not at start-up:
// the module's start-up runs under the loader lock, where no window should be made.
void EnsureSyncWindow()
{
    TSyncState& s = Sync();
    if (s.Window || GetCurrentThreadId() != MainThreadID)
        return;
    WNDCLASSW wc{};
    wc.lpfnWndProc = SyncWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kSyncClass;
    RegisterClassW(&wc);
    // A message-only window: a worker's post wakes a pump that sleeps in GetMessage.
    s.Window = CreateWindowExW(0, kSyncClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}
}  // namespace

void DoneThreads()
{
    TSyncState& s = Sync();
    if (s.Window && GetCurrentThreadId() == MainThreadID) {
        DestroyWindow(s.Window);
        s.Window = nullptr;
        UnregisterClassW(kSyncClass, GetModuleHandleW(nullptr));
    }
}

// ---- event --------------------------------------------------------------------------

TSimpleEvent::TSimpleEvent() : FHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    if (!FHandle)
        RaiseLastOSError();
}

TSimpleEvent::~TSimpleEvent()
{
    CloseHandle(FHandle);
}

void TSimpleEvent::SetEvent()
{
    ::SetEvent(FHandle);
}

void TSimpleEvent::ResetEvent()
{
    ::ResetEvent(FHandle);
}

TWaitResult TSimpleEvent::WaitFor(DWORD timeout)
{
    switch (WaitForSingleObject(FHandle, timeout)) {
    case WAIT_OBJECT_0: return wrSignaled;
    case WAIT_TIMEOUT: return wrTimeout;
    case WAIT_ABANDONED: return wrAbandoned;
    default: return wrError;
    }
}

// ---- thread -------------------------------------------------------------------------

TThread::TThread()
{
    EnsureSyncWindow();
    FHandle = CreateThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, &FThreadID);
    if (!FHandle)
        RaiseLastOSError();
}

TThread::~TThread()
{
    if (FStarted && !FFinished) {
        Terminate();
        WaitFor();
    } else if (!FStarted) {
        // Let the suspended thread run out without calling Execute.
        FTerminated = true;
        FSkipExecute = true;
        FStarted = true;
        ResumeThread(FHandle);
        WaitForSingleObject(FHandle, INFINITE);
    }
    CloseHandle(FHandle);
}

void TThread::Start()
{
    if (FStarted)
        return;
    FStarted = true;
    ResumeThread(FHandle);
}

DWORD WINAPI TThread::ThreadProc(LPVOID param)
{
    auto* self = static_cast<TThread*>(param);
    // Nothing may leave this frame: the thread's start routine belongs to the system.
    if (!self->FSkipExecute) {
        try {
            self->Execute();
        } catch (const std::exception& e) {
            self->FatalException = e.what();
            if (self->FatalException.empty())
                self->FatalException = "Exception";
        } catch (...) {
            self->FatalException = "Exception";
        }
        try {
            self->DoTerminate();
        } catch (...) {
        }
    }
    DWORD rc = static_cast<DWORD>(self->ReturnValue);
    self->FFinished = true;
    return rc;
}

int TThread::WaitFor()
{
    if (!FStarted)
        return ReturnValue;
    if (GetCurrentThreadId() == MainThreadID) {
        HANDLE handles[2] = {FHandle, Sync().Pending};
        for (;;) {
            DWORD r = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            if (r == WAIT_OBJECT_0 + 1) {
                CheckSynchronize();
                continue;
            }
            break;
        }
    } else {
        WaitForSingleObject(FHandle, INFINITE);
    }
    return ReturnValue;
}

void TThread::Synchronize(const std::function<void()>& method)
{
    if (GetCurrentThreadId() == MainThreadID || MainThreadID == 0) {
        method();
        return;
    }
    TSyncRequest req{&method, nullptr, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    if (!req.Done)
        RaiseLastOSError();
    TSyncState& s = Sync();
    {
        TLockGuard g(s.Lock);
        s.Queue.push_back(&req);
    }
    SetEvent(s.Pending);
    if (s.Window)
        PostMessageW(s.Window, WM_SYNCHRONIZE, 0, 0);
    WaitForSingleObject(req.Done, INFINITE);
    CloseHandle(req.Done);
    if (req.Error)
        std::rethrow_exception(req.Error);
}

bool CheckSynchronize()
{
    if (GetCurrentThreadId() != MainThreadID)
        return false;
    TSyncState& s = Sync();
    bool any = false;
    for (;;) {
        TSyncRequest* req = nullptr;
        {
            TLockGuard g(s.Lock);
            if (s.Queue.empty())
                break;
            req = s.Queue.front();
            s.Queue.pop_front();
        }
        try {
            (*req->Method)();
        } catch (...) {
            req->Error = std::current_exception();
        }
        any = true;
        SetEvent(req->Done);
    }
    return any;
}

// ---- message pump ---------------------------------------------------------------------

namespace {
// Handles one waiting message; False when none waits. Quit is set on WM_QUIT.
bool ProcessMessage(bool& quit)
{
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        return false;
    if (msg.message == WM_QUIT) {
        quit = true;
        PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}
}  // namespace

bool ProcessMessages()
{
    bool quit = false;
    while (ProcessMessage(quit)) {
    }
    CheckSynchronize();
    return !quit;
}

bool HandleMessage()
{
    bool quit = false;
    if (ProcessMessage(quit))
        return true;
    if (quit)
        return false;
    HANDLE pending = Sync().Pending;
    if (MsgWaitForMultipleObjects(1, &pending, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0)
        CheckSynchronize();
    return true;
}
