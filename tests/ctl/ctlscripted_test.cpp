// lanportctl's commands in this process against the scripted monitor: the answers
// lanport.dll never gives (the questions the add-port dialog asks, the printer's
// failures, a running port whose address differs from its stored one) and the requests
// the commands send for them.
#include "commandline.h"
#include "commands.h"
#include "ctlfixture.h"
#include "scriptedfixture.h"

using namespace ctl_testing;
using namespace ui_testing;

namespace {

using Lines = std::vector<std::string>;

class CtlScriptedTest : public ScriptedTest {
protected:
    int add(const std::wstring& address, const std::wstring& name, bool force)
    {
        output = RecordedOutput();
        lanportctl::Session session{kScriptedMonitor, output};
        return lanportctl::RunAdd(session, address, name, force);
    }

    void answerAddPort(DWORD errRc)
    {
        answer(L"AddPort", ERROR_GEN_FAILURE, AddPortReply{0, errRc});
    }

    std::vector<AddPortRequest> addRequests() const
    {
        std::vector<AddPortRequest> records;
        for (const RecordedRequest& request : requests())
            if (request.command == L"AddPort") records.push_back(recordOf<AddPortRequest>(request));
        return records;
    }

    // The command line `args`, run here.
    int run(const std::vector<std::wstring>& args)
    {
        output = RecordedOutput();
        lanportctl::Session session{kScriptedMonitor, output, L""};
        return lanportctl::RunCommandLine(args, session);
    }

    void answerConfig(const ConfigInfo& config, const wchar_t* dotted)
    {
        GetPortConfigReply reply{};
        reply.configInfo = config;
        wcscpy(reply.dottedAddress, dotted);
        answer(L"GetPortConfig", ERROR_SUCCESS, reply);
    }

    void answerPortName(DWORD status, const std::wstring& name)
    {
        answer(L"GetPortName", status, name.c_str(), static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)));
    }

    template <class Record>
    std::vector<Record> sent(const wchar_t* command) const
    {
        std::vector<Record> records;
        for (const RecordedRequest& request : requests())
            if (request.command == command) records.push_back(recordOf<Record>(request));
        return records;
    }

    RecordedOutput output;
};

const char kRestricted[] = "lanportctl: the printer has been configured to not allow printing from this workstation";
const char kPort2501[] = "lanportctl: port 2501 has been disabled on the printer";

}  // namespace

TEST_F(CtlScriptedTest, SendsTheDialogsRequestsInTheDialogsOrder)
{
    acceptAddress(ipv4(10, 1, 2, 3), L"10.1.2.3");
    EXPECT_EQ(add(L"10.1.2.3", L"", false), lanportctl::kExitSuccess);
    EXPECT_EQ(output.outLines, Lines{"Zephrin:10.1.2.3"});
    EXPECT_EQ(commands(), (std::vector<std::wstring>{L"VerPortAddr", L"VerPortName", L"AddPort"}));
    auto sent = requests();
    ASSERT_EQ(sent.size(), 3u);
    auto verify = recordOf<VerPortAddrRequest>(sent[0]);
    EXPECT_STREQ(verify.addressText, L"10.1.2.3");
    EXPECT_EQ(verify.addrFormat, 2u);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(sent[1].input.data()), sent[1].input.size() / 2),
              std::wstring(L"Zephrin:10.1.2.3", 17)) << "the name with its NUL";
    AddPortRequest request = recordOf<AddPortRequest>(sent[2]);
    EXPECT_STREQ(request.portName, L"Zephrin:10.1.2.3");
    EXPECT_STREQ(request.addressText, L"10.1.2.3");
    EXPECT_EQ(request.requestFlags, 0u);
    ConfigInfo expected{};
    expected.timeout = 300;
    expected.retryCount = 2;
    wcscpy(expected.community, L"kestro_gauge");
    expected.monitorFrequency = 2;
    expected.ipAddress = ipv4(10, 1, 2, 3);
    expected.addrFormat = 2;
    EXPECT_EQ(memcmp(&request.configInfo, &expected, sizeof expected), 0);
    EXPECT_EQ(openHandles(), 0) << "the XCV handle is closed";
}

TEST_F(CtlScriptedTest, RestrictedPrinterWithoutForceCreatesNothing)
{
    acceptAddress(ipv4(10, 1, 2, 3), L"10.1.2.3");
    answerAddPort(66);
    EXPECT_EQ(add(L"10.1.2.3", L"", false), lanportctl::kExitRefused);
    EXPECT_EQ(output.errLines,
              Lines{std::string(kRestricted) + "; port not created (--force creates it anyway)"});
    EXPECT_EQ(output.outLines, Lines{});
    EXPECT_EQ(addRequests().size(), 1u) << "no second request";
}

TEST_F(CtlScriptedTest, ForceAnswersYesWithTheQuestionsFlags)
{
    acceptAddress(ipv4(10, 1, 2, 3), L"10.1.2.3");
    answerAddPort(67);
    answerAddPort(66);
    EXPECT_EQ(add(L"10.1.2.3", L"office", true), lanportctl::kExitSuccess);
    EXPECT_EQ(output.outLines, Lines{"office"});
    EXPECT_EQ(output.errLines, Lines{});
    auto sent = addRequests();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].requestFlags, 0u);
    EXPECT_EQ(sent[1].requestFlags, 0x1u) << "createIfPort2501Disabled";
    EXPECT_EQ(sent[2].requestFlags, 0x3u) << "a flag once set stays set";
    EXPECT_STREQ(sent[2].portName, L"office");
}

TEST_F(CtlScriptedTest, AQuestionAskedAgainAfterForceEndsTheCommand)
{
    acceptAddress(ipv4(10, 1, 2, 3), L"10.1.2.3");
    answerAddPort(67);
    answerAddPort(67);
    answerAddPort(67);
    EXPECT_EQ(add(L"10.1.2.3", L"", true), lanportctl::kExitRefused);
    EXPECT_EQ(output.errLines, Lines{std::string(kPort2501) + "; the monitor refused the port even so"});
    EXPECT_EQ(addRequests().size(), 2u);
}

TEST_F(CtlScriptedTest, PrinterFailuresOfAddPortHaveTheirOwnTexts)
{
    const std::pair<DWORD, std::string> cases[] = {
        {150, "lanportctl: printer did not respond: verify that the printer is powered on, the network address is "
              "an Qel network printer, and the network is available"},
        {152, "lanportctl: the host with the specified network address is not a supported printer type"},
        {10, "lanportctl: error adding the Zephrin network port Zephrin:10.1.2.3"},
    };
    for (const auto& [errRc, text] : cases) {
        reset();
        acceptAddress(ipv4(10, 1, 2, 3), L"10.1.2.3");
        answerAddPort(errRc);
        EXPECT_EQ(add(L"10.1.2.3", L"", true), lanportctl::kExitRefused) << errRc;
        EXPECT_EQ(output.errLines, Lines{text}) << errRc;
        EXPECT_EQ(addRequests().size(), 1u) << errRc;
    }
}

TEST_F(CtlScriptedTest, AddressAndNameCheckFailuresCarryTheDialogsMeaning)
{
    VerPortAddrReply notFound{};
    notFound.errRc = kErrRcHostNotFound;
    answer(L"VerPortAddr", ERROR_GEN_FAILURE, notFound);
    EXPECT_EQ(add(L"localhost", L"", false), lanportctl::kExitRefused);
    EXPECT_EQ(output.errLines, Lines{"lanportctl: the network address was not found or is not valid: localhost"});

    VerPortAddrReply general{};
    general.errRc = kErrRcGeneral;
    answer(L"VerPortAddr", ERROR_GEN_FAILURE, general);
    EXPECT_EQ(add(L"10.1.2.3", L"", false), lanportctl::kExitRefused);
    EXPECT_EQ(output.errLines, Lines{"lanportctl: an error occurred while verifying network address 10.1.2.3"});

    acceptAddress(ipv4(10, 1, 2, 3), L"10.1.2.3");
    answer(L"VerPortName", ERROR_GEN_FAILURE, DWORD{L'<'});
    EXPECT_EQ(add(L"10.1.2.3", L"a<b", false), lanportctl::kExitRefused);
    EXPECT_EQ(output.errLines, Lines{"lanportctl: the port name a<b is invalid: it cannot contain any of the "
                                     "following characters: ,\\"});

    acceptAddress(ipv4(10, 1, 2, 3), L"10.1.2.3");
    answer(L"VerPortName", ERROR_GEN_FAILURE, DWORD{7});
    EXPECT_EQ(add(L"10.1.2.3", L"odd", false), lanportctl::kExitRefused);
    EXPECT_EQ(output.errLines, Lines{"lanportctl: an error occurred while verifying port name odd"});
    EXPECT_EQ(addRequests().size(), 0u) << "nothing is added after a failed check";
}

// "CfgPort" carries the fetched record with the new address, timeout and retries and the
// old community; "UpdPortComm" then names the port by the address it runs with, the old one.
TEST_F(CtlScriptedTest, SetWritesTheRecordThenTheCommunityByTheRunningAddress)
{
    definePort(L"P1");
    answerConfig(UnusualConfig(ipv4(10, 1, 2, 3)), L"10.1.2.3");
    acceptAddress(ipv4(10, 1, 2, 50), L"10.1.2.50");
    answerPortName(ERROR_SUCCESS, L"p1");
    EXPECT_EQ(run({L"set", L"P1", L"--community", L"fresh", L"--address", L"10.1.2.50", L"--timeout", L"30",
                   L"--retries", L"0"}),
              lanportctl::kExitSuccess)
        << (output.errLines.empty() ? "" : output.errLines[0]);
    EXPECT_EQ(commands(),
              (std::vector<std::wstring>{L"GetPortConfig", L"VerPortAddr", L"GetPortName", L"CfgPort", L"UpdPortComm"}));
    auto names = sent<GetPortNameRequest>(L"GetPortName");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].ipAddress, ipv4(10, 1, 2, 3));
    auto configured = sent<CfgPortRequest>(L"CfgPort");
    ASSERT_EQ(configured.size(), 1u);
    EXPECT_STREQ(configured[0].portName, L"P1");
    ConfigInfo expected = UnusualConfig(ipv4(10, 1, 2, 3));
    expected.ipAddress = ipv4(10, 1, 2, 50);
    expected.timeout = 30;
    expected.retryCount = 0;
    EXPECT_EQ(memcmp(&configured[0].configInfo, &expected, sizeof expected), 0);
    auto community = sent<UpdPortCommRequest>(L"UpdPortComm");
    ASSERT_EQ(community.size(), 1u);
    EXPECT_EQ(community[0].ipAddress, ipv4(10, 1, 2, 3));
    EXPECT_STREQ(community[0].community, L"fresh");
    EXPECT_EQ(openHandles(), 0) << "the XCV handle is closed";
}

// Until the monitor restarts it knows a port whose address was changed by its old one:
// the stored address names no port, or another one, and the community stays as it is.
TEST_F(CtlScriptedTest, SetRefusesACommunityWhenTheStoredAddressIsNotThePortsOwn)
{
    const std::pair<DWORD, std::wstring> holders[] = {{ERROR_SUCCESS, L"P2"}, {ERROR_UNKNOWN_PORT, L""}};
    for (const auto& [status, holder] : holders) {
        reset();
        definePort(L"P1");
        answerConfig(UnusualConfig(ipv4(10, 1, 2, 3)), L"10.1.2.3");
        answerPortName(status, holder);
        EXPECT_EQ(run({L"set", L"P1", L"--timeout", L"30", L"--community", L"fresh"}), lanportctl::kExitRefused);
        EXPECT_EQ(output.errLines, Lines{"lanportctl: the community of port P1 cannot be changed now: the monitor "
                                         "knows the port by another address until it restarts"});
        EXPECT_EQ(commands(), (std::vector<std::wstring>{L"GetPortConfig", L"GetPortName"})) << "nothing written";
    }
}

TEST_F(CtlScriptedTest, SetReportsRefusedWritesAndWhatWasWrittenBefore)
{
    struct Case {
        const wchar_t* command;
        DWORD status;
        DWORD errRc;
        std::vector<std::wstring> sent;
        std::string line;
    };
    const Case cases[] = {
        {L"CfgPort", ERROR_GEN_FAILURE, kErrRcReadOnlyCommunity, {L"GetPortConfig", L"GetPortName", L"CfgPort"},
         "lanportctl: community is read-only: a read/write community is needed for effective monitoring"},
        {L"UpdPortComm", ERROR_UNKNOWN_PORT, kErrRcPortNotFound,
         {L"GetPortConfig", L"GetPortName", L"CfgPort", L"UpdPortComm"},
         "lanportctl: no such port: P1; the other settings were changed"},
    };
    for (const Case& c : cases) {
        reset();
        definePort(L"P1");
        answerConfig(UnusualConfig(ipv4(10, 1, 2, 3)), L"10.1.2.3");
        answerPortName(ERROR_SUCCESS, L"P1");
        answer(c.command, c.status, c.errRc);
        EXPECT_EQ(run({L"set", L"P1", L"--timeout", L"30", L"--community", L"fresh"}), lanportctl::kExitRefused);
        EXPECT_EQ(output.errLines, Lines{c.line});
        EXPECT_EQ(commands(), c.sent);
    }
}

TEST_F(CtlScriptedTest, StatusNamesTheMonitorsRefusalAndGoesOnWithTheOtherPorts)
{
    struct Case {
        DWORD status;
        DWORD errRc;
        std::string line;
    };
    const Case cases[] = {
        {ERROR_GEN_FAILURE, 0, "lanportctl: the monitor gave no status for port P1 (status 31, errRc 0)"},
        {ERROR_UNKNOWN_PORT, kErrRcPortNotFound, "lanportctl: no such port: P1"},
        {ERROR_SUCCESS, kErrRcGeneral, "lanportctl: the monitor gave no status for port P1 (status 0, errRc 10)"},
    };
    for (const Case& c : cases) {
        reset();
        definePort(L"P1");
        definePort(L"P2");
        GetPortStatusReply refused{};
        refused.errRc = c.errRc;
        answer(L"GetPortStatus", c.status, refused);
        GetPortStatusReply busy{};
        busy.portFlags = kPortStatusOpen | kPortStatusBusy;
        busy.jobInProgress = 1;
        busy.jobId = 4;
        answer(L"GetPortStatus", ERROR_SUCCESS, busy);
        EXPECT_EQ(run({L"status"}), lanportctl::kExitRefused) << c.line;
        EXPECT_EQ(output.errLines, Lines{c.line});
        EXPECT_EQ(output.outLines, (Lines{"name: P2", "flags: 0x3 (open busy)", "job: in progress, job id 4",
                                          "PJL answered: no", "last page: 0", "last report: none",
                                          "last connection error: none"}));
        auto asked = sent<GetPortStatusRequest>(L"GetPortStatus");
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_STREQ(asked[0].portName, L"P1");
        EXPECT_STREQ(asked[1].portName, L"P2");
    }
}
