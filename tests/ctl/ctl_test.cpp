// lanportctl.exe as an administrator runs it: a child process of its own, against
// lanport.dll registered with Wine's spooler, checked by its exit status and output, by
// the monitor's registry key and by the ports a new process sees.
#include <algorithm>

#include "ctlfixture.h"

using namespace ctl_testing;
using namespace ui_testing;

namespace {

using Lines = std::vector<std::string>;

const Lines kNothing;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

Lines sorted(Lines lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

// A refusal: status 1, the one line on stderr, nothing on stdout.
void expectRefused(const CtlRun& run, const std::string& line)
{
    EXPECT_EQ(run.exitCode, 1u) << line;
    EXPECT_EQ(run.err, Lines{line});
    EXPECT_EQ(run.out, kNothing) << line;
}

// The port's stored configuration is `expected`, byte for byte.
void expectStored(const std::wstring& port, const ConfigInfo& expected)
{
    ConfigInfo config;
    ASSERT_TRUE(readPort(kLanportMonitor, port, &config)) << narrow(port);
    EXPECT_EQ(memcmp(&config, &expected, sizeof config), 0) << narrow(port);
}

class CtlUsageTest : public CtlTest {
protected:
    // A usage error: status 2, one line on stderr, nothing on stdout, no port made.
    void refusedAsUsage(const std::vector<std::wstring>& arguments, const std::string& problem)
    {
        CtlRun run = Ctl(arguments);
        EXPECT_EQ(run.exitCode, 2u) << problem;
        ASSERT_EQ(run.err.size(), 1u) << problem;
        EXPECT_EQ(run.err[0].rfind("lanportctl: " + problem, 0), 0u) << run.err[0];
        EXPECT_TRUE(contains(run.err[0], "lanportctl --help")) << run.err[0];
        EXPECT_EQ(run.out, kNothing) << problem;
    }
};

}  // namespace

TEST_F(CtlUsageTest, HelpListsTheCommandsAndTheForceFlag)
{
    for (const wchar_t* flag : {L"--help", L"-h"}) {
        CtlRun run = Ctl({flag});
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.err, kNothing);
        ASSERT_FALSE(run.out.empty());
        EXPECT_EQ(run.out[0], "usage: lanportctl <command> [arguments]");
        std::string text;
        for (const std::string& line : run.out) text += line + "\n";
        for (const char* part : {"  list ", "  add [--force] <address> [name] ", "  show <port> ",
                                 "  set-address <port> <address> ", "  delete <port> ", "with --force it answers yes",
                                 "Exit status: 0 success, 1 refused by the monitor or the spooler, 2 usage error."})
            EXPECT_TRUE(contains(text, part)) << part;
    }
}

TEST_F(CtlUsageTest, MissingOrUnknownCommandsAreUsageErrors)
{
    refusedAsUsage({}, "a command is required");
    refusedAsUsage({L"frobnicate"}, "unknown command: frobnicate");
    refusedAsUsage({L"List"}, "unknown command: List");
    refusedAsUsage({L"--help", L"list"}, "wrong number of arguments for --help");
}

TEST_F(CtlUsageTest, WrongArgumentCountsAreUsageErrorsAndChangeNothing)
{
    refusedAsUsage({L"list", L"extra"}, "wrong number of arguments for list");
    refusedAsUsage({L"add"}, "wrong number of arguments for add");
    refusedAsUsage({L"add", L"--force"}, "wrong number of arguments for add");
    refusedAsUsage({L"add", L"10.1.2.3", L"name", L"extra"}, "wrong number of arguments for add");
    refusedAsUsage({L"add", L"--fast", L"10.1.2.3"}, "unknown option for add: --fast");
    refusedAsUsage({L"show"}, "wrong number of arguments for show");
    refusedAsUsage({L"show", L"a", L"b"}, "wrong number of arguments for show");
    refusedAsUsage({L"set-address", L"Zephrin:10.1.2.3"}, "wrong number of arguments for set-address");
    refusedAsUsage({L"delete"}, "wrong number of arguments for delete");
    refusedAsUsage({L"delete", L"a", L"b"}, "wrong number of arguments for delete");
    EXPECT_TRUE(storedPorts().empty());
}

TEST_F(CtlTest, AddCreatesThePortNamedAfterTheAddress)
{
    CtlRun run = Ctl({L"add", L"10.1.2.3"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, Lines{"Zephrin:10.1.2.3"});
    EXPECT_EQ(run.err, kNothing);

    // The dialog's defaults; the monitor sets the monitor level.
    expectStored(L"Zephrin:10.1.2.3", testing_support::DefaultConfig(ipv4(10, 1, 2, 3)));
    EXPECT_EQ(FreshPorts()["Zephrin:10.1.2.3"], narrow(kLanportMonitor));
}

TEST_F(CtlTest, AddTakesAGivenNameUnlessItBeginsWithThePrefix)
{
    EXPECT_EQ(add(L"10.1.2.4", L"office"), "office");
    EXPECT_EQ(add(L"10.1.2.5", L"Zephrin:other"), "Zephrin:10.1.2.5");
    EXPECT_EQ(add(L"10.1.2.6", L"zephrin:lower"), "zephrin:lower") << "the prefix is compared exactly";
    CtlRun run = Ctl({L"add", L"--", L"10.1.2.7", L"-dash"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, Lines{"-dash"}) << "a name after the end of the options";
    std::vector<std::string> names;
    for (const std::wstring& name : storedPorts()) names.push_back(narrow(name));
    EXPECT_EQ(sorted(names), sorted({"office", "Zephrin:10.1.2.5", "zephrin:lower", "-dash"}));
    expectStored(L"Zephrin:10.1.2.5", testing_support::DefaultConfig(ipv4(10, 1, 2, 5)));
}

TEST_F(CtlTest, AddOfLocalhostStoresTheLoopbackAddressAsAHostName)
{
    EXPECT_EQ(add(L"localhost"), "Zephrin:localhost");
    ConfigInfo expected = testing_support::DefaultConfig(ipv4(127, 0, 0, 1));
    expected.addrFormat = 4;
    expectStored(L"Zephrin:localhost", expected);
}

TEST_F(CtlTest, AddOfAnAddressInUseNamesThePortThatHasIt)
{
    add(L"10.1.2.3");
    CtlRun run = Ctl({L"add", L"10.1.2.3", L"second"});
    expectRefused(run, "lanportctl: address already used by port Zephrin:10.1.2.3");
    EXPECT_FALSE(portKeyExists(kLanportMonitor, L"second"));

    // The same address as a host name.
    add(L"127.0.0.1", L"loop");
    run = Ctl({L"add", L"localhost"});
    expectRefused(run, "lanportctl: address already used by port loop");
}

TEST_F(CtlTest, AddOfAUsedNameIsRefused)
{
    add(L"10.1.2.3", L"office");
    CtlRun run = Ctl({L"add", L"10.1.2.9", L"OFFICE"});
    expectRefused(run, "lanportctl: port name already used by another port: OFFICE");
    // A port of another monitor.
    run = Ctl({L"add", L"10.1.2.9", L"LPT1:"});
    expectRefused(run, "lanportctl: port name already used by another port: LPT1:");
    EXPECT_EQ(storedPorts(), std::vector<std::wstring>{L"office"});
}

TEST_F(CtlTest, AddOfAnInvalidAddressIsRefusedBeforeTheName)
{
    CtlRun run = Ctl({L"add", L"10.1.2", L"a,b"});
    expectRefused(run, "lanportctl: the printer's network address is invalid: 10.1.2");
    run = Ctl({L"add", L"10.1.2.300"});
    expectRefused(run, "lanportctl: the printer's network address is invalid: 10.1.2.300");
    run = Ctl({L"add", L""});
    expectRefused(run, "lanportctl: a network address is required");
    EXPECT_TRUE(storedPorts().empty());
}

TEST_F(CtlTest, NamesWithCommaOrBackslashOrTooManyCharactersAreRefused)
{
    for (const wchar_t* name : {L"a,b", L"a\\b", L"trailing\\"}) {
        CtlRun run = Ctl({L"add", L"10.1.2.3", name});
        expectRefused(run, "lanportctl: the port name " + narrow(name) +
                                 " is invalid: it cannot contain any of the following characters: ,\\");
    }
    CtlRun run = Ctl({L"add", L"10.1.2.3", std::wstring(129, L'n')});
    expectRefused(run, "lanportctl: the port name has more than 128 characters: " + std::string(129, 'n'));
    EXPECT_TRUE(storedPorts().empty());
    EXPECT_EQ(add(L"10.1.2.3", std::wstring(128, L'n')), std::string(128, 'n'));
}

TEST_F(CtlTest, ListShowsTheMonitorsPortsOnlyWithTheirAddresses)
{
    CtlRun run = Ctl({L"list"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, kNothing);
    EXPECT_EQ(run.err, kNothing);

    add(L"10.1.2.3");
    add(L"10.1.2.4", L"office");
    add(L"localhost", L"loop back");
    run = Ctl({L"list"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(sorted(run.out), sorted({"Zephrin:10.1.2.3\t10.1.2.3", "office\t10.1.2.4", "loop back\t127.0.0.1"}));
    EXPECT_EQ(run.err, kNothing);
    EXPECT_EQ(FreshPorts().count("LPT1:"), 1u) << "other monitors' ports exist and are not listed";
}

TEST_F(CtlTest, ShowPrintsTheStoredConfiguration)
{
    ConfigInfo config = testing_support::DefaultConfig(ipv4(10, 1, 2, 3));
    config.timeout = 77;
    config.retryCount = 5;
    wcscpy(config.community, L"public");
    config.monitorFrequency = 9;
    config.trapPort = 162;
    writePort(kLanportMonitor, L"Zephrin:10.1.2.3", config);

    CtlRun run = Ctl({L"show", L"zephrin:10.1.2.3"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.err, kNothing);
    EXPECT_EQ(run.out, (Lines{"name: Zephrin:10.1.2.3", "address: 10.1.2.3", "address format: dotted-decimal",
                              "timeout: 77", "retry count: 5", "community: public", "monitor frequency: 9",
                              "trap port: 162", "monitor level: 1", "flags: 0x0"}));
}

TEST_F(CtlTest, SetAddressStoresTheNewAddressAndKeepsTheRest)
{
    ConfigInfo config = testing_support::DefaultConfig(ipv4(10, 1, 2, 3));
    wcscpy(config.community, L"public");
    config.trapPort = 162;
    writePort(kLanportMonitor, L"Zephrin:10.1.2.3", config);

    CtlRun run = Ctl({L"set-address", L"Zephrin:10.1.2.3", L"10.1.2.50"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, kNothing);
    EXPECT_EQ(run.err, kNothing);
    ConfigInfo expected = config;
    expected.ipAddress = ipv4(10, 1, 2, 50);
    expectStored(L"Zephrin:10.1.2.3", expected);

    run = Ctl({L"set-address", L"Zephrin:10.1.2.3", L"localhost"});
    EXPECT_EQ(run.exitCode, 0u);
    expected.ipAddress = ipv4(127, 0, 0, 1);
    expected.addrFormat = 4;
    expectStored(L"Zephrin:10.1.2.3", expected);
    run = Ctl({L"show", L"Zephrin:10.1.2.3"});
    ASSERT_GE(run.out.size(), 3u);
    EXPECT_EQ(run.out[1], "address: 127.0.0.1");
    EXPECT_EQ(run.out[2], "address format: host name");
}

TEST_F(CtlTest, SetAddressToTheSameAddressWritesTheConfigurationUnchanged)
{
    ConfigInfo config = testing_support::DefaultConfig(ipv4(10, 1, 2, 3));
    config.monitorLevel = 7;
    writePort(kLanportMonitor, L"Zephrin:10.1.2.3", config);
    CtlRun run = Ctl({L"set-address", L"Zephrin:10.1.2.3", L"10.1.2.3"});
    EXPECT_EQ(run.exitCode, 0u) << (run.err.empty() ? "" : run.err[0]);
    expectStored(L"Zephrin:10.1.2.3", config);
}

TEST_F(CtlTest, SetAddressRefusesUsedAndInvalidAddresses)
{
    add(L"10.1.2.3");
    add(L"10.1.2.4", L"office");
    ConfigInfo before;
    ASSERT_TRUE(stored(L"office", &before));

    CtlRun run = Ctl({L"set-address", L"office", L"10.1.2.3"});
    expectRefused(run, "lanportctl: address already used by port Zephrin:10.1.2.3");
    // As in the properties dialog, a malformed address reads as one not found.
    run = Ctl({L"set-address", L"office", L"10.1.2"});
    expectRefused(run, "lanportctl: the network address was not found or is not valid: 10.1.2");
    run = Ctl({L"set-address", L"office", L""});
    expectRefused(run, "lanportctl: a network address is required");

    expectStored(L"office", before);
}

TEST_F(CtlTest, DeleteRemovesThePortWhateverTheCaseOfItsName)
{
    add(L"10.1.2.3");
    add(L"10.1.2.4", L"office");
    CtlRun run = Ctl({L"delete", L"ZEPHRIN:10.1.2.3"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, kNothing);
    EXPECT_EQ(run.err, kNothing);
    EXPECT_EQ(storedPorts(), std::vector<std::wstring>{L"office"});
    auto ports = FreshPorts();
    EXPECT_EQ(ports.count("Zephrin:10.1.2.3"), 0u);
    EXPECT_EQ(ports["office"], narrow(kLanportMonitor));

    run = Ctl({L"delete", L"Zephrin:10.1.2.3"});
    expectRefused(run, "lanportctl: no such port: Zephrin:10.1.2.3");
    // The address is free again.
    EXPECT_EQ(add(L"10.1.2.3", L"again"), "again");
}

TEST_F(CtlTest, UnknownPortsAreReportedByEveryPortCommand)
{
    add(L"10.1.2.3");
    const std::vector<std::vector<std::wstring>> commands = {
        {L"show", L"Zephrin:10.9.9.9"}, {L"set-address", L"Zephrin:10.9.9.9", L"10.1.2.8"},
        {L"delete", L"Zephrin:10.9.9.9"}};
    for (const auto& command : commands) {
        CtlRun run = Ctl(command);
        expectRefused(run, "lanportctl: no such port: Zephrin:10.9.9.9");
    }
    EXPECT_EQ(storedPorts(), std::vector<std::wstring>{L"Zephrin:10.1.2.3"});
}

TEST_F(CtlTest, OtherMonitorsPortsAreLeftAlone)
{
    ASSERT_EQ(FreshPorts().count("LPT1:"), 1u);
    const std::string monitor = FreshPorts()["LPT1:"];
    for (const auto& command : std::vector<std::vector<std::wstring>>{
             {L"delete", L"lpt1:"}, {L"show", L"LPT1:"}, {L"set-address", L"LPT1:", L"10.1.2.3"}}) {
        CtlRun run = Ctl(command);
        expectRefused(run, "lanportctl: port LPT1: belongs to the monitor " + monitor +
                                 ", not to Zephrin TCP/IP Network Port");
    }
    EXPECT_EQ(FreshPorts().count("LPT1:"), 1u);
    EXPECT_TRUE(storedPorts().empty());
}
