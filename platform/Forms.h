#pragma once
// The application object of the class library stand-in: the main window handle that
// owns every dialog, the application's title, and the standard error box.

#include <windows.h>

#include <exception>

#include "platform/Classes.h"

class TApplication {
public:
    TApplication();

    // The window that owns the dialogs (the host's window while an export runs).
    HWND Handle() const { return FHandle; }
    void SetHandle(HWND wnd) { FHandle = wnd; }
    // Defaults to the base name of the module that holds this code.
    const String& Title() const { return FTitle; }
    void SetTitle(const String& title) { FTitle = title; }

    // The standard error box: a stop icon, the application's title and the message.
    void ShowException(const std::exception& e);
    // Call inside a catch block: hands the current exception to OnException, or
    // shows it. Never raises.
    void HandleException() noexcept;

    // Replaces the error box (tests use it to collect messages).
    TEvent<void(const String& message)> OnException;

private:
    HWND FHandle = nullptr;
    String FTitle;
};

extern TApplication* Application;

// Text of the exception being handled: its message, or a fixed text for foreign ones.
String CurrentExceptionMessage();

// Remembers the application's window handle and puts it back when the scope ends.
class TApplicationHandleScope {
public:
    explicit TApplicationHandleScope(HWND wnd) : FSaved(Application->Handle()) { Application->SetHandle(wnd); }
    ~TApplicationHandleScope() { Application->SetHandle(FSaved); }
    TApplicationHandleScope(const TApplicationHandleScope&) = delete;
    TApplicationHandleScope& operator=(const TApplicationHandleScope&) = delete;

private:
    HWND FSaved;
};

void InitializeForms();
void FinalizeForms();
