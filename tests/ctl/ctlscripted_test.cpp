// lanportctl's add command in this process against the scripted monitor: the answers
// lanport.dll never gives (the questions the add-port dialog asks, the printer's
// failures) and the requests the command sends for them.
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
