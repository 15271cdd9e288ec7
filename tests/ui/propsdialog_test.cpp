// The port properties dialog against the scripted monitor: the configuration fetched,
// shown and sent back, and the messages of each answer.
#include <gtest/gtest.h>

#include <functional>

#include "scriptedfixture.h"

using namespace ui_testing;

namespace {

const wchar_t kPort[] = L"Scripted:1";

class PropsDialogTest : public ScriptedTest {
protected:
    void SetUp() override
    {
        ScriptedTest::SetUp();
        fetched = testing_support::DefaultConfig(ipv4(10, 0, 0, 5));
        fetched.timeout = 77;
        wcscpy(fetched.community, L"private");
        fetched.trapPort = 162;
        writePort(kScriptedMonitor, kPort, fetched);
    }
    void TearDown() override
    {
        deletePortKey(kScriptedMonitor, kPort);
        ScriptedTest::TearDown();
    }

    void answerConfig(const ConfigInfo& config, const wchar_t* dotted)
    {
        GetPortConfigReply reply{};
        reply.configInfo = config;
        wcscpy(reply.dottedAddress, dotted);
        reply.portFlags = 0x1;
        answer(L"GetPortConfig", ERROR_SUCCESS, reply);
    }

    BOOL configure(const std::wstring& port, std::function<void(DialogDriver&, HWND)> script,
                   const std::wstring& title = L"")
    {
        DialogDriver driver([&](DialogDriver& d) {
            HWND dialog = d.waitFor(title.empty() ? uiText(IDS_CFG_TITLE) + L" " + port : title);
            if (dialog) script(d, dialog);
        });
        BOOL result = ui.table()->pfnConfigurePortUI(nullptr, owner.hwnd(), port.c_str());
        driver.finish();
        return result;
    }

    static void ends(DialogDriver& d, HWND dialog, int button)
    {
        d.press(dialog, button);
        d.waitGone(dialog);
    }

    static std::wstring okBrings(DialogDriver& d, HWND dialog)
    {
        d.press(dialog, IDOK);
        HWND box = d.waitFor(uiText(IDS_ERROR_CAPTION));
        std::wstring text = d.messageText(box);
        d.answer(box, IDOK);
        return text;
    }

    // The configuration the "CfgPort" request carried, after checking its name.
    ConfigInfo sentConfig(const RecordedRequest& request)
    {
        auto record = recordOf<CfgPortRequest>(request);
        EXPECT_STREQ(record.portName, kPort);
        return record.configInfo;
    }

    ConfigInfo fetched;
};

}  // namespace

TEST_F(PropsDialogTest, OkUnchangedSendsTheFetchedConfigurationWithoutCheckingTheAddress)
{
    answerConfig(fetched, L"10.0.0.5");
    const int shown = cursorShowCount();
    EXPECT_TRUE(configure(kPort, [&](DialogDriver& d, HWND dialog) {
        EXPECT_EQ(d.caption(dialog), L"Configure Port  Scripted:1");
        EXPECT_EQ(d.text(dialog, IDC_ADDRESS), L"10.0.0.5");
        EXPECT_EQ(d.text(dialog, IDC_NAME), kPort);
        EXPECT_EQ(d.text(dialog, -1), L"Printer's IP address");
        EXPECT_EQ(d.text(dialog, IDC_NAMELABEL), L"Port name");
        EXPECT_EQ(d.text(dialog, IDC_INTRO), L"Enter the printer's network address in dotted decimal format or "
                                             L"domain name format (simple or qualified).");
        EXPECT_TRUE(GetWindowLongW(GetDlgItem(dialog, IDC_NAME), GWL_STYLE) & ES_READONLY)
            << "the name cannot be edited";
        ends(d, dialog, IDOK);
    }));
    EXPECT_EQ(cursorShowCount(), shown);
    EXPECT_EQ(openHandles(), 0);
    auto sent = requests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].command, L"GetPortConfig");
    ASSERT_EQ(sent[0].input.size(), sizeof kPort);
    EXPECT_EQ(memcmp(sent[0].input.data(), kPort, sizeof kPort), 0);
    ASSERT_EQ(sent[1].command, L"CfgPort");
    ConfigInfo config = sentConfig(sent[1]);
    EXPECT_EQ(memcmp(&config, &fetched, sizeof config), 0) << "the record exactly as fetched";
}

TEST_F(PropsDialogTest, CancelStillSendsTheUnchangedConfiguration)
{
    answerConfig(fetched, L"10.0.0.5");
    EXPECT_TRUE(configure(kPort, [&](DialogDriver& d, HWND dialog) {
        d.type(dialog, IDC_ADDRESS, L"10.0.0.6");
        ends(d, dialog, IDCANCEL);
    }));
    auto sent = requests();
    ASSERT_EQ(sent.size(), 2u);
    ASSERT_EQ(sent[1].command, L"CfgPort");
    ConfigInfo config = sentConfig(sent[1]);
    EXPECT_EQ(memcmp(&config, &fetched, sizeof config), 0);
}

TEST_F(PropsDialogTest, ANewAddressIsCheckedAndOnlyItsFieldsChange)
{
    answerConfig(fetched, L"10.0.0.5");
    acceptAddress(ipv4(10, 0, 0, 99), L"10.0.0.99");
    EXPECT_TRUE(configure(kPort, [&](DialogDriver& d, HWND dialog) {
        d.type(dialog, IDC_ADDRESS, L"printer7");
        ends(d, dialog, IDOK);
    }));
    auto sent = requests();
    ASSERT_EQ(sent.size(), 3u);
    ASSERT_EQ(sent[1].command, L"VerPortAddr");
    EXPECT_STREQ(recordOf<VerPortAddrRequest>(sent[1]).addressText, L"printer7");
    ConfigInfo expected = fetched;
    expected.ipAddress = ipv4(10, 0, 0, 99);
    expected.addrFormat = 4;
    ConfigInfo config = sentConfig(sent[2]);
    EXPECT_EQ(memcmp(&config, &expected, sizeof config), 0);
}

TEST_F(PropsDialogTest, AThreePartAddressShows301AndTheDialogStaysOpen)
{
    answerConfig(fetched, L"10.0.0.5");
    std::wstring text;
    EXPECT_TRUE(configure(kPort, [&](DialogDriver& d, HWND dialog) {
        d.type(dialog, IDC_ADDRESS, L"10.0.0");
        text = okBrings(d, dialog);
        EXPECT_EQ(d.waitFor(uiText(IDS_CFG_TITLE) + L" " + kPort), dialog);
        ends(d, dialog, IDCANCEL);
    }));
    EXPECT_EQ(text, uiText(IDS_ADDRESS_NOT_FOUND));
    EXPECT_EQ(commands(), (std::vector<std::wstring>{L"GetPortConfig", L"CfgPort"})) << "the monitor is not asked";
}

TEST_F(PropsDialogTest, AnAddressInUseShows296AndAnEmptyOne302)
{
    answerConfig(fetched, L"10.0.0.5");
    VerPortAddrReply used{};
    used.errRc = 51;
    answer(L"VerPortAddr", ERROR_GEN_FAILURE, used);
    std::wstring usedText, emptyText;
    EXPECT_TRUE(configure(kPort, [&](DialogDriver& d, HWND dialog) {
        d.type(dialog, IDC_ADDRESS, L"10.0.0.2");
        usedText = okBrings(d, dialog);
        d.type(dialog, IDC_ADDRESS, L"");
        emptyText = okBrings(d, dialog);
        ends(d, dialog, IDCANCEL);
    }));
    EXPECT_EQ(usedText, uiText(IDS_ADDRESS_USED));
    EXPECT_EQ(emptyText, uiText(IDS_ADDRESS_REQUIRED));
}

TEST_F(PropsDialogTest, ALongPortNameLeavesTheTitleAsText25Alone)
{
    // 15 + 1 + 241 characters would exceed the title's 256.
    const std::wstring port = L"Scripted:" + std::wstring(232, L'x');
    writePort(kScriptedMonitor, port, fetched);
    answerConfig(fetched, L"10.0.0.5");
    std::wstring boxText;
    BOOL result = configure(
        port,
        [&](DialogDriver& d, HWND dialog) {
            EXPECT_EQ(d.text(dialog, IDC_NAME), port);
            d.press(dialog, IDOK);
            // The "CfgPort" record holds 129 characters of name: it is not sent cut.
            HWND box = d.waitFor(uiText(IDS_ERROR_CAPTION));
            boxText = d.messageText(box);
            d.answer(box, IDOK);
        },
        L"Configure Port ");
    deletePortKey(kScriptedMonitor, port);
    EXPECT_FALSE(result);
    EXPECT_EQ(boxText, uiText(IDS_CONFIGURE_FAILED));
    EXPECT_EQ(commands(), std::vector<std::wstring>{L"GetPortConfig"});
}

TEST_F(PropsDialogTest, GetPortConfigFailuresShowOneBoxAndNoDialog)
{
    for (const auto& [errRc, id] : {std::pair<DWORD, UINT>{251, IDS_NO_RESPONSE}, {10, IDS_CONFIGURE_FAILED}}) {
        reset();
        GetPortConfigReply reply{};
        reply.errRc = errRc;
        answer(L"GetPortConfig", ERROR_GEN_FAILURE, reply);
        std::wstring text;
        DialogDriver driver([&](DialogDriver& d) {
            HWND box = d.waitFor(uiText(IDS_ERROR_CAPTION));
            text = d.messageText(box);
            d.answer(box, IDOK);
        });
        EXPECT_TRUE(ui.table()->pfnConfigurePortUI(nullptr, owner.hwnd(), kPort));
        driver.finish();
        EXPECT_EQ(text, uiText(id)) << errRc;
        EXPECT_EQ(commands(), std::vector<std::wstring>{L"GetPortConfig"});
    }
}

TEST_F(PropsDialogTest, CfgPortAnswersBringTheirMessagesAndFail)
{
    const struct {
        DWORD errRc;
        UINT caption;
        UINT text;
        int button;
    } cases[] = {{100, IDS_WARNING_CAPTION, IDS_COMMUNITY_READONLY, IDYES},
                 {150, IDS_ERROR_CAPTION, IDS_NO_RESPONSE, IDOK},
                 {151, IDS_ERROR_CAPTION, IDS_NO_SNMP_RESPONSE, IDOK},
                 {10, IDS_ERROR_CAPTION, IDS_CONFIGURE_FAILED, IDOK}};
    for (const auto& c : cases) {
        reset();
        answerConfig(fetched, L"10.0.0.5");
        answer(L"CfgPort", ERROR_GEN_FAILURE, c.errRc);
        std::wstring text;
        EXPECT_FALSE(configure(kPort, [&](DialogDriver& d, HWND dialog) {
            d.press(dialog, IDOK);
            HWND box = d.waitFor(uiText(c.caption));
            text = d.messageText(box);
            d.answer(box, c.button);
        })) << c.errRc;
        EXPECT_EQ(text, uiText(c.text)) << c.errRc;
    }
}

namespace {

// When asked to, refuses every window this thread creates while it lives, as a desktop
// that cannot give the dialog a window does.
class RefusedWindows {
public:
    explicit RefusedWindows(bool refuse)
        : hook_(refuse ? SetWindowsHookExW(WH_CBT, RefusedWindows::refuse, nullptr, GetCurrentThreadId()) : nullptr)
    {
    }
    ~RefusedWindows()
    {
        if (hook_) {
            UnhookWindowsHookEx(hook_);
        }
    }
    RefusedWindows(const RefusedWindows&) = delete;
    RefusedWindows& operator=(const RefusedWindows&) = delete;
    bool active() const { return hook_ != nullptr; }

private:
    static LRESULT CALLBACK refuse(int code, WPARAM wParam, LPARAM lParam)
    {
        return code == HCBT_CREATEWND ? 1 : CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook_;
};

}  // namespace

// Neither entry reports success for a dialog the user never saw, nor for an owner window
// that does not exist; nothing reaches the monitor after the configuration was fetched.
TEST_F(PropsDialogTest, EntriesFailWithTheErrorWhenNoDialogCanBeShown)
{
    HWND gone = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);
    const struct {
        const char* what;
        bool refuseWindows;
        HWND owner;
        bool configureEntry;
        std::vector<std::wstring> sent;
    } cases[] = {
        {"add, dialog refused", true, nullptr, false, {}},
        {"configure, dialog refused", true, nullptr, true, {L"GetPortConfig"}},
        {"add, owner destroyed", false, gone, false, {}},
        {"configure, owner destroyed", false, gone, true, {}},
    };
    for (const auto& c : cases) {
        reset();
        answerConfig(fetched, L"10.0.0.5");
        BOOL result;
        DWORD error;
        {
            RefusedWindows refused(c.refuseWindows);
            ASSERT_EQ(refused.active(), c.refuseWindows) << c.what;
            HWND parent = c.owner ? c.owner : owner.hwnd();
            SetLastError(ERROR_SUCCESS);
            result = c.configureEntry ? ui.table()->pfnConfigurePortUI(nullptr, parent, kPort)
                                      : ui.table()->pfnAddPortUI(nullptr, parent, kScriptedMonitor, nullptr);
            error = GetLastError();
        }
        EXPECT_FALSE(result) << c.what;
        EXPECT_NE(error, static_cast<DWORD>(ERROR_SUCCESS)) << c.what;
        if (c.owner) {
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE)) << c.what;
        }
        EXPECT_EQ(commands(), c.sent) << c.what;
        EXPECT_EQ(openHandles(), 0) << c.what;
    }
}
