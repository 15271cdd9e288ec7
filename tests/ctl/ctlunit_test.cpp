// lanportctl's parts that need no spooler: the JSON it writes (read back by a strict
// reader), the XCV object names it opens, and its view of a port's status.
#include "ctlfixture.h"
#include "json.h"
#include "jsonvalue.h"
#include "messages.h"
#include "statusview.h"
#include "xcvclient.h"

using namespace ctl_testing;
using testing_support::JsonValue;
using testing_support::ParseJson;

namespace {

using Kind = JsonValue::Kind;

constexpr DWORD kRefused = 10061;  // WSAECONNREFUSED

JsonValue parsed(const std::string& text)
{
    JsonValue value;
    std::string error;
    EXPECT_TRUE(ParseJson(text, &value, &error)) << error << " in " << text;
    return value;
}

// The reader itself: what it must take and what it must refuse.
struct ReaderCase {
    const char* text;
    bool valid;
};
const ReaderCase kReaderCases[] = {
    {"{\"a\":[1,-2.5e3,0,true,false,null,\"x\"],\"b\":{}}", true},
    {" [ ] ", true},
    {"\"\\u00e9\\ud83d\\ude00\\/\"", true},
    {"\"\xc3\xa9\"", true},
    {"{\"a\":1,}", false},      // trailing comma
    {"[01]", false},            // leading zero
    {"[1.]", false},
    {"\"a\x01\"", false},       // raw control character
    {"{\"a\":1,\"a\":2}", false},  // duplicate key
    {"'x'", false},
    {"[1] x", false},           // text after the value
    {"\"\xc3\x28\"", false},    // broken UTF-8
    {"\"\xed\xa0\x80\"", false},  // a surrogate in raw UTF-8
    {"\"\xc0\xaf\"", false},    // overlong
    {"NaN", false},
    {"\"\\q\"", false},
    {"\"open", false},
    {"", false},
};

TEST(CtlJsonReader, TakesJsonAndRefusesTheRest)
{
    for (const ReaderCase& c : kReaderCases) {
        JsonValue value;
        std::string error;
        EXPECT_EQ(ParseJson(c.text, &value, &error), c.valid) << c.text << ": " << error;
    }
}

// Strings as the writer escapes them, and what a reader gets back (UTF-8).
struct EscapeCase {
    std::wstring text;
    std::string json;     // the writer's output, as UTF-8
    std::string decoded;  // the value a reader gets back
};
const EscapeCase kEscapeCases[] = {
    {L"plain", "\"plain\"", "plain"},
    {L"say \"hi\" \\ /", "\"say \\\"hi\\\" \\\\ /\"", "say \"hi\" \\ /"},
    {L"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\"", "\b\f\n\r\t"},
    {std::wstring(L"\x01\x1f\x7f", 3), "\"\\u0001\\u001f\x7f\"", "\x01\x1f\x7f"},
    {std::wstring(L"nul\0in", 6), "\"nul\\u0000in\"", std::string("nul\0in", 6)},
    {L"B\u00fcro \u20ac", "\"B\xc3\xbcro \xe2\x82\xac\"", "B\xc3\xbcro \xe2\x82\xac"},
    {L"\xd83d\xdda8", "\"\xf0\x9f\x96\xa8\"", "\xf0\x9f\x96\xa8"},  // a pair: one character
    {L"\xd800x", "\"\\ud800x\"", "\xed\xa0\x80x"},                  // lone: UTF-8 cannot carry it
    {L"x\xdc00", "\"x\\udc00\"", "x\xed\xb0\x80"},
};

TEST(CtlJsonWriter, EscapesWhatJsonRequiresAndKeepsTheRestAsUtf8)
{
    for (const EscapeCase& c : kEscapeCases) {
        lanportctl::JsonWriter json;
        json.string(c.text);
        std::string text = Utf8(json.text());
        EXPECT_EQ(text, c.json);
        JsonValue value = parsed(text);
        EXPECT_EQ(value.kind, Kind::String);
        EXPECT_EQ(value.text, c.decoded) << c.json;
    }
}

TEST(CtlJsonWriter, SeparatesMembersAndItemsAtEveryDepth)
{
    lanportctl::JsonWriter json;
    json.beginArray();
    json.beginObject();
    json.field(L"a", 1);
    json.key(L"b");
    json.beginArray();
    json.boolean(true);
    json.null();
    json.string(L"x");
    json.endArray();
    json.key(L"c");
    json.beginObject();
    json.endObject();
    json.field(L"d", -2147483647L - 1);
    json.endObject();
    json.beginArray();
    json.endArray();
    json.endArray();
    EXPECT_EQ(Utf8(json.text()), "[{\"a\":1,\"b\":[true,null,\"x\"],\"c\":{},\"d\":-2147483648},[]]");
    parsed(Utf8(json.text()));
}

// The names OpenPrinterW gets for an XCV handle, with and without --server.
struct XcvNameCase {
    const wchar_t* server;
    const wchar_t* name;
    BOOL isMonitor;
    const wchar_t* expected;
};
const XcvNameCase kXcvNameCases[] = {
    {nullptr, L"Zephrin TCP/IP Network Port", TRUE, L",XcvMonitor Zephrin TCP/IP Network Port"},
    {nullptr, L"Zephrin:10.1.2.3", FALSE, L",XcvPort Zephrin:10.1.2.3"},
    {L"\\\\printhost", L"Zephrin TCP/IP Network Port", TRUE,
     L"\\\\printhost\\,XcvMonitor Zephrin TCP/IP Network Port"},
    {L"\\\\printhost", L"Zephrin:10.1.2.3", FALSE, L"\\\\printhost\\,XcvPort Zephrin:10.1.2.3"},
    {L"\\\\h", nullptr, TRUE, L"\\\\h\\,XcvMonitor "},
};

TEST(CtlXcvName, ServerPrefixesTheObjectNameAndTheSizeCountsTheNul)
{
    for (const XcvNameCase& c : kXcvNameCases) {
        const DWORD needed = lanportui::XcvObjectName(c.server, c.name, c.isMonitor, nullptr, 0);
        EXPECT_EQ(needed, wcslen(c.expected) + 1) << Utf8(c.expected);
        std::vector<wchar_t> buffer(needed + 1, L'#');
        // One character short: nothing written.
        EXPECT_EQ(lanportui::XcvObjectName(c.server, c.name, c.isMonitor, buffer.data(), needed - 1), needed);
        EXPECT_EQ(buffer[0], L'#');
        EXPECT_EQ(lanportui::XcvObjectName(c.server, c.name, c.isMonitor, buffer.data(), needed), needed);
        EXPECT_EQ(std::wstring(buffer.data()), c.expected);
        EXPECT_EQ(buffer[needed], L'#') << "nothing beyond the NUL";
    }
}

FILETIME fileTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME parts{year, month, 0, day, hour, minute, second, 0};
    FILETIME time{};
    EXPECT_TRUE(SystemTimeToFileTime(&parts, &time));
    return time;
}

TEST(CtlStatusView, ReportTimesAreLocalTimeWithTheOffsetThatLeadsBackToUtc)
{
    for (FILETIME utc : {fileTime(2026, 12, 9, 1, 2, 3), fileTime(2026, 7, 1, 23, 59, 59)}) {
        std::string text = Utf8(lanportctl::LocalTimeText(utc));
        unsigned y, mo, d, h, mi, s, oh, om;
        char sign;
        ASSERT_EQ(sscanf(text.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u%c%2u:%2u", &y, &mo, &d, &h, &mi, &s, &sign, &oh, &om),
                  9)
            << text;
        ASSERT_EQ(text.size(), 25u) << text;
        ASSERT_TRUE(sign == '+' || sign == '-') << text;
        FILETIME local = fileTime(y, mo, d, h, mi, s);
        long long offset = (static_cast<long long>(oh) * 60 + om) * 60 * 10'000'000LL * (sign == '-' ? -1 : 1);
        auto ticks = [](const FILETIME& t) { return static_cast<long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime; };
        EXPECT_EQ(ticks(local) - offset, ticks(utc)) << text;
    }
}

// A status reply and the lines `status` prints for it.
struct StatusCase {
    GetPortStatusReply reply;
    std::vector<std::string> lines;
};

GetPortStatusReply statusReply(DWORD flags, DWORD inProgress, DWORD jobId, DWORD pjl, LONG page, DWORD report,
                               DWORD connectionError)
{
    GetPortStatusReply reply{};
    reply.portFlags = flags;
    reply.jobInProgress = inProgress;
    reply.jobId = jobId;
    reply.pjlAnswered = pjl;
    reply.lastPage = page;
    reply.lastReport = report;
    reply.lastConnectionError = connectionError;
    return reply;
}

TEST(CtlStatusView, LinesNameEveryFieldInWords)
{
    const std::string refused = Utf8(lanportctl::SystemErrorText(kRefused));
    EXPECT_NE(refused, "error 10061") << "the system has a text for a refused connection";
    const StatusCase cases[] = {
        {statusReply(0, 0, 0, 0, 0, kPortReportNone, 0),
         {"name: P", "flags: 0x0", "job: none in progress", "PJL answered: no", "last page: 0", "last report: none",
          "last connection error: none"}},
        {statusReply(kPortStatusOpen | kPortStatusBusy, 1, 12, 1, 2, kPortReportPage, 0),
         {"name: P", "flags: 0x3 (open busy)", "job: in progress, job id 12", "PJL answered: yes", "last page: 2",
          "last report: page", "last connection error: none"}},
        {statusReply(kPortStatusDeleted | kPortStatusOpen, 0, 7, 1, 3, kPortReportEnd, kRefused),
         {"name: P", "flags: 0x9 (open deleted)", "job: none in progress, last job id 7", "PJL answered: yes",
          "last page: 3", "last report: end", "last connection error: 10061 (" + refused + ")"}},
        {statusReply(0, 0, 0, 0, 0, 9, 0),
         {"name: P", "flags: 0x0", "job: none in progress", "PJL answered: no", "last page: 0",
          "last report: unknown (9)", "last connection error: none"}},
    };
    for (const StatusCase& c : cases) {
        std::vector<std::string> lines;
        for (const std::wstring& line : lanportctl::PortStatusLines(L"P", c.reply)) lines.push_back(Utf8(line));
        EXPECT_EQ(lines, c.lines);
    }
    GetPortStatusReply timed = statusReply(kPortStatusOpen, 1, 3, 1, 1, kPortReportStart, 0);
    timed.lastReportTime = fileTime(2026, 12, 9, 1, 2, 3);
    auto lines = lanportctl::PortStatusLines(L"P", timed);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[5], L"last report: start at " + lanportctl::LocalTimeText(timed.lastReportTime));
}

TEST(CtlStatusView, JsonHasEveryFieldUnderItsStableName)
{
    GetPortStatusReply reply = statusReply(kPortStatusOpen | kPortStatusBusy, 1, 12, 1, 2, kPortReportCancel,
                                           kRefused);
    reply.lastReportTime = fileTime(2026, 12, 9, 1, 2, 3);
    lanportctl::JsonWriter json;
    lanportctl::WritePortStatus(json, L"say \"\u00fc\"", reply);
    JsonValue value = parsed(Utf8(json.text()));
    EXPECT_EQ(value.keys(), (std::vector<std::string>{"name", "flags", "open", "busy", "deleted", "jobInProgress",
                                                      "jobId", "pjlAnswered", "lastPage", "lastReport",
                                                      "lastReportTime", "lastConnectionError",
                                                      "lastConnectionErrorText"}));
    EXPECT_EQ(value.member("name")->text, "say \"\xc3\xbc\"");
    EXPECT_EQ(value.member("flags")->text, "3");
    EXPECT_TRUE(value.member("open")->boolean);
    EXPECT_TRUE(value.member("busy")->boolean);
    EXPECT_EQ(value.member("deleted")->kind, Kind::Boolean);
    EXPECT_FALSE(value.member("deleted")->boolean);
    EXPECT_TRUE(value.member("jobInProgress")->boolean);
    EXPECT_EQ(value.member("jobId")->text, "12");
    EXPECT_TRUE(value.member("pjlAnswered")->boolean);
    EXPECT_EQ(value.member("lastPage")->text, "2");
    EXPECT_EQ(value.member("lastReport")->text, "cancel");
    EXPECT_EQ(value.member("lastReportTime")->text, Utf8(lanportctl::LocalTimeText(reply.lastReportTime)));
    EXPECT_EQ(value.member("lastConnectionError")->text, "10061");
    EXPECT_EQ(value.member("lastConnectionErrorText")->text, Utf8(lanportctl::SystemErrorText(kRefused)));

    // Before any report and without an error.
    lanportctl::JsonWriter idle;
    lanportctl::WritePortStatus(idle, L"P", GetPortStatusReply{});
    JsonValue none = parsed(Utf8(idle.text()));
    EXPECT_EQ(none.member("lastReportTime")->kind, Kind::Null);
    EXPECT_EQ(none.member("lastReport")->text, "none");
    EXPECT_EQ(none.member("lastConnectionErrorText")->text, "");
}

}  // namespace
