// The UI library's exports and resources: DllMain, the MONITORUI table, the string table
// and dialog template 101.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "installedmonitor.h"
#include "paths.h"
#include "uifixture.h"

using namespace ui_testing;
using testing_support::SystemFile;

TEST(UiEntryTest, InitializePrintMonitorUIReturnsTheSameTableOfAddConfigureDelete)
{
    UiLibrary ui;
    ASSERT_NE(ui.table(), nullptr);
    // Wine's spooler and Windows both want the record's own size (16 bytes on x86).
    EXPECT_EQ(ui.table()->dwMonitorUISize, sizeof(void*) == 4 ? 16u : 32u);
    auto initialize =
        procOf<PMONITORUI(WINAPI*)()>(ui.module(), "InitializePrintMonitorUI");
    EXPECT_EQ(initialize(), ui.table());

    // Each slot answers as its function does: the delete slot sets 87 for a missing name,
    // the add slot refuses a missing monitor name, the configure slot a missing window.
    OwnerWindow owner;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ui.table()->pfnDeletePortUI(nullptr, owner.hwnd(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ui.table()->pfnDeletePortUI(nullptr, owner.hwnd(), L""));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ui.table()->pfnAddPortUI(nullptr, owner.hwnd(), nullptr, nullptr));
    EXPECT_FALSE(ui.table()->pfnAddPortUI(nullptr, nullptr, kLanportMonitor, nullptr));
    EXPECT_FALSE(ui.table()->pfnConfigurePortUI(nullptr, nullptr, L"Zephrin:10.1.2.3"));
    EXPECT_EQ(GetLastError(), 0xdeadbeefu) << "the dialogs' argument checks set no last error";
}

TEST(UiEntryTest, DllMainRefusesANullModuleAndUnknownReasons)
{
    UiLibrary ui;
    ASSERT_NE(ui.module(), nullptr);
    auto dllMain = procOf<BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID)>(ui.module(), "DllMain");
    ASSERT_NE(dllMain, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(dllMain(nullptr, DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(dllMain(ui.module(), 77, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(UiEntryTest, LoadingStartsTheTraceInTheSystemDirectory)
{
    const std::wstring cfg = SystemFile(L"lanportu.cfg"), log = SystemFile(L"lanportu.log");
    {
        std::ofstream(std::string(cfg.begin(), cfg.end()), std::ios::binary) << "traceon 1\r\n";
    }
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    // The library makes the system directory current before it reads its configuration.
    SetCurrentDirectoryW(temp);
    HMODULE module = LoadLibraryW(LANPORTUI_DLL_PATH);
    ASSERT_NE(module, nullptr) << GetLastError();
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_STREQ(current, system);
    auto initialize = procOf<PMONITORUI(WINAPI*)()>(module, "InitializePrintMonitorUI");
    initialize();
    FreeLibrary(module);

    std::ifstream in(std::string(log.begin(), log.end()), std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    DeleteFileW(cfg.c_str());
    DeleteFileW(log.c_str());
    DeleteFileW(SystemFile(L"lanportu.bak").c_str());
    for (const char* line : {"DllEntryPoint(PROCESS_ATTACH)", "hInstLang=", "DllEntryPoint success.",
                             "InitializePrintMonitorUI()", "InitializePrintMonitorUI success.",
                             "DllEntryPoint(PROCESS_DETACH)", "DllEntryPoint - Close log file."})
        EXPECT_NE(content.find(line), std::string::npos) << line << "\n" << content;
    EXPECT_EQ(content.find("lanportu: "), std::string::npos) << "the prefix is not written";
}

TEST(UiEntryTest, StringTableHoldsEveryText)
{
    const std::pair<UINT, const wchar_t*> texts[] = {
        {1, L"Add an " LANPORT_MONITOR_NAME},
        {2, L"Enter the printer's network address in dotted-decimal format or in domain name format (simple or "
            L"qualified)."},
        {3, L"Printer's network address"},
        {4, L"Port name (optional)"},
        {25, L"Configure Port "},
        {66, L"Printer's IP address"},
        {67, L"Port name"},
        {272, L"Zephrin Network Port Warning"},
        {273, L"Community is read-only.  Read/write community is needed for effective monitoring.  Specify "
              L"another value?"},
        {288, L"Zephrin Network Port Error"},
        {289, L"Printer did not respond.  Please verify that printer is powered on,  the network address is an "
              L"Qel network printer, and the network is available."},
        {290, L"Printer did not respond.  Please check the community name and try again."},
        {293, L"The host with the specified network address is not a supported printer type."},
        {294, L"Error adding an Zephrin network port."},
        {295, L"The printer's network address is invalid."},
        {296, L"The network address is being used by another Zephrin network port.  Please specify a unique "
              L"network address."},
        {297, L"An error occurred while verifying network address."},
        {298, L"The port name is invalid.  The port name cannot contain any of the following characters: %1!s!"},
        {299, L"Port name is being used by another port.  Please specify a unique port name."},
        {300, L"An error occurred while verifying Port Name."},
        {301, L"The network address was not found or is not valid."},
        {302, L"A network address is required."},
        {312, L"An error occurred while configuring Qel network port."},
        {346, L"Restricted IP address"},
        {347, L"The printer has been configured to not allow printing from this workstation.\n Any port created "
              L"would be unusable for printing until the printer has been reconfigured.\n Do you want to create "
              L"the port anyway?"},
        {348, L"Port 2501 disabled"},
        {349, L"Port 2501 has been disabled on the printer.\n Any port created would be unusable for printing "
              L"until the printer has been reconfigured.\n Do you want to create the port anyway?"},
    };
    for (const auto& [id, text] : texts) EXPECT_EQ(uiText(id), text) << id;
    EXPECT_EQ(uiText(5), L"") << "no other string";
}

namespace {

// Reads the pieces of an extended dialog template.
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : p_(data), start_(data) {}
    WORD word() { WORD v; memcpy(&v, p_, 2); p_ += 2; return v; }
    DWORD dword() { DWORD v; memcpy(&v, p_, 4); p_ += 4; return v; }
    short coordinate() { return static_cast<short>(word()); }
    // A string or an ordinal (returned as "#n"); empty for none.
    std::wstring stringOrOrdinal()
    {
        WORD first = word();
        if (first == 0) return L"";
        if (first == 0xffff) return L"#" + std::to_wstring(word());
        std::wstring text(1, static_cast<wchar_t>(first));
        for (WORD c = word(); c; c = word()) text += static_cast<wchar_t>(c);
        return text;
    }
    void alignDword() { p_ = start_ + ((p_ - start_ + 3) & ~3); }
    void skip(size_t bytes) { p_ += bytes; }

private:
    const BYTE* p_;
    const BYTE* start_;
};

struct Item {
    DWORD style;
    short x, y, cx, cy;
    int id;
    std::wstring windowClass, title;
};

}  // namespace

TEST(UiEntryTest, DialogTemplate101IsLaidOutAsTheDialogsExpect)
{
    HMODULE module = LoadLibraryExW(LANPORTUI_DLL_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(IDD_PORT), reinterpret_cast<LPCWSTR>(RT_DIALOG));
    ASSERT_NE(resource, nullptr);
    TemplateReader t(static_cast<const BYTE*>(LockResource(LoadResource(module, resource))));
    EXPECT_EQ(t.word(), 1) << "dlgVer";
    EXPECT_EQ(t.word(), 0xffff) << "an extended template";
    t.dword();  // help id
    t.dword();  // extended style
    DWORD style = t.dword();
    const DWORD expectedStyle = DS_MODALFRAME | DS_SETFOREGROUND | DS_3DLOOK | WS_POPUP | WS_VISIBLE |
                                WS_CAPTION | WS_SYSMENU;
    EXPECT_EQ(style & expectedStyle, expectedStyle);
    WORD count = t.word();
    EXPECT_EQ(t.coordinate(), 0);
    EXPECT_EQ(t.coordinate(), 0);
    EXPECT_EQ(t.coordinate(), 250);
    EXPECT_EQ(t.coordinate(), 150);
    EXPECT_EQ(t.stringOrOrdinal(), L"") << "menu";
    EXPECT_EQ(t.stringOrOrdinal(), L"") << "class";
    EXPECT_EQ(t.stringOrOrdinal(), L"Add an " LANPORT_MONITOR_NAME);
    ASSERT_TRUE(style & DS_SETFONT);
    EXPECT_EQ(t.word(), 8) << "point size";
    t.word();  // weight
    t.skip(2);  // italic, charset
    EXPECT_EQ(t.stringOrOrdinal(), L"MS Sans Serif");

    std::vector<Item> items;
    for (WORD i = 0; i < count; ++i) {
        t.alignDword();
        Item item;
        t.dword();  // help id
        t.dword();  // extended style
        item.style = t.dword();
        item.x = t.coordinate();
        item.y = t.coordinate();
        item.cx = t.coordinate();
        item.cy = t.coordinate();
        item.id = static_cast<int>(t.dword());
        item.windowClass = t.stringOrOrdinal();
        item.title = t.stringOrOrdinal();
        t.skip(t.word());
        items.push_back(item);
    }
    FreeLibrary(module);

    // Class ordinals: 0x80 button, 0x81 edit, 0x82 static.
    struct Expected {
        int id;
        const wchar_t* windowClass;
        short x, y, cx, cy;
        DWORD styleBits;
        DWORD typeMask;
        DWORD type;
    };
    const Expected expected[] = {
        {IDC_INTRO, L"#130", 7, 7, 236, 32, 0, SS_TYPEMASK, SS_LEFT},
        {-1, L"#130", 7, 50, 128, 14, SS_CENTERIMAGE, SS_TYPEMASK, SS_RIGHT},
        {IDC_ADDRESS, L"#129", 140, 50, 79, 14, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0},
        {IDC_NAMELABEL, L"#130", 7, 70, 128, 14, SS_CENTERIMAGE, SS_TYPEMASK, SS_RIGHT},
        {IDC_NAME, L"#129", 140, 70, 79, 14, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0},
        {IDOK, L"#128", 27, 122, 50, 14, WS_GROUP | WS_TABSTOP, BS_TYPEMASK, BS_DEFPUSHBUTTON},
        {IDCANCEL, L"#128", 101, 122, 50, 14, WS_TABSTOP, BS_TYPEMASK, BS_PUSHBUTTON},
        {IDC_HELPBUTTON, L"#128", 175, 122, 50, 14, WS_TABSTOP, BS_TYPEMASK, BS_PUSHBUTTON},
    };
    ASSERT_EQ(items.size(), std::size(expected));
    for (size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        const Expected& want = expected[i];
        EXPECT_EQ(item.id, want.id) << i;
        EXPECT_EQ(item.windowClass, want.windowClass) << i;
        EXPECT_EQ(item.x, want.x) << i;
        EXPECT_EQ(item.y, want.y) << i;
        EXPECT_EQ(item.cx, want.cx) << i;
        EXPECT_EQ(item.cy, want.cy) << i;
        EXPECT_EQ(item.style & want.styleBits, want.styleBits) << i;
        EXPECT_EQ(item.style & want.typeMask, want.type) << i;
        EXPECT_TRUE(item.style & WS_VISIBLE) << i;
    }
    EXPECT_EQ(items[0].title,
              L"Enter the printer's network address in dotted decimal format or domain name format (simple or "
              L"qualified).");
    EXPECT_EQ(items[5].title, L"&OK");
    EXPECT_EQ(items[6].title, L"&Cancel");
    EXPECT_EQ(items[7].title, L"&Help");
}
