#include "platform/SysUtils.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>

EAssertionFailed::EAssertionFailed(const String& unit, int line)
    : Exception("Assertion failure (" + unit + ", line " + IntToStr(line) + ")"), Unit(unit)
{
}

void ZulAssert(bool cond, const char* unit, int line)
{
    if (!cond)
        throw EAssertionFailed(unit, line);
}

String SysErrorMessage(uint32_t code)
{
    wchar_t* buf = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    String text;
    if (n && buf) {
        text = WideToUtf8(std::wstring_view(buf, n));
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
            text.pop_back();
    }
    if (buf)
        LocalFree(buf);
    if (text.empty())
        text = "System Error.  Code: " + IntToStr(code);
    return text;
}

void RaiseLastOSError(uint32_t code)
{
    throw EOSError(SysErrorMessage(code), code);
}

void RaiseLastOSError()
{
    RaiseLastOSError(GetLastError());
}

String Format(std::string_view fmt, std::initializer_list<String> args)
{
    String out;
    auto it = args.begin();
    for (size_t i = 0; i < fmt.size(); ++i) {
        char c = fmt[i];
        if (c == '%' && i + 1 < fmt.size()) {
            char k = fmt[i + 1];
            if (k == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (k == 's' || k == 'd') {
                if (it != args.end())
                    out += *it++;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

String IntToStr(int64_t v)
{
    return std::to_string(v);
}

bool TryStrToInt(const String& s, int& out)
{
    // Leading and trailing blanks are not accepted; a sign and '$'/0x hex are.
    if (s.empty())
        return false;
    size_t i = 0;
    bool neg = false;
    if (s[i] == '+' || s[i] == '-') {
        neg = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size())
        return false;
    uint64_t v = 0;
    for (; i < s.size(); ++i) {
        char c = s[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v * base + d;
        if (v > 0xFFFFFFFFull)
            return false;
    }
    if (base == 10) {
        if (neg ? v > 0x80000000ull : v > 0x7FFFFFFFull)
            return false;
        out = neg ? static_cast<int>(-static_cast<int64_t>(v)) : static_cast<int>(v);
    } else {
        // Hex literals wrap into the 32-bit range, as the platform does.
        uint32_t u = static_cast<uint32_t>(v);
        out = static_cast<int>(neg ? 0u - u : u);
    }
    return true;
}

int StrToInt(const String& s)
{
    int v;
    if (!TryStrToInt(s, v))
        throw EConvertError(Format("'%s' is not a valid integer value", {s}));
    return v;
}

static char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

String UpperCase(std::string_view s)
{
    String r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return r;
}

String LowerCase(std::string_view s)
{
    String r(s);
    for (char& c : r)
        c = AsciiLower(c);
    return r;
}

static std::wstring ToWide(UINT cp, std::string_view s)
{
    if (s.empty())
        return {};
    int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

static std::string FromWide(UINT cp, std::wstring_view w)
{
    if (w.empty())
        return {};
    int n = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring Utf8ToWide(std::string_view s) { return ToWide(CP_UTF8, s); }
String WideToUtf8(std::wstring_view s) { return FromWide(CP_UTF8, s); }
String AnsiToUtf8(std::string_view s) { return FromWide(CP_UTF8, ToWide(CP_ACP, s)); }
std::string Utf8ToAnsi(std::string_view s) { return FromWide(CP_ACP, ToWide(CP_UTF8, s)); }
