#pragma once
// Threads, events and locks of the class library stand-in, the hand-over of calls
// from workers to the user-interface thread, and the message pump that serves it.

#include <windows.h>

#include <exception>
#include <functional>

#include "platform/SysUtils.h"

// The user-interface thread: the one that ran InitThreads (the module's start-up).
extern DWORD MainThreadID;
void InitThreads();
void DoneThreads();

// A critical section.
class TCriticalSection {
public:
    TCriticalSection() { InitializeCriticalSection(&FSection); }
    ~TCriticalSection() { DeleteCriticalSection(&FSection); }
    TCriticalSection(const TCriticalSection&) = delete;
    TCriticalSection& operator=(const TCriticalSection&) = delete;
    void Enter() { EnterCriticalSection(&FSection); }
    bool TryEnter() { return TryEnterCriticalSection(&FSection) != 0; }
    void Leave() { LeaveCriticalSection(&FSection); }
    // The C++ lockable names, so std::lock_guard works too.
    void lock() { Enter(); }
    void unlock() { Leave(); }

private:
    CRITICAL_SECTION FSection;
};

// Holds a critical section for one scope.
class TLockGuard {
public:
    explicit TLockGuard(TCriticalSection& cs) : FSection(cs) { FSection.Enter(); }
    ~TLockGuard() { FSection.Leave(); }
    TLockGuard(const TLockGuard&) = delete;
    TLockGuard& operator=(const TLockGuard&) = delete;

private:
    TCriticalSection& FSection;
};

enum TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// A manual-reset event, not signalled at first.
class TSimpleEvent {
public:
    TSimpleEvent();
    ~TSimpleEvent();
    TSimpleEvent(const TSimpleEvent&) = delete;
    TSimpleEvent& operator=(const TSimpleEvent&) = delete;
    void SetEvent();
    void ResetEvent();
    TWaitResult WaitFor(DWORD timeout);
    HANDLE Handle() const { return FHandle; }

private:
    HANDLE FHandle;
};

// A Win32 thread that runs Execute. It is made suspended; Start begins it.
// An exception that leaves Execute is kept in FatalException, never let loose.
class TThread {
public:
    TThread();
    // Waits for a started thread to end (after asking it to terminate).
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Start();
    void Terminate() { FTerminated = true; }
    bool Terminated() const { return FTerminated; }
    bool Started() const { return FStarted; }
    bool Finished() const { return FFinished; }
    // Waits for the end of the thread; on the user-interface thread it serves the
    // worker's Synchronize calls meanwhile. Returns ReturnValue.
    int WaitFor();

    HANDLE Handle() const { return FHandle; }
    DWORD ThreadID() const { return FThreadID; }
    int ReturnValue = 0;
    // Message of an exception that ended Execute; empty when none did.
    String FatalException;

    // Runs Method on the user-interface thread and waits for it (directly when called
    // there). An exception of Method is raised again in the caller.
    static void Synchronize(const std::function<void()>& method);

protected:
    virtual void Execute() = 0;
    // Called on the thread after Execute, also after an exception.
    virtual void DoTerminate() {}

private:
    static DWORD WINAPI ThreadProc(LPVOID param);
    HANDLE FHandle = nullptr;
    DWORD FThreadID = 0;
    volatile bool FTerminated = false;
    volatile bool FFinished = false;
    bool FStarted = false;
    bool FSkipExecute = false;
};

// Runs the calls workers handed to the user-interface thread. Returns whether any ran.
// Only acts on that thread.
bool CheckSynchronize();

// The application's message pump: ProcessMessages handles every waiting message (and
// waiting Synchronize calls) and returns; HandleMessage handles one, waiting for it
// when none is there. Both return False once WM_QUIT was seen (it stays queued).
bool ProcessMessages();
bool HandleMessage();
