#pragma once
// Strings, conversions and the exception family of the class library stand-in.
// String is UTF-8 inside the system; convert at the edges (UTF-16 for Win32 W calls,
// the host's ANSI code page at the module boundary).

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

using String = std::string;

// ---- exceptions -------------------------------------------------------------

class Exception : public std::exception {
public:
    explicit Exception(String msg) : FMessage(std::move(msg)) {}
    const String& Message() const { return FMessage; }
    void SetMessage(String msg) { FMessage = std::move(msg); }
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    String FMessage;
};

#define ZUL_EXCEPTION_CLASS(Name, Base)            \
    class Name : public Base {                     \
    public:                                        \
        using Base::Base;                          \
    }

ZUL_EXCEPTION_CLASS(EConvertError, Exception);      // "'%s' is not a valid integer value"
ZUL_EXCEPTION_CLASS(EStreamError, Exception);
ZUL_EXCEPTION_CLASS(EReadError, EStreamError);      // "Stream read error"
ZUL_EXCEPTION_CLASS(EClassNotFound, Exception);     // "Class %s not found"
ZUL_EXCEPTION_CLASS(EPropertyError, Exception);     // "Property %s does not exist", "Invalid property value"
ZUL_EXCEPTION_CLASS(EListError, Exception);
ZUL_EXCEPTION_CLASS(EOutOfResources, Exception);
ZUL_EXCEPTION_CLASS(EInvalidOperation, Exception);

class EOSError : public Exception {
public:
    EOSError(String msg, uint32_t code) : Exception(std::move(msg)), ErrorCode(code) {}
    uint32_t ErrorCode;
};

class EAssertionFailed : public Exception {
public:
    EAssertionFailed(const String& unit, int line);
    String Unit;
};

// Raises EAssertionFailed ("Assertion failure" and the unit's name) when Cond is false.
void ZulAssert(bool cond, const char* unit, int line);
#define ZUL_ASSERT(cond, unit) ZulAssert(static_cast<bool>(cond), unit, __LINE__)

// Raises EOSError with the system's text for GetLastError() (or Code).
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseLastOSError(uint32_t code);
String SysErrorMessage(uint32_t code);

// ---- formatting and conversions -----------------------------------------------

// Replaces each %s and %d (and %%) in Fmt with the next argument, in order.
String Format(std::string_view fmt, std::initializer_list<String> args);

String IntToStr(int64_t v);
// Decimal, or hexadecimal with a leading '$' (or 0x); raises EConvertError
// "'%s' is not a valid integer value" for anything else.
int StrToInt(const String& s);
bool TryStrToInt(const String& s, int& out);

bool SameText(std::string_view a, std::string_view b);   // ASCII case-insensitive
String UpperCase(std::string_view s);
String LowerCase(std::string_view s);

// Edges.
std::wstring Utf8ToWide(std::string_view s);
String WideToUtf8(std::wstring_view s);
String AnsiToUtf8(std::string_view s);     // host's 8-bit text (CP_ACP) into the system
std::string Utf8ToAnsi(std::string_view s);
