// The add-port dialog against the scripted monitor: what it sends, in which order, and
// which message each answer brings.
#include <gtest/gtest.h>

#include <functional>

#include "scriptedfixture.h"

using namespace ui_testing;

namespace {

const std::vector<std::wstring> kNoRequests;

class AddDialogTest : public ScriptedTest {
protected:
    // Runs AddPortUI with its dialog answered by `script`.
    BOOL addPort(std::function<void(DialogDriver&, HWND)> script)
    {
        DialogDriver driver([&](DialogDriver& d) {
            HWND dialog = d.waitFor(uiText(IDS_ADD_TITLE));
            if (dialog) script(d, dialog);
        });
        BOOL result = ui.table()->pfnAddPortUI(nullptr, owner.hwnd(), kScriptedMonitor, &portNameOut);
        driver.finish();
        return result;
    }

    // Presses OK and answers the message box that comes with `button`; its caption and text.
    static std::pair<std::wstring, std::wstring> okBrings(DialogDriver& d, HWND dialog, const std::wstring& caption,
                                                          int button = IDOK)
    {
        d.press(dialog, IDOK);
        HWND box = d.waitFor(caption);
        std::pair<std::wstring, std::wstring> seen{d.caption(box), d.messageText(box)};
        d.answer(box, button);
        return seen;
    }

    static void cancel(DialogDriver& d, HWND dialog)
    {
        d.press(dialog, IDCANCEL);
        d.waitGone(dialog);
    }

    static void closesOnOk(DialogDriver& d, HWND dialog)
    {
        d.press(dialog, IDOK);
        d.waitGone(dialog);
    }

    AddPortReply failure(DWORD errRc) { return AddPortReply{0, errRc}; }

    PWSTR portNameOut = reinterpret_cast<PWSTR>(static_cast<INT_PTR>(0x5eed));
};

}  // namespace

TEST_F(AddDialogTest, EmptyAddressShows302AndSendsNothing)
{
    const int shown = cursorShowCount();
    std::wstring text;
    EXPECT_TRUE(addPort([&](DialogDriver& d, HWND dialog) {
        text = okBrings(d, dialog, uiText(IDS_ERROR_CAPTION)).second;
        cancel(d, dialog);
    }));
    EXPECT_EQ(text, L"A network address is required.");
    EXPECT_EQ(commands(), kNoRequests);
    EXPECT_EQ(cursorShowCount(), shown) << "the wait cursor is taken down";
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
    EXPECT_EQ(openHandles(), 0) << "the XCV handle is closed";
}

TEST_F(AddDialogTest, ThreePartAddressShows295WithoutAskingTheMonitor)
{
    std::wstring text;
    EXPECT_TRUE(addPort([&](DialogDriver& d, HWND dialog) {
        d.type(dialog, IDC_ADDRESS, L"10.1.2");
        text = okBrings(d, dialog, uiText(IDS_ERROR_CAPTION)).second;
        EXPECT_EQ(d.text(dialog, IDC_ADDRESS), L"10.1.2") << "the user's text stays";
        cancel(d, dialog);
    }));
    EXPECT_EQ(text, L"The printer's network address is invalid.");
    EXPECT_EQ(commands(), kNoRequests);
}

TEST_F(AddDialogTest, AddressWithoutNameRequestsZephrinAndTheAddress)
{
    acceptAddress(ipv4(10, 1, 2, 3), L"10.1.2.3");
    const int shown = cursorShowCount();
    EXPECT_TRUE(addPort([&](DialogDriver& d, HWND dialog) {
        d.type(dialog, IDC_ADDRESS, L"10.1.2.3");
        closesOnOk(d, dialog);
    }));
    EXPECT_EQ(portNameOut, reinterpret_cast<PWSTR>(static_cast<INT_PTR>(0x5eed))) << "no name is handed back";
    EXPECT_EQ(cursorShowCount(), shown);
    EXPECT_EQ(openHandles(), 0);
    auto sent = requests();
    ASSERT_EQ(sent.size(), 3u);
    ASSERT_EQ(sent[0].command, L"VerPortAddr");
    auto check = recordOf<VerPortAddrRequest>(sent[0]);
    EXPECT_STREQ(check.addressText, L"10.1.2.3");
    EXPECT_EQ(check.addrFormat, 2u);
    ASSERT_EQ(sent[1].command, L"VerPortName");
    const wchar_t name[] = L"Zephrin:10.1.2.3";
    ASSERT_EQ(sent[1].input.size(), sizeof name);
    EXPECT_EQ(memcmp(sent[1].input.data(), name, sizeof name), 0);
    ASSERT_EQ(sent[2].command, L"AddPort");
    auto add = recordOf<AddPortRequest>(sent[2]);
    EXPECT_STREQ(add.portName, L"Zephrin:10.1.2.3");
    EXPECT_STREQ(add.addressText, L"10.1.2.3");
    EXPECT_EQ(add.requestFlags, 0u);
    EXPECT_EQ(add.configInfo.timeout, 300);
    EXPECT_EQ(add.configInfo.retryCount, 2);
    EXPECT_STREQ(add.configInfo.community, L"kestro_gauge");
    EXPECT_EQ(add.configInfo.monitorFrequency, 2);
    EXPECT_EQ(add.configInfo.trapPort, 0u);
    EXPECT_EQ(add.configInfo.monitorLevel, 0u);
    EXPECT_EQ(add.configInfo.ipAddress, ipv4(10, 1, 2, 3));
    EXPECT_EQ(add.configInfo.addrFormat, 2u);
}

TEST_F(AddDialogTest, ANameBeginningWithZephrinIsReplacedByZephrinAndTheAddressAsTyped)
{
    acceptAddress(ipv4(10, 0, 0, 9), L"10.0.0.9");
    EXPECT_TRUE(addPort([&](DialogDriver& d, HWND dialog) {
        d.type(dialog, IDC_ADDRESS, L"printer7");
        d.type(dialog, IDC_NAME, L"Zephrin:x");
        closesOnOk(d, dialog);
    }));
    auto sent = requests();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(recordOf<VerPortAddrRequest>(sent[0]).addrFormat, 4u) << "a host name without a dot";
    auto add = recordOf<AddPortRequest>(sent[2]);
    EXPECT_STREQ(add.portName, L"Zephrin:printer7");
    EXPECT_STREQ(add.addressText, L"10.0.0.9");
    EXPECT_EQ(add.configInfo.ipAddress, ipv4(10, 0, 0, 9));
}

TEST_F(AddDialogTest, ANameOfItsOwnIsKept)
{
    acceptAddress(ipv4(10, 0, 0, 9), L"10.0.0.9");
    EXPECT_TRUE(addPort([&](DialogDriver& d, HWND dialog) {
        d.type(dialog, IDC_ADDRESS, L"10.0.0.9");
        d.type(dialog, IDC_NAME, L"zephrin:lower");
        closesOnOk(d, dialog);
    }));
    auto sent = requests();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_STREQ(recordOf<AddPortRequest>(sent[2]).portName, L"zephrin:lower") << "the prefix test is exact";
}

TEST_F(AddDialogTest, ANameWithACommaOrBackslashShows298WithoutAskingAboutTheName)
{
    for (const wchar_t* name : {L"a,b", L"a\\b"}) {
        reset();
        acceptAddress(ipv4(10, 1, 2, 3), L"10.1.2.3");
        std::pair<std::wstring, std::wstring> seen;
        EXPECT_TRUE(addPort([&](DialogDriver& d, HWND dialog) {
            d.type(dialog, IDC_ADDRESS, L"10.1.2.3");
            d.type(dialog, IDC_NAME, name);
            seen = okBrings(d, dialog, uiText(IDS_ERROR_CAPTION));
            cancel(d, dialog);
        }));
        EXPECT_EQ(seen.second,
                  L"The port name is invalid.  The port name cannot contain any of the following characters: ,\\");
        EXPECT_EQ(commands(), std::vector<std::wstring>{L"VerPortAddr"});
    }
}

TEST_F(AddDialogTest, EachAddressCheckAnswerBringsItsMessage)
{
    const std::pair<DWORD, UINT> cases[] = {
        {50, IDS_ADDRESS_INVALID}, {51, IDS_ADDRESS_USED}, {52, IDS_ADDRESS_NOT_FOUND}, {10, IDS_ADDRESS_CHECK_FAILED}};
    for (const auto& [errRc, id] : cases) {
        VerPortAddrReply reply{};
        reply.errRc = errRc;
        answer(L"VerPortAddr", ERROR_GEN_FAILURE, reply);
    }
    std::vector<std::wstring> texts;
    EXPECT_TRUE(addPort([&](DialogDriver& d, HWND dialog) {
        d.type(dialog, IDC_ADDRESS, L"10.1.2.3");
        for (size_t i = 0; i < std::size(cases); ++i)
            texts.push_back(okBrings(d, dialog, uiText(IDS_ERROR_CAPTION)).second);
        cancel(d, dialog);
    }));
    ASSERT_EQ(texts.size(), std::size(cases));
    for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(texts[i], uiText(cases[i].second)) << cases[i].first;
    EXPECT_EQ(commands(), std::vector<std::wstring>(4, L"VerPortAddr")) << "the name is not checked";
}

TEST_F(AddDialogTest, EachNameCheckAnswerBringsItsMessage)
{
    const std::pair<DWORD, std::wstring> cases[] = {
        {60, L"The port name is invalid.  The port name cannot contain any of the following characters: ,\\"},
        {61, uiText(IDS_NAME_USED)},
        {10, uiText(IDS_NAME_CHECK_FAILED)}};
    for (const auto& [errRc, text] : cases) {
        acceptAddress(ipv4(10, 1, 2, 3), L"10.1.2.3");
        answer(L"VerPortName", ERROR_GEN_FAILURE, errRc);
    }
    std::vector<std::wstring> texts;
    EXPECT_TRUE(addPort([&](DialogDriver& d, HWND dialog) {
        d.type(dialog, IDC_ADDRESS, L"10.1.2.3");
        d.type(dialog, IDC_NAME, L"office");
        for (size_t i = 0; i < std::size(cases); ++i)
            texts.push_back(okBrings(d, dialog, uiText(IDS_ERROR_CAPTION)).second);
        cancel(d, dialog);
    }));
    ASSERT_EQ(texts.size(), std::size(cases));
    for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(texts[i], cases[i].second) << cases[i].first;
    for (const auto& command : commands()) EXPECT_NE(command, L"AddPort");
}

TEST_F(AddDialogTest, RestrictedAnsweredYesResendsWithFlag2)
{
    acceptAddress(ipv4(10, 1, 2, 3), L"10.1.2.3");
    answer(L"AddPort", ERROR_GEN_FAILURE, failure(66));
    std::pair<std::wstring, std::wstring> seen;
    EXPECT_TRUE(addPort([&](DialogDriver& d, HWND dialog) {
        d.type(dialog, IDC_ADDRESS, L"10.1.2.3");
        seen = okBrings(d, dialog, uiText(IDS_RESTRICTED_CAPTION), IDYES);
        d.waitGone(dialog);
    }));
    EXPECT_EQ(seen.first, L"Restricted IP address");
    EXPECT_EQ(seen.second, uiText(IDS_RESTRICTED_QUESTION));
    auto sent = requests();
    ASSERT_EQ(sent.size(), 4u);
    auto first = recordOf<AddPortRequest>(sent[2]);
    auto second = recordOf<AddPortRequest>(sent[3]);
    EXPECT_EQ(first.requestFlags, 0u);
    EXPECT_EQ(second.requestFlags, 0x2u);
    second.requestFlags = 0;
    EXPECT_EQ(memcmp(&first, &second, sizeof first), 0) << "the same request again";
}

TEST_F(AddDialogTest, RestrictedAnsweredNoKeepsTheDialogOpenAndCreatesNothing)
{
    acceptAddress(ipv4(10, 1, 2, 3), L"10.1.2.3");
    answer(L"AddPort", ERROR_GEN_FAILURE, failure(66));
    EXPECT_TRUE(addPort([&](DialogDriver& d, HWND dialog) {
        d.type(dialog, IDC_ADDRESS, L"10.1.2.3");
        okBrings(d, dialog, uiText(IDS_RESTRICTED_CAPTION), IDNO);
        EXPECT_TRUE(IsWindow(dialog));
        EXPECT_EQ(d.waitFor(uiText(IDS_ADD_TITLE)), dialog);
        cancel(d, dialog);
    }));
    EXPECT_EQ(commands(), (std::vector<std::wstring>{L"VerPortAddr", L"VerPortName", L"AddPort"}));
}

TEST_F(AddDialogTest, FlagsOnceSetStayForLaterAttempts)
{
    acceptAddress(ipv4(10, 1, 2, 3), L"10.1.2.3");
    answer(L"AddPort", ERROR_GEN_FAILURE, failure(66));
    answer(L"AddPort", ERROR_GEN_FAILURE, failure(67));
    std::wstring caption;
    EXPECT_TRUE(addPort([&](DialogDriver& d, HWND dialog) {
        d.type(dialog, IDC_ADDRESS, L"10.1.2.3");
        okBrings(d, dialog, uiText(IDS_RESTRICTED_CAPTION), IDYES);
        HWND box = d.waitFor(uiText(IDS_PORT2501_CAPTION));
        EXPECT_EQ(d.messageText(box), uiText(IDS_PORT2501_QUESTION));
        d.answer(box, IDYES);
        d.waitGone(dialog);
    }));
    auto sent = requests();
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(recordOf<AddPortRequest>(sent[3]).requestFlags, 0x2u);
    EXPECT_EQ(recordOf<AddPortRequest>(sent[4]).requestFlags, 0x3u);
}

TEST_F(AddDialogTest, AddPortFailuresBringTheirMessagesAndTheDialogStaysOpen)
{
    const std::pair<AddPortReply, UINT> cases[] = {
        {failure(150), IDS_NO_RESPONSE}, {failure(152), IDS_UNSUPPORTED_PRINTER}, {failure(10), IDS_ADD_FAILED},
        {failure(0), IDS_ADD_FAILED}};
    for (const auto& [reply, id] : cases) answer(L"AddPort", ERROR_GEN_FAILURE, reply);
    std::vector<std::wstring> texts;
    EXPECT_TRUE(addPort([&](DialogDriver& d, HWND dialog) {
        d.type(dialog, IDC_ADDRESS, L"10.1.2.3");
        for (size_t i = 0; i < std::size(cases); ++i) {
            acceptAddress(ipv4(10, 1, 2, 3), L"10.1.2.3");
            texts.push_back(okBrings(d, dialog, uiText(IDS_ERROR_CAPTION)).second);
        }
        cancel(d, dialog);
    }));
    ASSERT_EQ(texts.size(), std::size(cases));
    for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(texts[i], uiText(cases[i].second)) << i;
}

TEST_F(AddDialogTest, TheDialogShowsItsOwnTitleAndLabels)
{
    EXPECT_TRUE(addPort([&](DialogDriver& d, HWND dialog) {
        EXPECT_EQ(d.text(dialog, IDC_INTRO), uiText(IDS_ADD_INTRO));
        EXPECT_EQ(d.text(dialog, -1), uiText(IDS_ADD_ADDRESSLABEL));
        EXPECT_EQ(d.text(dialog, IDC_NAMELABEL), uiText(IDS_ADD_NAMELABEL));
        EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_ADDRESS, EM_GETLIMITTEXT, 0, 0), 128);
        EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_NAME, EM_GETLIMITTEXT, 0, 0), 128);
        EXPECT_FALSE(GetWindowLongW(GetDlgItem(dialog, IDC_NAME), GWL_STYLE) & ES_READONLY);
        cancel(d, dialog);
    }));
}
