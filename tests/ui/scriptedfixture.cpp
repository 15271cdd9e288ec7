// Tests of the dialogs against the scripted monitor (see scriptedfixture.h).
#include "scriptedfixture.h"

namespace ui_testing {

namespace {

template <class Function>
Function exported(HMODULE module, const char* name)
{
    auto function = procOf<Function>(module, name);
    EXPECT_NE(function, nullptr) << name;
    return function;
}

}  // namespace

void ScriptedTest::SetUp()
{
    ASSERT_NE(ui.table(), nullptr);
    unregisterMonitor(kScriptedMonitor);
    ASSERT_TRUE(registerMonitor(kScriptedMonitor, L"scriptedmon.dll"));
    // The module the spooler loaded (it pins itself), so that the script is the one it
    // reads: loaded by its bare name, both find it beside the test program.
    scripted_ = LoadLibraryW(L"scriptedmon.dll");
    ASSERT_NE(scripted_, nullptr);
    reset();
}

void ScriptedTest::reset()
{
    exported<decltype(&ScriptedReset)>(scripted_, "ScriptedReset")();
}

void ScriptedTest::TearDown()
{
    unregisterMonitor(kScriptedMonitor);
}

void ScriptedTest::answer(const wchar_t* command, DWORD status, const void* reply, DWORD cbReply)
{
    exported<decltype(&ScriptedAnswer)>(scripted_, "ScriptedAnswer")(command, status, reply, cbReply);
}

void ScriptedTest::definePort(const std::wstring& name)
{
    exported<decltype(&ScriptedDefinePort)>(scripted_, "ScriptedDefinePort")(name.c_str(), kScriptedMonitor);
    writePort(kScriptedMonitor, name, ConfigInfo{});
}

void ScriptedTest::acceptAddress(DWORD ipAddress, const wchar_t* dotted)
{
    VerPortAddrReply reply{};
    reply.ipAddress = ipAddress;
    wcscpy(reply.dottedAddress, dotted);
    answer(L"VerPortAddr", ERROR_SUCCESS, reply);
}

std::vector<RecordedRequest> ScriptedTest::requests() const
{
    std::vector<RecordedRequest> result;
    auto count = exported<decltype(&ScriptedRequestCount)>(scripted_, "ScriptedRequestCount");
    auto request = exported<decltype(&ScriptedRequest)>(scripted_, "ScriptedRequest");
    for (DWORD i = 0; i < count(); ++i) {
        wchar_t command[64];
        std::vector<BYTE> input(4096);
        DWORD size = static_cast<DWORD>(input.size());
        request(i, command, 64, input.data(), &size);
        input.resize(size);
        result.push_back({command, input});
    }
    return result;
}

std::vector<std::wstring> ScriptedTest::commands() const
{
    std::vector<std::wstring> result;
    for (const auto& request : requests()) result.push_back(request.command);
    return result;
}

LONG ScriptedTest::openHandles() const
{
    return exported<decltype(&ScriptedOpenHandles)>(scripted_, "ScriptedOpenHandles")();
}

}  // namespace ui_testing
