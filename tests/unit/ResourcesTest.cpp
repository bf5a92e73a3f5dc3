// The dialog templates, strings and icons as they are built into the program.
#include "app/AboutDlg.h"
#include "res/resource.h"
#include <commctrl.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {
struct Control {
    std::string cls; // class name, or "#128" style ordinal
    std::string text;
    int id;
    short x, y, cx, cy;
    DWORD style, exStyle;
};
struct Dialog {
    DWORD style, exStyle;
    short cx, cy;
    std::string caption, font;
    WORD pointSize;
    std::vector<Control> controls;
};

class Reader {
public:
    explicit Reader(const BYTE* p) : m_p(p) {}
    WORD Word() { WORD w; memcpy(&w, m_p, 2); m_p += 2; return w; }
    DWORD Dword() { DWORD d; memcpy(&d, m_p, 4); m_p += 4; return d; }
    std::string Text() {
        std::string s;
        while (WORD c = Word())
            s += static_cast<char>(c);
        return s;
    }
    std::string SzOrOrd() {
        WORD first;
        memcpy(&first, m_p, 2);
        if (first == 0xFFFF) {
            Word();
            return "#" + std::to_string(Word());
        }
        return Text();
    }
    void Align() { m_p = reinterpret_cast<const BYTE*>((reinterpret_cast<ULONG_PTR>(m_p) + 3) & ~ULONG_PTR(3)); }

private:
    const BYTE* m_p;
};

Dialog LoadDialog(int id) {
    HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
    EXPECT_NE(nullptr, res);
    Reader r(static_cast<const BYTE*>(LockResource(LoadResource(nullptr, res))));
    Dialog d;
    EXPECT_EQ(1, r.Word());
    EXPECT_EQ(0xFFFF, r.Word()); // DLGTEMPLATEEX
    r.Dword();
    d.exStyle = r.Dword();
    d.style = r.Dword();
    WORD count = r.Word();
    r.Word();
    r.Word();
    d.cx = static_cast<short>(r.Word());
    d.cy = static_cast<short>(r.Word());
    r.SzOrOrd(); // menu
    r.SzOrOrd(); // class
    d.caption = r.Text();
    d.pointSize = r.Word();
    r.Word();
    r.Word();
    d.font = r.Text();
    for (int i = 0; i < count; ++i) {
        r.Align();
        Control c;
        r.Dword();
        c.exStyle = r.Dword();
        c.style = r.Dword();
        c.x = static_cast<short>(r.Word());
        c.y = static_cast<short>(r.Word());
        c.cx = static_cast<short>(r.Word());
        c.cy = static_cast<short>(r.Word());
        c.id = static_cast<int>(r.Dword());
        c.cls = r.SzOrOrd();
        c.text = r.SzOrOrd();
        WORD extra = r.Word();
        for (WORD k = 0; k < extra; k += 2)
            r.Word();
        d.controls.push_back(c);
    }
    return d;
}

// Predefined classes may be stored by name or by ordinal.
const char* kButton = "Button";
const char* kEdit = "Edit";
const char* kStatic = "Static";
std::string ClassName(const std::string& stored) {
    if (stored == "#128")
        return kButton;
    if (stored == "#129")
        return kEdit;
    if (stored == "#130")
        return kStatic;
    return stored;
}

void ExpectControl(const Control& c, const char* cls, const char* text, int id, short x, short y, short cx, short cy,
                   DWORD styleBits, DWORD exBits = 0) {
    SCOPED_TRACE(text);
    EXPECT_EQ(0, lstrcmpiA(cls, ClassName(c.cls).c_str())) << c.cls; // class names ignore case
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(id, c.id);
    EXPECT_EQ(x, c.x);
    EXPECT_EQ(y, c.y);
    EXPECT_EQ(cx, c.cx);
    EXPECT_EQ(cy, c.cy);
    EXPECT_EQ(styleBits, c.style & styleBits);
    EXPECT_EQ(exBits, c.exStyle & exBits);
    EXPECT_TRUE(c.style & WS_VISIBLE);
}
} // namespace

TEST(Resources, MainDialogLayout) {
    Dialog d = LoadDialog(IDD_KESTROW_DIALOG);
    EXPECT_EQ(291, d.cx);
    EXPECT_EQ(217, d.cy);
    EXPECT_EQ("Kestrow", d.caption);
    EXPECT_EQ("MS Shell Dlg", d.font);
    EXPECT_EQ(8, d.pointSize);
    DWORD want = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | WS_VISIBLE | WS_POPUP;
    EXPECT_EQ(want, d.style & want);
    EXPECT_FALSE(d.style & WS_MAXIMIZEBOX);
    EXPECT_TRUE(d.exStyle & WS_EX_APPWINDOW);

    ASSERT_EQ(8u, d.controls.size());
    const auto& c = d.controls;
    // Creation order is the tab order.
    ExpectControl(c[0], kButton, "E&xit", IDOK, 172, 194, 37, 16, BS_DEFPUSHBUTTON | WS_TABSTOP);
    ExpectControl(c[1], kStatic, "Kestrow", -1, 7, 7, 277, 37, SS_CENTER, WS_EX_STATICEDGE);
    ExpectControl(c[2], kButton, "&Clear", IDCANCEL, 96, 194, 37, 16, WS_TABSTOP);
    EXPECT_EQ(static_cast<DWORD>(BS_PUSHBUTTON), c[2].style & 0xF);
    ExpectControl(c[3], kStatic, "#128", -1, 254, 13, 20, 20, SS_ICON, WS_EX_CLIENTEDGE);
    ExpectControl(c[4], "SysListView32", "", IDC_LIST, 7, 46, 277, 141,
                  LVS_REPORT | LVS_SINGLESEL | WS_BORDER | WS_TABSTOP);
    ExpectControl(c[5], kButton, "&Acknowledge", IDC_ACKNOWLEDGE, 7, 194, 50, 16, WS_TABSTOP);
    ExpectControl(c[6], kButton, "View &Log", IDC_VIEWLOG, 58, 194, 37, 16, WS_TABSTOP);
    ExpectControl(c[7], kButton, "&Options...", IDC_OPTIONS, 134, 194, 37, 16, WS_TABSTOP);
}

TEST(Resources, AboutDialogLayoutAndHistory) {
    Dialog d = LoadDialog(IDD_ABOUTBOX);
    EXPECT_EQ(235, d.cx);
    EXPECT_EQ(124, d.cy);
    EXPECT_EQ("About Kestrow", d.caption);
    EXPECT_EQ("MS Shell Dlg", d.font);
    DWORD want = WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(want, d.style & want);
    ASSERT_EQ(4u, d.controls.size());
    const auto& c = d.controls;
    ExpectControl(c[0], kStatic, "#128", -1, 11, 17, 20, 20, SS_ICON);
    ExpectControl(c[1], kStatic, "Kestrow v2.3", -1, 40, 10, 119, 8, SS_NOPREFIX);
    ExpectControl(c[2], kButton, "OK", IDOK, 178, 7, 50, 16, BS_DEFPUSHBUTTON | WS_TABSTOP);
    ExpectControl(c[3], kEdit, "", IDC_HISTORY, 7, 52, 221, 65,
                  ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP);

    // History: newest first, "version<TAB>- " to open a version, "<TAB>- " for its further lines.
    std::string h = CAboutDlg::s_history;
    EXPECT_EQ(0u, h.find("2.3\t- "));
    size_t start = 0;
    int versions = 0;
    while (start < h.size()) {
        size_t end = h.find("\r\n", start);
        std::string line = h.substr(start, end == std::string::npos ? std::string::npos : end - start);
        size_t tab = line.find("\t- ");
        ASSERT_NE(std::string::npos, tab) << line;
        if (tab > 0)
            ++versions;
        EXPECT_EQ(std::string::npos, line.find('\n'));
        start = end == std::string::npos ? h.size() : end + 2;
    }
    EXPECT_GE(versions, 2);
}

TEST(Resources, StringsAndIcons) {
    CString s;
    const struct {
        UINT id;
        const char* text;
    } strings[] = {{IDS_ABOUTBOX, "&About Kestrow..."},
                   {IDP_SOCKETS_INIT_FAILED, "Windows sockets initialization failed."},
                   {IDS_LOG_NOT_FOUND, "Log file %s is empty or not found"},
                   {IDS_LOG_OPEN_FAILED, "Failed to open log file : %d"}};
    for (const auto& e : strings) {
        EXPECT_TRUE(s.LoadString(e.id));
        EXPECT_EQ(e.text, std::string(s));
    }

    // 128 and 130 are the plain computer; 129 and 131 carry a red mark on its screen.
    auto redPixels = [](UINT id) {
        HICON icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, 32,
                                                   32, LR_DEFAULTCOLOR));
        EXPECT_NE(nullptr, icon);
        ICONINFO info;
        GetIconInfo(icon, &info);
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = 32;
        bi.bmiHeader.biHeight = 32;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        std::vector<DWORD> px(32 * 32);
        HDC dc = GetDC(nullptr);
        GetDIBits(dc, info.hbmColor, 0, 32, px.data(), &bi, DIB_RGB_COLORS);
        ReleaseDC(nullptr, dc);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
        int red = 0;
        for (DWORD p : px)
            if (((p >> 16) & 0xFF) > 180 && ((p >> 8) & 0xFF) < 60 && (p & 0xFF) < 60)
                ++red;
        return red;
    };
    EXPECT_EQ(0, redPixels(IDR_MAINFRAME));
    EXPECT_EQ(0, redPixels(IDI_ALERT2));
    EXPECT_GT(redPixels(IDI_ALERT1), 10);
    EXPECT_GT(redPixels(IDI_ALERT3), 10);
}
