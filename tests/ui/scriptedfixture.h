// Tests of the dialogs against the scripted monitor: the UI library's table, the
// monitor's script and record, and an owner window.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogdriver.h"
#include "scriptedmonitor.h"
#include "uifixture.h"

namespace ui_testing {

struct RecordedRequest {
    std::wstring command;
    std::vector<BYTE> input;
};

class ScriptedTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Forgets the requests and answers so far.
    void reset();
    void answer(const wchar_t* command, DWORD status, const void* reply, DWORD cbReply);
    template <class Record>
    void answer(const wchar_t* command, DWORD status, const Record& reply)
    {
        answer(command, status, &reply, sizeof reply);
    }
    // A port of the scripted monitor that EnumPorts lists and that an XcvPort handle
    // opens (Wine's spooler finds a port's monitor by its registry key).
    void definePort(const std::wstring& name);
    // "VerPortAddr" accepts the address with this dotted form.
    void acceptAddress(DWORD ipAddress, const wchar_t* dotted);

    std::vector<RecordedRequest> requests() const;
    std::vector<std::wstring> commands() const;
    LONG openHandles() const;

    HMODULE scripted_ = nullptr;
    UiLibrary ui;
    OwnerWindow owner;
};

template <class Record>
Record recordOf(const RecordedRequest& request)
{
    Record record{};
    EXPECT_EQ(request.input.size(), sizeof record) << "size of the " << narrow(request.command.c_str()) << " request";
    memcpy(&record, request.input.data(), std::min(sizeof record, request.input.size()));
    return record;
}

}  // namespace ui_testing
