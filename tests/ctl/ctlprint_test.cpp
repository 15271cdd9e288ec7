// lanportctl's status command in this process while a job prints through Wine's spooler
// to a simulated printer: Wine's spooler runs the monitor inside the program that prints
// (in EndDocPrinter, on the printing thread), so only this process's monitor knows the job.
#include <winsock2.h>

#include <thread>

#include "commands.h"
#include "ctlfixture.h"
#include "jsonvalue.h"
#include "printersim.h"
#include "spoolerprinter.h"
#include "waituntil.h"

using namespace ctl_testing;
using namespace ui_testing;
using testing_support::JsonValue;

namespace {

class CtlPrintTest : public CtlTest {
protected:
    void SetUp() override
    {
        CtlTest::SetUp();
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }

    void TearDown() override
    {
        printer_.remove();
        CtlTest::TearDown();
        WSACleanup();
    }

    // A port for `sim`, added through this process's monitor, and a printer on it.
    std::wstring install(const printersim::Printer& sim)
    {
        const std::string address = sim.address();
        RecordedOutput output;
        lanportctl::Session session{kLanportMonitor, output, L""};
        EXPECT_EQ(lanportctl::RunAdd(session, std::wstring(address.begin(), address.end()), L"", false), 0);
        const std::wstring port = L"Zephrin:" + std::wstring(address.begin(), address.end());

        EXPECT_EQ(printer_.add(L"lanport ctl test printer " + std::to_wstring(GetCurrentProcessId()), port),
                  static_cast<DWORD>(ERROR_SUCCESS));
        return port;
    }

    // `lanportctl status [--json] <port>`, run here; its lines.
    static RecordedOutput status(const std::wstring* port, lanportctl::Format format)
    {
        RecordedOutput output;
        lanportctl::Session session{kLanportMonitor, output, L""};
        EXPECT_EQ(lanportctl::RunStatus(session, port, format), 0)
            << (output.errLines.empty() ? "" : output.errLines[0]);
        return output;
    }

    static JsonValue statusJson(const std::wstring& port)
    {
        RecordedOutput output = status(&port, lanportctl::Format::Json);
        JsonValue value;
        std::string error;
        EXPECT_TRUE(output.outLines.size() == 1 && testing_support::ParseJson(output.outLines[0], &value, &error))
            << error;
        return value;
    }

    testing_support::SpoolerPrinter printer_;
};

std::string field(const JsonValue& value, const char* name)
{
    const JsonValue* member = value.member(name);
    if (!member) return "(absent)";
    if (member->kind == JsonValue::Kind::Boolean) return member->boolean ? "true" : "false";
    if (member->kind == JsonValue::Kind::Null) return "null";
    return member->text;
}

}  // namespace

// The printer reports its pages half a second apart, so that the job in progress can be seen.
TEST_F(CtlPrintTest, SlowStatusShowsThePrintingJobAndThenTheLastOne)
{
    printersim::Printer sim({.pages = 2, .pageIntervalMs = 500});
    ASSERT_TRUE(sim.Start());
    const std::wstring port = install(sim);
    ASSERT_NE(printer_.handle(), nullptr);

    JsonValue idle = statusJson(port);
    EXPECT_EQ(field(idle, "jobInProgress"), "false");
    EXPECT_EQ(field(idle, "lastReport"), "none");
    EXPECT_EQ(field(idle, "lastReportTime"), "null");

    JsonValue printing;
    bool seen = false;
    std::thread watcher([&] {
        seen = testing_support::WaitUntil([&] {
            printing = statusJson(port);
            return field(printing, "lastReport") == "page";
        });
    });
    const std::string job = "\x1b%-12345X@PJL ENTER LANGUAGE=PCL\r\n" + std::string(6000, 'j');
    EXPECT_TRUE(printer_.printRaw(job, L"lanport ctl test")) << GetLastError();
    watcher.join();

    ASSERT_TRUE(seen) << "no page report seen while the job printed";
    EXPECT_EQ(field(printing, "name"), Utf8(port));
    EXPECT_EQ(field(printing, "open"), "true");
    EXPECT_EQ(field(printing, "busy"), "true");
    EXPECT_EQ(field(printing, "jobInProgress"), "true");
    EXPECT_EQ(field(printing, "pjlAnswered"), "true");
    EXPECT_EQ(field(printing, "lastPage"), "1");
    EXPECT_NE(field(printing, "lastReportTime"), "null");
    EXPECT_EQ(field(printing, "lastConnectionError"), "0");

    JsonValue ended = statusJson(port);
    EXPECT_EQ(field(ended, "jobInProgress"), "false");
    EXPECT_EQ(field(ended, "busy"), "false");
    EXPECT_EQ(field(ended, "pjlAnswered"), "true");
    EXPECT_EQ(field(ended, "lastPage"), "2");
    EXPECT_EQ(field(ended, "lastReport"), "end");
    EXPECT_GE(field(ended, "lastReportTime"), field(printing, "lastReportTime")) << "ISO times sort as text";

    // The text of the same, and the listing of every port.
    RecordedOutput text = status(&port, lanportctl::Format::Text);
    ASSERT_EQ(text.outLines.size(), 7u);
    EXPECT_EQ(text.outLines[0], "name: " + Utf8(port));
    EXPECT_EQ(text.outLines[2].rfind("job: none in progress", 0), 0u) << text.outLines[2];
    EXPECT_EQ(text.outLines[3], "PJL answered: yes");
    EXPECT_EQ(text.outLines[4], "last page: 2");
    EXPECT_EQ(text.outLines[5], "last report: end at " + field(ended, "lastReportTime"));
    EXPECT_EQ(text.outLines[6], "last connection error: none");
    RecordedOutput all = status(nullptr, lanportctl::Format::Json);
    ASSERT_EQ(all.outLines.size(), 1u);
    JsonValue list;
    std::string error;
    ASSERT_TRUE(testing_support::ParseJson(all.outLines[0], &list, &error)) << error;
    ASSERT_EQ(list.items.size(), 1u);
    EXPECT_EQ(field(list.items[0], "lastReport"), "end");
    EXPECT_EQ(field(list.items[0], "name"), Utf8(port));
}
