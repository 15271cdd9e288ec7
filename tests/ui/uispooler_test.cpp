// The UI library as a user reaches it through Wine's spooler, with lanport.dll
// registered: AddPortW, ConfigurePortW and DeletePortW ask the monitor for "MonitorUI",
// load lanportui.dll from the system directory and run its dialogs, which talk to the
// monitor through XCV.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dialogdriver.h"
#include "uifixture.h"

using namespace ui_testing;

namespace {

std::vector<std::wstring> enumeratedPorts()
{
    DWORD needed = 0, count = 0;
    EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    std::vector<std::wstring> names;
    if (!EnumPortsW(nullptr, 1, buffer.data(), needed, &needed, &count)) return names;
    auto* info = reinterpret_cast<PORT_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) names.push_back(info[i].pName);
    return names;
}

bool listed(const std::wstring& name)
{
    auto names = enumeratedPorts();
    return std::find(names.begin(), names.end(), name) != names.end();
}

class UiSpoolerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        unregisterMonitor(kLanportMonitor);
        for (const wchar_t* name : {L"Zephrin:10.1.2.3", L"Zephrin:10.0.0.2", L"office", L"Zephrin:10.9.9.9"})
            deletePortKey(kLanportMonitor, name);
        // Ports the monitor finds when it starts.
        writePort(kLanportMonitor, L"Zephrin:10.0.0.2", testing_support::DefaultConfig(ipv4(10, 0, 0, 2)));
        writePort(kLanportMonitor, L"office", testing_support::DefaultConfig(ipv4(10, 0, 0, 7)));
        ASSERT_TRUE(registerMonitor(kLanportMonitor, lanport::kMonitorDll));
    }
    void TearDown() override
    {
        for (const wchar_t* name : {L"Zephrin:10.1.2.3", L"Zephrin:10.0.0.2", L"office", L"Zephrin:10.9.9.9"})
            deletePortKey(kLanportMonitor, name);
        unregisterMonitor(kLanportMonitor);
    }

    // Runs AddPortW with the add-port dialog answered by `script`.
    BOOL addPort(std::function<void(DialogDriver&, HWND)> script)
    {
        DialogDriver driver([&](DialogDriver& d) {
            HWND dialog = d.waitFor(uiText(IDS_ADD_TITLE));
            if (dialog) script(d, dialog);
        });
        BOOL result = AddPortW(nullptr, owner.hwnd(), const_cast<LPWSTR>(kLanportMonitor));
        driver.finish();
        return result;
    }

    // Types the address and name, presses OK, and answers the error box that follows
    // with OK; returns its text. The dialog then stays open.
    static std::wstring rejected(DialogDriver& d, HWND dialog, const std::wstring& address,
                                 const std::wstring& name)
    {
        d.type(dialog, IDC_ADDRESS, address);
        d.type(dialog, IDC_NAME, name);
        d.press(dialog, IDOK);
        HWND box = d.waitFor(uiText(IDS_ERROR_CAPTION));
        std::wstring text = d.messageText(box);
        d.answer(box, IDOK);
        return text;
    }

    OwnerWindow owner;
};

}  // namespace

TEST_F(UiSpoolerTest, AddConfigureDeleteAPortThroughTheSpoolersOwnCalls)
{
    ASSERT_TRUE(addPort([](DialogDriver& d, HWND dialog) {
        d.type(dialog, IDC_ADDRESS, L"10.1.2.3");
        d.press(dialog, IDOK);
        d.waitGone(dialog);
    })) << GetLastError();
    ConfigInfo config{};
    ASSERT_TRUE(readPort(kLanportMonitor, L"Zephrin:10.1.2.3", &config));
    EXPECT_EQ(config.ipAddress, ipv4(10, 1, 2, 3));
    EXPECT_EQ(config.addrFormat, 2u);
    EXPECT_EQ(config.timeout, 300);
    EXPECT_EQ(config.retryCount, 2);
    EXPECT_STREQ(config.community, L"kestro_gauge");
    EXPECT_EQ(config.monitorFrequency, 2);
    EXPECT_TRUE(listed(L"Zephrin:10.1.2.3"));

    // The properties dialog shows the port; a new address reaches the registry.
    DialogDriver configure([](DialogDriver& d) {
        HWND dialog = d.waitFor(uiText(IDS_CFG_TITLE) + L" Zephrin:10.1.2.3");
        EXPECT_EQ(d.text(dialog, IDC_ADDRESS), L"10.1.2.3");
        EXPECT_EQ(d.text(dialog, IDC_NAME), L"Zephrin:10.1.2.3");
        d.type(dialog, IDC_ADDRESS, L"10.1.2.9");
        d.press(dialog, IDOK);
        d.waitGone(dialog);
    });
    EXPECT_TRUE(ConfigurePortW(nullptr, owner.hwnd(), const_cast<LPWSTR>(L"Zephrin:10.1.2.3"))) << GetLastError();
    configure.finish();
    ASSERT_TRUE(readPort(kLanportMonitor, L"Zephrin:10.1.2.3", &config));
    EXPECT_EQ(config.ipAddress, ipv4(10, 1, 2, 9));
    EXPECT_EQ(config.addrFormat, 2u);
    EXPECT_STREQ(config.community, L"kestro_gauge");

    EXPECT_TRUE(DeletePortW(nullptr, owner.hwnd(), const_cast<LPWSTR>(L"Zephrin:10.1.2.3"))) << GetLastError();
    EXPECT_FALSE(portKeyExists(kLanportMonitor, L"Zephrin:10.1.2.3"));
    EXPECT_FALSE(listed(L"Zephrin:10.1.2.3"));
}

TEST_F(UiSpoolerTest, AnAddressInUseIsRefusedAndCancelStillSucceeds)
{
    std::vector<std::wstring> before = enumeratedPorts();
    std::wstring text;
    EXPECT_TRUE(addPort([&](DialogDriver& d, HWND dialog) {
        text = rejected(d, dialog, L"10.0.0.2", L"");
        d.press(dialog, IDCANCEL);
        d.waitGone(dialog);
    }));
    EXPECT_EQ(text, uiText(IDS_ADDRESS_USED));
    EXPECT_EQ(enumeratedPorts(), before);
}

TEST_F(UiSpoolerTest, ANameInUseIsRefused)
{
    std::wstring text;
    EXPECT_TRUE(addPort([&](DialogDriver& d, HWND dialog) {
        text = rejected(d, dialog, L"10.1.2.3", L"office");
        d.press(dialog, IDCANCEL);
        d.waitGone(dialog);
    }));
    EXPECT_EQ(text, uiText(IDS_NAME_USED));
    EXPECT_FALSE(portKeyExists(kLanportMonitor, L"Zephrin:10.1.2.3"));
}

TEST_F(UiSpoolerTest, AThreePartAddressIsInvalidAndNothingIsCreated)
{
    std::wstring text;
    EXPECT_TRUE(addPort([&](DialogDriver& d, HWND dialog) {
        text = rejected(d, dialog, L"10.1.2", L"");
        d.press(dialog, IDCANCEL);
        d.waitGone(dialog);
    }));
    EXPECT_EQ(text, uiText(IDS_ADDRESS_INVALID));
    EXPECT_FALSE(portKeyExists(kLanportMonitor, L"Zephrin:10.1.2"));
}

TEST_F(UiSpoolerTest, DeletingAPortTheMonitorDoesNotKnowFailsWithUnknownPort)
{
    // The spooler finds the port's key, but the monitor read its ports before it existed.
    ASSERT_TRUE(listed(L"Zephrin:10.0.0.2"));
    writePort(kLanportMonitor, L"Zephrin:10.9.9.9", testing_support::DefaultConfig(ipv4(10, 9, 9, 9)));
    UiLibrary ui;
    ASSERT_NE(ui.table(), nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ui.table()->pfnDeletePortUI(nullptr, owner.hwnd(), L"Zephrin:10.9.9.9"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
}

TEST_F(UiSpoolerTest, DeletingAPortWithoutAnXcvHandleFailsWithInvalidParameter)
{
    // Wine's spooler opens no XcvPort handle for a port no monitor has in the registry.
    UiLibrary ui;
    ASSERT_NE(ui.table(), nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ui.table()->pfnDeletePortUI(nullptr, owner.hwnd(), L"Zephrin:10.8.8.8"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(UiSpoolerTest, DeletePortUIRemovesAKnownPort)
{
    UiLibrary ui;
    ASSERT_NE(ui.table(), nullptr);
    EXPECT_TRUE(ui.table()->pfnDeletePortUI(nullptr, owner.hwnd(), L"Zephrin:10.0.0.2")) << GetLastError();
    EXPECT_FALSE(portKeyExists(kLanportMonitor, L"Zephrin:10.0.0.2"));
    EXPECT_FALSE(listed(L"Zephrin:10.0.0.2"));
}
