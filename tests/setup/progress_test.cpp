// The installer's progress window, in this process: its template, the step display with
// the bold font and the marker, the progress bar and the close box.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "progress.h"
#include "setupres.h"

namespace {

class ProgressWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        CreateProgressWindow(GetModuleHandleA(nullptr));
        window_ = ThisThreadsWindow("Zephrin TCP/IP Port Monitor");
        ASSERT_NE(window_, nullptr);
    }

    // This thread's dialog of that title: the other test programs of the prefix show
    // theirs on the same desktop.
    struct Search {
        const char* title;
        HWND found;
    };
    static BOOL CALLBACK Match(HWND window, LPARAM context)
    {
        auto* search = reinterpret_cast<Search*>(context);
        char className[16]{};
        char text[64]{};
        GetClassNameA(window, className, sizeof(className));
        GetWindowTextA(window, text, sizeof(text));
        if (lstrcmpA(className, "#32770") != 0 || lstrcmpA(text, search->title) != 0) return TRUE;
        search->found = window;
        return FALSE;
    }
    static HWND ThisThreadsWindow(const char* title)
    {
        Search search{title, nullptr};
        EnumThreadWindows(GetCurrentThreadId(), Match, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    HWND Control(int id) { return GetDlgItem(window_, id); }

    // A control's rectangle in the window's client coordinates.
    RECT ClientRect(int id)
    {
        RECT rect{};
        GetWindowRect(Control(id), &rect);
        MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    // Where the dialog manager puts a control of the template: it converts the
    // position and the size each on their own.
    RECT DialogUnits(int left, int top, int width, int height)
    {
        RECT units{left, top, width, height};
        MapDialogRect(window_, &units);
        return {units.left, units.top, units.left + units.right, units.top + units.bottom};
    }

    LOGFONTA Font(int id)
    {
        LOGFONTA font{};
        auto handle = reinterpret_cast<HFONT>(SendMessageA(Control(id), WM_GETFONT, 0, 0));
        EXPECT_NE(handle, nullptr);
        GetObjectA(handle, sizeof(font), &font);
        return font;
    }

    static int CentreY(const RECT& rect) { return (rect.top + rect.bottom) / 2; }

    HWND window_ = nullptr;
};

void ExpectRect(const RECT& actual, const RECT& expected, const char* what)
{
    EXPECT_EQ(actual.left, expected.left) << what;
    EXPECT_EQ(actual.top, expected.top) << what;
    EXPECT_EQ(actual.right, expected.right) << what;
    EXPECT_EQ(actual.bottom, expected.bottom) << what;
}

}  // namespace

TEST_F(ProgressWindowTest, IsAPopUpWithCaptionAndSystemMenuShownAt100x100)
{
    LONG style = GetWindowLongA(window_, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(IsWindowVisible(window_));
    RECT frame{};
    GetWindowRect(window_, &frame);
    EXPECT_EQ(frame.left, 100);
    EXPECT_EQ(frame.top, 100);
    RECT client{};
    GetClientRect(window_, &client);
    ExpectRect(client, DialogUnits(0, 0, 160, 90), "client area");
}

TEST_F(ProgressWindowTest, TemplateHoldsTheStepsMarkerBannerAndBar)
{
    EXPECT_EQ(GetWindowLongA(Control(IDC_STEP_CHECK), GWL_STYLE) & SS_TYPEMASK, SS_LEFT);
    ExpectRect(ClientRect(IDC_STEP_CHECK), DialogUnits(35, 46, 120, 8), "step 1");
    ExpectRect(ClientRect(IDC_STEP_UPDATE), DialogUnits(35, 60, 119, 8), "step 2");
    ExpectRect(ClientRect(IDC_PROGRESS), DialogUnits(0, 80, 160, 12), "progress bar");
    char text[64] = "";
    GetWindowTextA(Control(IDC_STEP_CHECK), text, sizeof(text));
    EXPECT_STREQ(text, "Checking installed version");
    GetWindowTextA(Control(IDC_STEP_UPDATE), text, sizeof(text));
    EXPECT_STREQ(text, "Updating files");

    // Image controls take the size of their image.
    EXPECT_EQ(GetWindowLongA(Control(IDC_STEP_MARKER), GWL_STYLE) & SS_TYPEMASK, SS_ICON);
    EXPECT_NE(SendMessageA(Control(IDC_STEP_MARKER), STM_GETICON, 0, 0), 0);
    RECT marker = ClientRect(IDC_STEP_MARKER);
    RECT markerCell = DialogUnits(7, 41, 20, 20);
    EXPECT_EQ(marker.left, markerCell.left);
    EXPECT_EQ(marker.top, markerCell.top);

    HWND banner = nullptr;
    for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) banner = child;
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(LOWORD(GetWindowLongPtrA(banner, GWLP_ID)), 0xffff) << "no identifier of its own";
    auto bitmap = reinterpret_cast<HBITMAP>(SendMessageA(banner, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(bitmap, nullptr);
    BITMAP image{};
    GetObjectA(bitmap, sizeof(image), &image);
    EXPECT_EQ(image.bmWidth, 240) << "160 dialog units at the window's font on Windows";
    EXPECT_EQ(image.bmHeight, 57);
    // The banner is stretched over its place in the template, whatever the font's size.
    EXPECT_TRUE(GetWindowLongA(banner, GWL_STYLE) & SS_REALSIZECONTROL);
    RECT bannerRect{};
    GetWindowRect(banner, &bannerRect);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&bannerRect), 2);
    ExpectRect(bannerRect, DialogUnits(0, 0, 160, 35), "banner");

    EXPECT_TRUE(GetWindowLongA(Control(IDC_PROGRESS), GWL_STYLE) & PBS_SMOOTH);
}

TEST_F(ProgressWindowTest, ProgramAndWindowCarryTheIconAndTheProgramAManifest)
{
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_SETUP));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(window_, WM_GETICON, ICON_BIG, 0)), icon) << "window's icon too";
    HRSRC manifest = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(manifest, nullptr);
    std::string text(static_cast<const char*>(LockResource(LoadResource(nullptr, manifest))),
                     SizeofResource(nullptr, manifest));
    EXPECT_NE(text.find("<assembly"), std::string::npos);
    EXPECT_EQ(text.find("<dependency"), std::string::npos) << "asks for nothing";
}

TEST_F(ProgressWindowTest, StepsStartInTheWindowFont)
{
    LOGFONTA check = Font(IDC_STEP_CHECK), update = Font(IDC_STEP_UPDATE);
    EXPECT_LT(check.lfWeight, FW_BOLD);
    EXPECT_LT(update.lfWeight, FW_BOLD);
}

TEST_F(ProgressWindowTest, CurrentStepIsBoldAndTheMarkerMovesBesideIt)
{
    RECT markerAtStart = ClientRect(IDC_STEP_MARKER);
    LOGFONTA normal = Font(IDC_STEP_CHECK);

    ShowStep(InstallStep::CheckVersion);
    LOGFONTA bold = Font(IDC_STEP_CHECK);
    EXPECT_EQ(bold.lfWeight, 700);
    EXPECT_EQ(bold.lfHeight, normal.lfHeight);
    EXPECT_STREQ(bold.lfFaceName, normal.lfFaceName);
    EXPECT_EQ(Font(IDC_STEP_UPDATE).lfWeight, normal.lfWeight);
    RECT marker = ClientRect(IDC_STEP_MARKER);
    EXPECT_NEAR(CentreY(marker), CentreY(ClientRect(IDC_STEP_CHECK)), 1);
    EXPECT_EQ(marker.left, markerAtStart.left);
    EXPECT_EQ(marker.bottom - marker.top, markerAtStart.bottom - markerAtStart.top);

    ShowStep(InstallStep::UpdateFiles);
    EXPECT_EQ(Font(IDC_STEP_CHECK).lfWeight, normal.lfWeight);
    EXPECT_EQ(Font(IDC_STEP_UPDATE).lfWeight, 700);
    marker = ClientRect(IDC_STEP_MARKER);
    EXPECT_NEAR(CentreY(marker), CentreY(ClientRect(IDC_STEP_UPDATE)), 1);
    EXPECT_EQ(marker.left, markerAtStart.left);
}

// A staging tree of more than 64 MB needs the 32-bit range.
TEST_F(ProgressWindowTest, BarRangeAndPositionAreKilobytes)
{
    HWND bar = Control(IDC_PROGRESS);
    SendMessageA(bar, PBM_SETPOS, 10, 0);

    SetProgressRange(100000);
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 100000);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);

    SetProgressPosition(70000);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 70000);
}

TEST_F(ProgressWindowTest, CloseBoxIsDisabledAndTheWindowStays)
{
    UINT state = GetMenuState(GetSystemMenu(window_, FALSE), SC_CLOSE, MF_BYCOMMAND);
    EXPECT_TRUE(state & MF_GRAYED);

    PostMessageA(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageA(window_, WM_CLOSE, 0, 0);
    PumpMessages();
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_TRUE(IsWindowVisible(window_));
}

TEST_F(ProgressWindowTest, PumpMessagesLeavesTheQueueEmpty)
{
    for (int i = 0; i < 3; ++i) {
        PostMessageA(window_, WM_APP + i, 0, 0);
        PostThreadMessageA(GetCurrentThreadId(), WM_APP + i, 0, 0);
    }
    PumpMessages();
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) << msg.message;
}
