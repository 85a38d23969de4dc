#include <gtest/gtest.h>

#include <vector>

#include "platform/Forms.h"

namespace {

TEST(Application, HandleExceptionReportsEveryKindAndNeverRaises)
{
    std::vector<String> seen;
    Application->OnException = [&](const String& m) { seen.push_back(m); };
    try {
        throw EConvertError("'x' is not a valid integer value");
    } catch (...) {
        Application->HandleException();
    }
    try {
        throw 42;
    } catch (...) {
        Application->HandleException();
    }
    // A handler that fails itself is swallowed: nothing may leave an entry point.
    Application->OnException = [&](const String&) { throw Exception("handler failed"); };
    try {
        throw Exception("first");
    } catch (...) {
        EXPECT_NO_THROW(Application->HandleException());
    }
    Application->OnException = nullptr;
    EXPECT_EQ(seen, (std::vector<String>{"'x' is not a valid integer value", "Unknown error"}));
}

TEST(Application, HandleScopeGivesTheWindowBackOnEveryPath)
{
    HWND before = Application->Handle();
    HWND host = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
    try {
        TApplicationHandleScope scope(host);
        EXPECT_EQ(Application->Handle(), host);
        throw Exception("leaving early");
    } catch (const Exception&) {
    }
    EXPECT_EQ(Application->Handle(), before);
}

}  // namespace
