#include "platform/Forms.h"

TApplication* Application = nullptr;

namespace {
HMODULE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

String ModuleBaseName()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(ThisModule(), path, MAX_PATH);
    std::wstring p(path);
    size_t slash = p.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        p.erase(0, slash + 1);
    size_t dot = p.rfind(L'.');
    if (dot != std::wstring::npos)
        p.erase(dot);
    return WideToUtf8(p);
}
}  // namespace

TApplication::TApplication() : FTitle(ModuleBaseName()) {}

void TApplication::ShowException(const std::exception& e)
{
    String msg = e.what();
    if (OnException) {
        OnException(msg);
        return;
    }
    MessageBoxW(FHandle, Utf8ToWide(msg).c_str(), Utf8ToWide(FTitle).c_str(), MB_OK | MB_ICONSTOP);
}

String CurrentExceptionMessage()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

void TApplication::HandleException() noexcept
{
    try {
        String msg = CurrentExceptionMessage();
        if (OnException)
            OnException(msg);
        else
            MessageBoxW(FHandle, Utf8ToWide(msg).c_str(), Utf8ToWide(FTitle).c_str(), MB_OK | MB_ICONSTOP);
    } catch (...) {
        // Nothing may leave an entry point, not even a failure to report.
    }
}

void InitializeForms()
{
    if (!Application)
        Application = new TApplication;
}

void FinalizeForms()
{
    delete Application;
    Application = nullptr;
}
