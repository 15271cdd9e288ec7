// lanportctl.exe as an administrator runs it: a child process of its own, against
// lanport.dll registered with Wine's spooler, checked by its exit status and output, by
// the monitor's registry key and by the ports a new process sees.
#include <algorithm>

#include "ctlfixture.h"
#include "jsonvalue.h"

using namespace ctl_testing;
using namespace ui_testing;
using testing_support::JsonValue;

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

// The one line of JSON a run printed, read strictly.
JsonValue jsonOutput(const CtlRun& run)
{
    JsonValue value;
    std::string error;
    EXPECT_EQ(run.out.size(), 1u) << "one line of JSON";
    EXPECT_TRUE(!run.out.empty() && testing_support::ParseJson(run.out[0], &value, &error))
        << error << " in " << (run.out.empty() ? "" : run.out[0]);
    return value;
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

TEST_F(CtlUsageTest, HelpAndItsSynonymsListTheCommandsOptionsFieldsAndExitCodes)
{
    const CtlRun reference = Ctl({L"--help"});
    for (const wchar_t* flag : {L"--help", L"-h", L"-?", L"/?", L"help"}) {
        CtlRun run = Ctl({flag});
        EXPECT_EQ(run.exitCode, 0u) << narrow(flag);
        EXPECT_EQ(run.err, kNothing);
        ASSERT_FALSE(run.out.empty());
        EXPECT_EQ(run.out, reference.out) << narrow(flag);
        EXPECT_EQ(run.out[0], "usage: lanportctl [--server \\\\name] <command> [arguments]");
        std::string text;
        for (const std::string& line : run.out) text += line + "\n";
        for (const char* part :
             {"  list [--json] ", "  add [--force] <address> [name] ", "  show [--json] <port> ",
              "  set <port> [--address <address>] [--timeout <seconds>] [--retries <count>] [--community <name>]",
              "  set-address <port> <address> ", "  status [--json] [port] ", "  delete <port> ",
              "  help, -h, --help, -?, /? ", "with --force it answers yes", "from 1 to 3600", "from 0 to 100",
              "1 to 255 characters", "{name, address}", "lastConnectionErrorText}", "  0  success",
              "  1  refused by the monitor or the spooler", "  2  usage error", "  3  invalid value",
              "  4  the spooler of the server named by --server"})
            EXPECT_TRUE(contains(text, part)) << part;
    }
}

TEST_F(CtlUsageTest, MissingOrUnknownCommandsAreUsageErrors)
{
    refusedAsUsage({}, "a command is required");
    refusedAsUsage({L"frobnicate"}, "unknown command: frobnicate");
    refusedAsUsage({L"List"}, "unknown command: List");
    refusedAsUsage({L"--help", L"list"}, "wrong number of arguments for --help");
    refusedAsUsage({L"/?", L"x"}, "wrong number of arguments for /?");
    refusedAsUsage({L"--server"}, "option --server needs a value");
    refusedAsUsage({L"--server", L"\\\\host"}, "a command is required");
    refusedAsUsage({L"list", L"--server", L"\\\\host"}, "unknown option for list: --server");
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
    refusedAsUsage({L"list", L"--xml"}, "unknown option for list: --xml");
    refusedAsUsage({L"show", L"--json"}, "wrong number of arguments for show");
    refusedAsUsage({L"show", L"--json", L"--json", L"a"}, "option --json of show given twice");
    refusedAsUsage({L"status", L"a", L"b"}, "wrong number of arguments for status");
    refusedAsUsage({L"set"}, "wrong number of arguments for set");
    refusedAsUsage({L"set", L"a"}, "set needs at least one of --address, --timeout, --retries, --community");
    refusedAsUsage({L"set", L"a", L"b", L"--timeout", L"5"}, "wrong number of arguments for set");
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

// set changes exactly the fields given: the stored record is the one before, byte for
// byte, with those fields changed.
struct SetCase {
    std::vector<std::wstring> options;
    void (*change)(ConfigInfo*);
};
// The community field as the request carries it: the text, then NULs to its end.
void community(ConfigInfo* config, const std::wstring& text)
{
    memset(config->community, 0, sizeof config->community);
    wcscpy(config->community, text.c_str());
}
const SetCase kSetCases[] = {
    {{L"--timeout", L"300"}, [](ConfigInfo* c) { c->timeout = 300; }},
    {{L"--timeout", L"1"}, [](ConfigInfo* c) { c->timeout = 1; }},
    {{L"--timeout", L"3600"}, [](ConfigInfo* c) { c->timeout = 3600; }},
    {{L"--retries", L"0"}, [](ConfigInfo* c) { c->retryCount = 0; }},
    {{L"--retries", L"100"}, [](ConfigInfo* c) { c->retryCount = 100; }},
    {{L"--community", L"public"}, [](ConfigInfo* c) { community(c, L"public"); }},
    {{L"--community", std::wstring(255, L'c')},
     [](ConfigInfo* c) { community(c, std::wstring(255, L'c')); }},
    {{L"--address", L"10.1.2.50"}, [](ConfigInfo* c) { c->ipAddress = ipv4(10, 1, 2, 50); }},
    {{L"--address", L"localhost"}, [](ConfigInfo* c) { c->ipAddress = ipv4(127, 0, 0, 1), c->addrFormat = 4; }},
    {{L"--address", L"10.1.2.3"}, [](ConfigInfo*) {}},  // its own address: written back unchanged
    // The community goes by the port's address, which changes in the same run.
    {{L"--community", L"both", L"--retries", L"3", L"--address", L"10.1.2.60", L"--timeout", L"45"},
     [](ConfigInfo* c) {
         community(c, L"both");
         c->retryCount = 3;
         c->ipAddress = ipv4(10, 1, 2, 60);
         c->timeout = 45;
     }},
};

TEST_F(CtlTest, SetChangesTheGivenFieldsAndKeepsEveryOther)
{
    for (const SetCase& c : kSetCases) {
        const ConfigInfo before = UnusualConfig(ipv4(10, 1, 2, 3));
        writePort(kLanportMonitor, L"Zephrin:10.1.2.3", before);
        std::vector<std::wstring> arguments{L"set", L"zephrin:10.1.2.3"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        CtlRun run = Ctl(arguments);
        const std::string what = narrow(c.options[0]) + " " + narrow(c.options[1]).substr(0, 20);
        EXPECT_EQ(run.exitCode, 0u) << what << ": " << (run.err.empty() ? "" : run.err[0]);
        EXPECT_EQ(run.out, kNothing) << what;
        EXPECT_EQ(run.err, kNothing) << what;
        ConfigInfo expected = before;
        c.change(&expected);
        ConfigInfo stored;
        ASSERT_TRUE(readPort(kLanportMonitor, L"Zephrin:10.1.2.3", &stored));
        EXPECT_EQ(memcmp(&stored, &expected, sizeof stored), 0) << what;
    }
}

// Refused values: the exit status, the one line on stderr, and nothing stored.
struct BadSetCase {
    std::vector<std::wstring> options;
    DWORD exitCode;
    std::string line;
};
const char kSeeHelp[] = " (lanportctl --help lists the commands)";
const BadSetCase kBadSetCases[] = {
    {{L"--timeout", L"0"}, 3, "--timeout must be a whole number from 1 to 3600: 0"},
    {{L"--timeout", L"3601"}, 3, "--timeout must be a whole number from 1 to 3600: 3601"},
    {{L"--timeout", L"-5"}, 3, "--timeout must be a whole number from 1 to 3600: -5"},
    {{L"--timeout", L"12s"}, 3, "--timeout must be a whole number from 1 to 3600: 12s"},
    {{L"--timeout", L"+12"}, 3, "--timeout must be a whole number from 1 to 3600: +12"},
    {{L"--timeout", L"99999999999999999999"}, 3,
     "--timeout must be a whole number from 1 to 3600: 99999999999999999999"},
    {{L"--retries", L"101"}, 3, "--retries must be a whole number from 0 to 100: 101"},
    {{L"--retries", L""}, 3, "--retries must be a whole number from 0 to 100: "},
    {{L"--timeout", L"30", L"--retries", L"x"}, 3, "--retries must be a whole number from 0 to 100: x"},
    {{L"--community", L""}, 3, "--community must have 1 to 255 characters, not 0"},
    {{L"--community", std::wstring(256, L'c')}, 3, "--community must have 1 to 255 characters, not 256"},
    {{L"--address", L"10.1.2"}, 1, "the network address was not found or is not valid: 10.1.2"},
    {{L"--address", L""}, 1, "a network address is required"},
    {{L"--timeout", L"30", L"--address", L"10.1.2.4"}, 1, "address already used by port office"},
    {{L"--community", L"new", L"--address", L"10.1.2.300"}, 1,
     "the network address was not found or is not valid: 10.1.2.300"},
    {{L"--timeout"}, 2, std::string("option --timeout of set needs a value") + kSeeHelp},
    {{L"--colour", L"red"}, 2, std::string("unknown option for set: --colour") + kSeeHelp},
    {{L"--timeout", L"5", L"--timeout", L"6"}, 2, std::string("option --timeout of set given twice") + kSeeHelp},
};

TEST_F(CtlTest, SetRefusesBadValuesWithTheirExitStatusAndChangesNothing)
{
    const ConfigInfo before = UnusualConfig(ipv4(10, 1, 2, 3));
    writePort(kLanportMonitor, L"Zephrin:10.1.2.3", before);
    writePort(kLanportMonitor, L"office", UnusualConfig(ipv4(10, 1, 2, 4)));
    for (const BadSetCase& c : kBadSetCases) {
        std::vector<std::wstring> arguments{L"set", L"Zephrin:10.1.2.3"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        CtlRun run = Ctl(arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.line;
        EXPECT_EQ(run.err, Lines{"lanportctl: " + c.line});
        EXPECT_EQ(run.out, kNothing) << c.line;
        expectStored(L"Zephrin:10.1.2.3", before);
    }
}

TEST_F(CtlTest, SetOfAnUnknownPortOrAnotherMonitorsPortIsRefused)
{
    const std::string monitor = FreshPorts()["LPT1:"];
    CtlRun run = Ctl({L"set", L"Zephrin:10.9.9.9", L"--timeout", L"30"});
    expectRefused(run, "lanportctl: no such port: Zephrin:10.9.9.9");
    run = Ctl({L"set", L"LPT1:", L"--community", L"x"});
    expectRefused(run, "lanportctl: port LPT1: belongs to the monitor " + monitor +
                             ", not to Zephrin TCP/IP Network Port");
}

// Names that JSON must escape or carry as UTF-8, stored as the monitor finds them.
const std::wstring kJsonNames[] = {L"Zephrin:10.1.2.3", L"say \"hi\"", L"tab\there", L"B\u00fcro \u20ac \xd83d\xdda8"};

TEST_F(CtlTest, ListAndShowAsJsonCarryEveryNameExactly)
{
    BYTE last = 3;
    for (const std::wstring& name : kJsonNames) writePort(kLanportMonitor, name, UnusualConfig(ipv4(10, 1, 2, last++)));

    CtlRun run = Ctl({L"list", L"--json"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.err, kNothing);
    JsonValue list = jsonOutput(run);
    ASSERT_EQ(list.kind, JsonValue::Kind::Array);
    Lines names, expectedNames;
    for (const JsonValue& port : list.items) {
        EXPECT_EQ(port.keys(), (Lines{"name", "address"}));
        names.push_back(port.member("name")->text);
    }
    for (const std::wstring& name : kJsonNames) expectedNames.push_back(Utf8(name));
    EXPECT_EQ(sorted(names), sorted(expectedNames));

    last = 3;
    for (const std::wstring& name : kJsonNames) {
        run = Ctl({L"show", name, L"--json"});
        EXPECT_EQ(run.exitCode, 0u) << Utf8(name);
        JsonValue port = jsonOutput(run);
        EXPECT_EQ(port.keys(), (Lines{"name", "address", "addressFormat", "addressFormatCode", "timeout", "retryCount",
                                      "community", "monitorFrequency", "trapPort", "monitorLevel", "flags", "open",
                                      "busy"}));
        if (port.keys().size() != 13) continue;
        EXPECT_EQ(port.member("name")->text, Utf8(name));
        EXPECT_EQ(port.member("address")->text, "10.1.2." + std::to_string(last++));
        EXPECT_EQ(port.member("addressFormat")->text, "dotted-decimal");
        EXPECT_EQ(port.member("addressFormatCode")->text, "2");
        EXPECT_EQ(port.member("timeout")->text, "77");
        EXPECT_EQ(port.member("retryCount")->text, "5");
        EXPECT_EQ(port.member("community")->text, "old community");
        EXPECT_EQ(port.member("monitorFrequency")->text, "9");
        EXPECT_EQ(port.member("trapPort")->text, "162");
        EXPECT_EQ(port.member("monitorLevel")->text, "7");
        EXPECT_EQ(port.member("flags")->text, "0");
        EXPECT_EQ(port.member("open")->kind, JsonValue::Kind::Boolean);
        EXPECT_FALSE(port.member("busy")->boolean);
    }
}

// In a process of its own the monitor has printed nothing: every port is idle.
TEST_F(CtlTest, StatusAsJsonCarriesEveryNameExactly)
{
    for (const std::wstring& name : kJsonNames) writePort(kLanportMonitor, name, UnusualConfig(ipv4(10, 1, 2, 3)));
    CtlRun run = Ctl({L"status", L"--json"});
    EXPECT_EQ(run.exitCode, 0u);
    JsonValue all = jsonOutput(run);
    ASSERT_EQ(all.kind, JsonValue::Kind::Array);
    Lines names, expectedNames;
    for (const JsonValue& port : all.items) {
        names.push_back(port.member("name") ? port.member("name")->text : "");
        EXPECT_EQ(port.member("jobInProgress")->boolean, false);
        EXPECT_EQ(port.member("lastReportTime")->kind, JsonValue::Kind::Null);
    }
    for (const std::wstring& name : kJsonNames) expectedNames.push_back(Utf8(name));
    EXPECT_EQ(sorted(names), sorted(expectedNames));

    for (const std::wstring& name : kJsonNames) {
        run = Ctl({L"status", L"--json", name});
        EXPECT_EQ(run.exitCode, 0u) << Utf8(name);
        JsonValue port = jsonOutput(run);
        ASSERT_EQ(port.kind, JsonValue::Kind::Object) << "one port: one object";
        EXPECT_EQ(port.member("name")->text, Utf8(name));
    }
}

TEST_F(CtlTest, ListAsJsonOfNoPortsIsAnEmptyArrayAndShowOfAnUnknownPortPrintsNone)
{
    CtlRun run = Ctl({L"list", L"--json"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, Lines{"[]"});
    run = Ctl({L"status", L"--json"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, Lines{"[]"});
    run = Ctl({L"show", L"--json", L"Zephrin:10.9.9.9"});
    expectRefused(run, "lanportctl: no such port: Zephrin:10.9.9.9");
    run = Ctl({L"status", L"--json", L"Zephrin:10.9.9.9"});
    expectRefused(run, "lanportctl: no such port: Zephrin:10.9.9.9");
}

std::wstring computerName()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = L"";
    DWORD chars = MAX_COMPUTERNAME_LENGTH + 1;
    EXPECT_TRUE(GetComputerNameW(name, &chars));
    return name;
}

// Wine's spooler takes this computer's own name for the local spooler: the name the
// tool forms reaches it and the commands work as without --server.
TEST_F(CtlTest, ServerNamedAsThisComputerReachesTheLocalSpooler)
{
    const std::wstring server = L"\\\\" + computerName();
    CtlRun run = Ctl({L"--server", server, L"add", L"10.1.2.3", L"office"});
    EXPECT_EQ(run.exitCode, 0u) << (run.err.empty() ? "" : run.err[0]);
    EXPECT_EQ(run.out, Lines{"office"});
    run = Ctl({L"--server", server, L"set", L"office", L"--timeout", L"44"});
    EXPECT_EQ(run.exitCode, 0u) << (run.err.empty() ? "" : run.err[0]);
    run = Ctl({L"--server", server, L"list"});
    EXPECT_EQ(run.out, Lines{"office\t10.1.2.3"});
    ConfigInfo expected = testing_support::DefaultConfig(ipv4(10, 1, 2, 3));
    expected.timeout = 44;
    expectStored(L"office", expected);
    run = Ctl({L"--server", server, L"delete", L"office"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(storedPorts().empty());
}

// Wine's spooler serves no other computer: every command reports the refusal with the
// server's name and the system's text, with status 4, and changes nothing.
TEST_F(CtlTest, ServerThatRefusesIsReportedByEveryCommand)
{
    add(L"10.1.2.3");
    const std::vector<std::vector<std::wstring>> commands = {
        {L"list"}, {L"list", L"--json"}, {L"show", L"Zephrin:10.1.2.3"}, {L"status"}, {L"status", L"Zephrin:10.1.2.3"},
        {L"set", L"Zephrin:10.1.2.3", L"--timeout", L"9"}, {L"set-address", L"Zephrin:10.1.2.3", L"10.1.2.9"},
        {L"delete", L"Zephrin:10.1.2.3"}, {L"add", L"10.1.2.8"}};
    for (const auto& command : commands) {
        std::vector<std::wstring> arguments{L"--server", L"\\\\nosuchprinthost"};
        arguments.insert(arguments.end(), command.begin(), command.end());
        CtlRun run = Ctl(arguments);
        const std::string what = narrow(command[0]);
        EXPECT_EQ(run.exitCode, 4u) << what;
        EXPECT_EQ(run.out, kNothing) << what;
        ASSERT_EQ(run.err.size(), 1u) << what;
        const std::string& line = run.err[0];
        EXPECT_TRUE(contains(line, " on server \\\\nosuchprinthost: ")) << line;
        EXPECT_EQ(line.rfind("lanportctl: cannot ", 0), 0u) << line;
        // The system's text, then the code.
        size_t text = line.find(": ", line.find("nosuchprinthost")) + 2, code = line.rfind(" (error ");
        ASSERT_NE(code, std::string::npos) << line;
        EXPECT_GT(code, text + 5) << line;
        EXPECT_EQ(line.back(), ')') << line;
    }
    expectStored(L"Zephrin:10.1.2.3", testing_support::DefaultConfig(ipv4(10, 1, 2, 3)));
    EXPECT_EQ(storedPorts().size(), 1u);
}

TEST_F(CtlTest, MalformedServerNamesAreInvalidValues)
{
    for (const wchar_t* server : {L"printhost", L"\\\\", L"\\printhost", L"\\\\print\\host", L"\\\\a,b", L"\\\\a b"}) {
        CtlRun run = Ctl({L"--server", server, L"list"});
        EXPECT_EQ(run.exitCode, 3u) << narrow(server);
        EXPECT_EQ(run.err, Lines{"lanportctl: --server needs a server name of the form \\\\name: " + narrow(server)});
        EXPECT_EQ(run.out, kNothing);
    }
}
