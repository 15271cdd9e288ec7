// Support helpers: traced allocator, text conversion, address classification and the
// exception report.
#include <rpc.h>
#include <rpcndr.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.h"
#include "test_seams.h"
#include "trace.h"
#include "tracefiles.h"

using namespace testing_support;

namespace {

class SupportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFile("lanportm.cfg", "traceon 1");
        ASSERT_TRUE(TraceStart());
    }
    void TearDown() override { testseams::Reset(); }
    std::vector<std::string> messages()
    {
        TraceStop();
        std::vector<std::string> result;
        for (const auto& line : ReadLines("lanportm.log")) result.push_back(MessageOf(line));
        return result;
    }

    ScratchDirectory scratch;
};

std::string hex(const void* p)
{
    char text[16];
    snprintf(text, sizeof(text), "%08x", TraceAddr(p));
    return text;
}

}  // namespace

TEST_F(SupportTest, AllocSplMemZeroFillsAndTracesBothEnds)
{
    auto* block = static_cast<unsigned char*>(AllocSplMem(100));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(block[i], 0) << i;
    EXPECT_GE(GlobalSize(block), 100u);
    FreeSplMem(block);
    auto lines = messages();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "alloc 100 at " + hex(block));
    EXPECT_EQ(lines[1], "free " + hex(block));
}

TEST_F(SupportTest, FailedAllocationReturnsNullAndTracesNothing)
{
    testseams::InjectFault(FaultPoint::AllocSplMem, ERROR_NOT_ENOUGH_MEMORY, 3);
    EXPECT_EQ(AllocSplMem(16), nullptr);
    EXPECT_EQ(AllocSplStr(L"text"), nullptr);
    EXPECT_EQ(WideToMulti(L"text"), nullptr);
    EXPECT_TRUE(messages().empty());
}

TEST_F(SupportTest, AllocSplStrCopies)
{
    EXPECT_EQ(AllocSplStr(nullptr), nullptr);
    LPWSTR empty = AllocSplStr(L"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty[0], L'\0');
    LPWSTR copy = AllocSplStr(L"Zephrin:10.1.2.3");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, L"Zephrin:10.1.2.3");
    FreeSplMem(empty);
    FreeSplMem(copy);
    auto lines = messages();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "alloc 2 at " + hex(empty));
    EXPECT_EQ(lines[1], "alloc 34 at " + hex(copy));
}

TEST_F(SupportTest, NarrowAndWideConversions)
{
    EXPECT_EQ(WideToMulti(nullptr), nullptr);
    EXPECT_EQ(WideToMulti(L""), nullptr);
    EXPECT_EQ(MultiToWide(nullptr), nullptr);
    EXPECT_EQ(MultiToWide(""), nullptr);
    LPSTR narrow = WideToMulti(L"printer 10.0.0.7");
    ASSERT_NE(narrow, nullptr);
    EXPECT_STREQ(narrow, "printer 10.0.0.7");
    LPWSTR wide = MultiToWide(narrow);
    ASSERT_NE(wide, nullptr);
    EXPECT_STREQ(wide, L"printer 10.0.0.7");
    EXPECT_EQ(GlobalSize(wide) >= 2 * strlen(narrow) + 2, true);
    FreeSplMem(narrow);
    FreeSplMem(wide);
}

TEST_F(SupportTest, TextOutsideTheCodePageIsAFailureNotAnEmptyText)
{
    SetLastError(0);
    EXPECT_EQ(WideToMulti(L"drukarka-\u0142"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    LPSTR kept = WideToMultiReplacing(L"\u041E\u0442\u0447\u0451\u0442 2024.doc", '?');
    ASSERT_NE(kept, nullptr);
    EXPECT_STREQ(kept, "????? 2024.doc");
    FreeSplMem(kept);
}

TEST_F(SupportTest, PortNamesCompareAsRegistryKeyNames)
{
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        bool equal;
    };
    const Case cases[] = {
        {L"Zephrin:10.1.2.3", L"ZEPHRIN:10.1.2.3", true},
        {L"B\u00FCro", L"B\u00DCRO", true},
        {L"\u03C3\u03BF\u03C6\u03B9\u03B1", L"\u03A3\u039F\u03A6\u0399\u0391", true},
        {L"\u043F\u0440\u0438\u043D\u0442\u0435\u0440", L"\u041F\u0420\u0418\u041D\u0422\u0415\u0420", true},
        {L"Buro", L"B\u00FCro", false},  // ordinal: no accent folding
        {L"p1", L"p1 ", false},
        {L"p", L"", false},
        {L"", L"", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.a);
        EXPECT_EQ(PortNamesEqual(c.a, c.b), c.equal);
        EXPECT_EQ(PortNamesEqual(c.b, c.a), c.equal);
    }
    EXPECT_FALSE(PortNamesEqual(nullptr, L""));
}

TEST_F(SupportTest, IsAllDigits)
{
    EXPECT_TRUE(IsAllDigits(L""));
    EXPECT_TRUE(IsAllDigits(L"0123456789"));
    EXPECT_FALSE(IsAllDigits(L"12a"));
    EXPECT_FALSE(IsAllDigits(L" 1"));
    EXPECT_FALSE(IsAllDigits(L"\x0661"));  // Arabic-Indic digit one is not "0" to "9"
}

TEST_F(SupportTest, IPAddrFormatClassifies)
{
    struct Case {
        const wchar_t* text;
        WORD format;
    };
    const Case cases[] = {
        {L"10.1.2.3", kAddrDotted},      {L"10.1.2", kAddrInvalid},
        {L"10.1.2.256", kAddrInvalid},   {L"999.1.1.1", kAddrInvalid},
        {L"10.1.2.3.4", kAddrDottedName}, {L"1234.1.1.1", kAddrDottedName},
        {L"print.server", kAddrDottedName}, {L"10.1.2.x", kAddrDottedName},
        {L"printserver", kAddrHostName}, {L"", kAddrHostName},
        {L"...", kAddrInvalid},          {L"10..1.2.3", kAddrDotted},
        {L".10.1.2.3", kAddrDotted},     {L"10.1.2.3.", kAddrDotted},
        {L"0.0.0.0", kAddrDotted},       {L"255.255.255.255", kAddrDotted},
        {L"010.001.002.003", kAddrDotted}, {L"300.print", kAddrInvalid},
    };
    for (const auto& c : cases) EXPECT_EQ(IPAddrFormat(c.text), c.format) << c.text;
}

TEST_F(SupportTest, IPAddrFormatTracesEntryAndExit)
{
    IPAddrFormat(L"10.1.2.3");
    auto lines = messages();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Entry IPAddrFormat");
    EXPECT_EQ(lines[1], "Exit IPAddrFormat");
}

TEST_F(SupportTest, RpcAllocationCallbacksUseTheTracedAllocator)
{
    void* block = midl_user_allocate(24);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(block)[23], 0);
    midl_user_free(block);
    auto lines = messages();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "alloc 24 at " + hex(block));
}

TEST_F(SupportTest, ReportExceptionWithoutPointersWritesThreeLines)
{
    EXPECT_EQ(ReportException("OpenPort", FALSE, nullptr, 0xC0000005), EXCEPTION_CONTINUE_SEARCH);
    auto lines = messages();
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "OpenPort: ERROR: Exception occurred, information follows:",
                         "OpenPort:        Exception code = c0000005",
                         "OpenPort:        No other exception information available"}));
}

TEST_F(SupportTest, ReportExceptionWalksTheRecordChain)
{
    EXCEPTION_RECORD nested{};
    nested.ExceptionCode = 0xE0000002;
    nested.ExceptionAddress = reinterpret_cast<void*>(0x1234);
    EXCEPTION_RECORD outer{};
    outer.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    outer.ExceptionFlags = 1;
    outer.ExceptionRecord = &nested;
    outer.ExceptionAddress = reinterpret_cast<void*>(0xABCDEF);
    outer.NumberParameters = 2;
    outer.ExceptionInformation[0] = 1;
    outer.ExceptionInformation[1] = 77;
    EXCEPTION_POINTERS pointers{&outer, nullptr};
    EXPECT_EQ(ReportException("EnumPorts", FALSE, &pointers, outer.ExceptionCode),
              EXCEPTION_CONTINUE_SEARCH);
    EXPECT_EQ(messages(), (std::vector<std::string>{
                              "EnumPorts: ERROR: Exception occurred, information follows:",
                              "EnumPorts:        Exception record #1:",
                              "EnumPorts:          Exception code = c0000005",
                              "EnumPorts:          Exception flags = 1",
                              "EnumPorts:          Exception address = 00abcdef",
                              "EnumPorts:          Exception parameter #0 = 1",
                              "EnumPorts:          Exception parameter #1 = 77",
                              "EnumPorts:        Exception record #2:",
                              "EnumPorts:          Exception code = e0000002",
                              "EnumPorts:          Exception flags = 0",
                              "EnumPorts:          Exception address = 00001234"}));
}

TEST_F(SupportTest, ReportExceptionHandlesOnlyRequestedAccessViolations)
{
    EXPECT_EQ(ReportException("x", TRUE, nullptr, EXCEPTION_ACCESS_VIOLATION),
              EXCEPTION_EXECUTE_HANDLER);
    EXPECT_EQ(ReportException("x", TRUE, nullptr, EXCEPTION_INT_DIVIDE_BY_ZERO),
              EXCEPTION_CONTINUE_SEARCH);
    EXPECT_EQ(ReportException("x", FALSE, nullptr, EXCEPTION_ACCESS_VIOLATION),
              EXCEPTION_CONTINUE_SEARCH);
}

TEST_F(SupportTest, ReportExceptionAnswersWithTracingOff)
{
    TraceStop();
    EXPECT_EQ(ReportException("x", TRUE, nullptr, EXCEPTION_ACCESS_VIOLATION),
              EXCEPTION_EXECUTE_HANDLER);
    EXPECT_EQ(ReadLines("lanportm.log").size(), 0u);
}
