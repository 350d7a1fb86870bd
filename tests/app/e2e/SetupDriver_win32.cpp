// Drives the setup assistant from outside, as a user would: finds its windows and controls,
// clicks and types with the mouse and keyboard (the skinned controls answer real input only),
// reads texts and pixels, copies a dialog's text, reads shortcuts back and holds files open.
//
//   SetupDriver COMMAND ARGS... [-- COMMAND ARGS...]...
//
// Commands run in order; each prints "key value..." lines. The first failure prints
// "error: ..." and ends the run with exit code 1. Texts are printed with "\r" and "\n" escaped.
#include "platform/rtl/Win32.h"
#include "tests/platform/win/DcCapture.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& message) { throw std::runtime_error(message); }

std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

std::string WindowText(HWND wnd)
{
    const LRESULT length = ::SendMessageA(wnd, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT got = ::SendMessageA(wnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(got));
    return text;
}

std::string ClassOf(HWND wnd)
{
    char name[256] = {};
    ::GetClassNameA(wnd, name, sizeof name);
    return name;
}

DWORD Now() { return ::GetTickCount(); }

// The window class of the folder box.
const char kFolderBox[] = "TsuiComboBox";

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void Sleep(int ms) { ::Sleep(static_cast<DWORD>(ms)); }

// A top-level window of this desktop with exactly this title; a visible one unless `anyState`.
// A title "hwnd:N" names one window by its handle (printed by "handles"), for telling apart
// the windows of two running programs; it is found while it exists.
HWND FindTop(const std::string& title, bool anyState = false)
{
    if (title.rfind("hwnd:", 0) == 0) {
        HWND wnd =
            reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(title.c_str() + 5, nullptr, 0)));
        return ::IsWindow(wnd) && (anyState || ::IsWindowVisible(wnd)) ? wnd : nullptr;
    }
    struct Search {
        const std::string* title;
        HWND found;
        bool anyState;
    } search{&title, nullptr, anyState};
    struct Visit {
        static BOOL CALLBACK Each(HWND wnd, LPARAM param)
        {
            auto* s = reinterpret_cast<Search*>(param);
            if ((s->anyState || ::IsWindowVisible(wnd)) && WindowText(wnd) == *s->title) {
                s->found = wnd;
                return FALSE;
            }
            return TRUE;
        }
    };
    ::EnumWindows(&Visit::Each, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A visible window of that title, else a hidden one (a form still being shown).
HWND NeedTop(const std::string& title)
{
    HWND wnd = FindTop(title);
    if (!wnd)
        wnd = FindTop(title, true);
    if (!wnd)
        Fail("no window \"" + title + "\"");
    return wnd;
}

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> all;
    struct Visit {
        static BOOL CALLBACK Each(HWND wnd, LPARAM param)
        {
            reinterpret_cast<std::vector<HWND>*>(param)->push_back(wnd);
            return TRUE;
        }
    };
    ::EnumChildWindows(parent, &Visit::Each, reinterpret_cast<LPARAM>(&all));
    return all;
}

// The index-th child of a class (direct or nested), or the one of that class with that text
// when `text` is not "*"-prefixed index notation: "#0", "#1"... select by order.
HWND FindChild(HWND parent, const std::string& cls, const std::string& text)
{
    int wanted = -1;
    if (!text.empty() && text[0] == '#')
        wanted = std::atoi(text.c_str() + 1);
    int index = 0;
    for (HWND child : Children(parent)) {
        if (ClassOf(child) != cls)
            continue;
        if (wanted >= 0 ? index++ == wanted : WindowText(child) == text)
            return child;
    }
    Fail("no " + cls + " \"" + text + "\" in \"" + WindowText(parent) + "\"");
}

// The client area's pixels (0x00RRGGBB, top row first).
using Pixels = wintest::Capture;
using wintest::CaptureDC;

Pixels CaptureClient(HWND wnd, int left, int top, int width, int height)
{
    HDC dc = ::GetDC(wnd);
    Pixels p = CaptureDC(dc, left, top, width, height);
    ::ReleaseDC(wnd, dc);
    return p;
}

// Pixels clearly tinted red: label text in red or maroon, anti-aliased edges included.
bool Reddish(DWORD v)
{
    const int r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
    return r - g > 40 && r - b > 40;
}

// The colour most pixels of a capture have: the background of a label's box.
DWORD CommonColour(const Pixels& p)
{
    std::map<DWORD, int> counts;
    for (DWORD v : p.Data)
        ++counts[v];
    DWORD best = 0;
    int most = -1;
    for (const auto& [colour, n] : counts) {
        if (n > most) {
            best = colour;
            most = n;
        }
    }
    return best;
}

DWORD g_face = 0;  // the background `Inked` tells text from

// Text pixels of a label on its background: any colour clearly apart from it.
bool Inked(DWORD v)
{
    const int dr = static_cast<int>((v >> 16) & 0xFF) - static_cast<int>((g_face >> 16) & 0xFF);
    const int dg = static_cast<int>((v >> 8) & 0xFF) - static_cast<int>((g_face >> 8) & 0xFF);
    const int db = static_cast<int>(v & 0xFF) - static_cast<int>(g_face & 0xFF);
    return std::abs(dr) + std::abs(dg) + std::abs(db) > 60;
}

// Renders `text` as the window's labels draw it (Tahoma at height -11, bold or not, centred or
// left-aligned on one line in the box, on the box's own background) and compares its text pixels
// with those on screen. Returns the
// share of pixels that agree among those inked in either.
double LabelMatch(HWND wnd, int left, int top, int width, int height, COLORREF color, bool bold, bool centred,
                  const std::string& text)
{
    Pixels shown = CaptureClient(wnd, left, top, width, height);
    g_face = CommonColour(shown);
    const COLORREF background = RGB((g_face >> 16) & 0xFF, (g_face >> 8) & 0xFF, g_face & 0xFF);

    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ oldBmp = ::SelectObject(mem, bmp);
    RECT box{0, 0, width, height};
    HBRUSH face = ::CreateSolidBrush(background);
    ::FillRect(mem, &box, face);
    ::DeleteObject(face);
    HFONT font =
        ::CreateFontA(-11, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Tahoma");
    HGDIOBJ oldFont = ::SelectObject(mem, font);
    ::SetBkMode(mem, TRANSPARENT);
    ::SetTextColor(mem, color);
    ::DrawTextA(mem, text.c_str(), static_cast<int>(text.size()), &box,
                (centred ? DT_CENTER : DT_LEFT) | DT_NOPREFIX | DT_SINGLELINE);
    Pixels expected = CaptureDC(mem, 0, 0, width, height);
    ::SelectObject(mem, oldFont);
    ::DeleteObject(font);
    ::SelectObject(mem, oldBmp);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);

    // Red texts are told by their hue, which ignores faint anti-aliased edges; others by their
    // distance from the face.
    const DWORD rgb = (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
    bool (*ink)(DWORD) = Reddish(rgb) ? &Reddish : &Inked;
    int either = 0, both = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool a = ink(shown.At(x, y)), b = ink(expected.At(x, y));
            either += a || b;
            both += a && b;
        }
    }
    return either == 0 ? 1.0 : static_cast<double>(both) / either;
}

// Teal label text (the folder being searched), anti-aliased edges included.
bool Tealish(DWORD v)
{
    const int r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
    return g - r > 40 && b - r > 40;
}

int CountPixels(HWND wnd, int left, int top, int width, int height, bool (*kind)(DWORD))
{
    Pixels shown = CaptureClient(wnd, left, top, width, height);
    int n = 0;
    for (DWORD v : shown.Data)
        n += kind(v);
    return n;
}

// A screen point on the window's title-bar close button, found by asking the window itself.
POINT CloseButtonPoint(HWND wnd)
{
    RECT r;
    ::GetWindowRect(wnd, &r);
    for (int y = r.top; y < r.top + 40; ++y) {
        for (int x = r.right - 1; x > r.right - 80; --x) {
            if (::SendMessageA(wnd, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE)
                return POINT{x - 3, y + 3};
        }
    }
    Fail("\"" + WindowText(wnd) + "\" has no close button on its title bar");
}

void SendKey(WORD key, bool up)
{
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = key;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    ::SendInput(1, &in, sizeof in);
}

// The keys pressed in order and released the other way round, as a chord (Ctrl+C).
void SendChord(std::initializer_list<WORD> keys)
{
    for (WORD key : keys)
        SendKey(key, false);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it)
        SendKey(*it, true);
}

// Brings the top-level window of `wnd` to the front, where real input goes.
void Foreground(HWND wnd)
{
    HWND top = ::GetAncestor(wnd, GA_ROOT);
    ::SetForegroundWindow(top);
    const DWORD start = Now();
    while (::GetForegroundWindow() != top) {
        if (Now() - start > 5000)
            Fail("\"" + WindowText(top) + "\" did not come to the front");
        Sleep(10);
    }
}

// Moves the mouse to a screen point and clicks the left button there, twice for a double click.
void ClickAt(POINT at, int clicks)
{
    ::SetCursorPos(at.x, at.y);
    for (int i = 0; i < clicks; ++i) {
        INPUT click[2] = {};
        click[0].type = click[1].type = INPUT_MOUSE;
        click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        ::SendInput(2, click, sizeof click[0]);
    }
}

// The dropped-down list of a combo box: a visible top-level list window of the combo box's thread.
HWND DroppedList(HWND combo)
{
    if (::SendMessageA(combo, CB_GETDROPPEDSTATE, 0, 0) == 0)
        return nullptr;
    struct Search {
        DWORD thread;
        HWND found;
    } search{::GetWindowThreadProcessId(combo, nullptr), nullptr};
    struct Visit {
        static BOOL CALLBACK Each(HWND wnd, LPARAM param)
        {
            auto* s = reinterpret_cast<Search*>(param);
            if (::IsWindowVisible(wnd) && ClassOf(wnd) == "ComboLBox" &&
                ::GetWindowThreadProcessId(wnd, nullptr) == s->thread) {
                s->found = wnd;
                return FALSE;
            }
            return TRUE;
        }
    };
    ::EnumWindows(&Visit::Each, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

POINT CentreOf(HWND wnd)
{
    RECT r;
    ::GetWindowRect(wnd, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Waits until `done` holds; fails with `what` after `ms`.
template <class F>
void WaitFor(F done, int ms, const std::string& what)
{
    const DWORD start = Now();
    while (!done()) {
        if (static_cast<int>(Now() - start) > ms)
            Fail(what);
        Sleep(10);
    }
}

// Closes a window the way a user or the system would: "button" clicks the title bar's close
// button with the mouse, "altf4" presses Alt+F4 on it, "wmclose" posts WM_CLOSE to it.
void CloseWindow(HWND wnd, const std::string& way)
{
    if (way == "wmclose") {
        ::PostMessageA(wnd, WM_CLOSE, 0, 0);
        return;
    }
    Foreground(wnd);
    if (way == "altf4") {
        SendChord({VK_MENU, VK_F4});
    } else if (way == "button") {
        ClickAt(CloseButtonPoint(wnd), 1);
    } else {
        Fail("unknown way of closing: " + way);
    }
}

void PrintChildren(HWND top)
{
    for (HWND child : Children(top)) {
        RECT r;
        ::GetWindowRect(child, &r);
        std::printf("child %s|%d|%d|%ld,%ld,%ld,%ld|%s\n", ClassOf(child).c_str(),
                    ::IsWindowVisible(child) ? 1 : 0, ::IsWindowEnabled(child) ? 1 : 0, r.left, r.top,
                    r.right, r.bottom, Escape(WindowText(child)).c_str());
        if (ClassOf(child) == kFolderBox) {
            const LRESULT count = ::SendMessageA(child, CB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i) {
                // Asked in UTF-16: the list keeps its strings that way whatever the caller's side.
                const LRESULT length = ::SendMessageW(child, CB_GETLBTEXTLEN, i, 0);
                std::wstring wide(static_cast<std::size_t>(length < 0 ? 0 : length) + 1, L'\0');
                ::SendMessageW(child, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide.data()));
                std::string item(wide.size() * 2, '\0');
                const int n = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, item.data(),
                                                    static_cast<int>(item.size()), nullptr, nullptr);
                item.resize(n > 0 ? static_cast<std::size_t>(n - 1) : 0);
                std::printf("item %ld|%s\n", static_cast<long>(i), Escape(item).c_str());
            }
            std::printf("selected %ld\n", static_cast<long>(::SendMessageA(child, CB_GETCURSEL, 0, 0)));
        }
    }
}

void PostClick(HWND target)
{
    if (!::IsWindowVisible(target) || !::IsWindowEnabled(target))
        Fail("\"" + WindowText(target) + "\" cannot be pressed (hidden or disabled)");
    ::PostMessageA(target, BM_CLICK, 0, 0);
}

void ReadShortcut(const std::string& path)
{
    IShellLinkA* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link))))
        Fail("no shell link object");
    IPersistFile* file = nullptr;
    link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    wchar_t wide[MAX_PATH] = {};
    ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    const bool loaded = file && SUCCEEDED(file->Load(wide, STGM_READ));
    if (loaded) {
        char buffer[1024] = {};
        link->GetPath(buffer, sizeof buffer, nullptr, SLGP_RAWPATH);
        std::printf("target %s\n", buffer);
        buffer[0] = 0;
        link->GetDescription(buffer, sizeof buffer);
        std::printf("description %s\n", buffer);
        buffer[0] = 0;
        link->GetWorkingDirectory(buffer, sizeof buffer);
        std::printf("workdir %s\n", buffer);
        buffer[0] = 0;
        link->GetArguments(buffer, sizeof buffer);
        std::printf("arguments %s\n", buffer);
    }
    if (file)
        file->Release();
    link->Release();
    if (!loaded)
        Fail("cannot load shortcut " + path);
}

struct Args {
    std::vector<std::string> items;
    std::size_t at = 0;
    bool More() const { return at < items.size(); }
    std::string Next(const char* what)
    {
        if (at >= items.size())
            Fail(std::string("missing ") + what);
        return items[at++];
    }
    int NextInt(const char* what) { return std::atoi(Next(what).c_str()); }
};

void Run(Args& a)
{
    const std::string cmd = a.Next("command");
    if (cmd == "wait-window") {
        const std::string title = a.Next("title");
        const int ms = a.NextInt("timeout");
        const DWORD start = Now();
        while (!FindTop(title)) {
            if (static_cast<int>(Now() - start) > ms)
                Fail("window \"" + title + "\" did not appear");
            Sleep(20);
        }
        std::printf("appeared %s %lu\n", title.c_str(), static_cast<unsigned long>(Now() - start));
    } else if (cmd == "wait-gone") {
        const std::string title = a.Next("title");
        const int ms = a.NextInt("timeout");
        const DWORD start = Now();
        while (FindTop(title, true)) {
            if (static_cast<int>(Now() - start) > ms)
                Fail("window \"" + title + "\" did not go");
            Sleep(10);
        }
        std::printf("gone %s %lu\n", title.c_str(), static_cast<unsigned long>(Now() - start));
    } else if (cmd == "rect") {
        HWND wnd = NeedTop(a.Next("title"));
        RECT r;
        ::GetWindowRect(wnd, &r);
        std::printf("rect %ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        std::printf("screen %d %d\n", ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
        std::printf("class %s\n", ClassOf(wnd).c_str());
    } else if (cmd == "dump") {
        PrintChildren(NeedTop(a.Next("title")));
    } else if (cmd == "handles") {
        // title count timeout: waits until `count` visible windows have that title, prints them
        const std::string title = a.Next("title");
        const int count = a.NextInt("count"), ms = a.NextInt("timeout");
        const DWORD start = Now();
        for (;;) {
            std::vector<HWND> found;
            struct Visit {
                static BOOL CALLBACK Each(HWND wnd, LPARAM param)
                {
                    auto* p = reinterpret_cast<std::pair<const std::string*, std::vector<HWND>*>*>(param);
                    if (::IsWindowVisible(wnd) && WindowText(wnd) == *p->first)
                        p->second->push_back(wnd);
                    return TRUE;
                }
            };
            std::pair<const std::string*, std::vector<HWND>*> param{&title, &found};
            ::EnumWindows(&Visit::Each, reinterpret_cast<LPARAM>(&param));
            if (static_cast<int>(found.size()) >= count) {
                for (HWND wnd : found)
                    std::printf("hwnd %lu\n",
                                static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(wnd)));
                break;
            }
            if (static_cast<int>(Now() - start) > ms)
                Fail(std::to_string(count) + " windows \"" + title + "\" did not appear");
            Sleep(20);
        }
    } else if (cmd == "wait-title-has") {
        // first second timeout: until a visible window's title holds both texts (any case)
        const std::string first = Lower(a.Next("first")), second = Lower(a.Next("second"));
        const int ms = a.NextInt("timeout");
        const DWORD start = Now();
        for (;;) {
            std::pair<std::string, std::string> parts{first, second};
            std::string found;
            struct Visit {
                static BOOL CALLBACK Each(HWND wnd, LPARAM param)
                {
                    auto* p =
                        reinterpret_cast<std::pair<std::pair<std::string, std::string>*, std::string*>*>(
                            param);
                    const std::string title = WindowText(wnd);
                    const std::string lower = Lower(title);
                    if (::IsWindowVisible(wnd) && lower.find(p->first->first) != std::string::npos &&
                        lower.find(p->first->second) != std::string::npos) {
                        *p->second = title;
                        return FALSE;
                    }
                    return TRUE;
                }
            };
            std::pair<std::pair<std::string, std::string>*, std::string*> param{&parts, &found};
            ::EnumWindows(&Visit::Each, reinterpret_cast<LPARAM>(&param));
            if (!found.empty()) {
                std::printf("titled %s\n", Escape(found).c_str());
                break;
            }
            if (static_cast<int>(Now() - start) > ms)
                Fail("no window titled with \"" + first + "\" and \"" + second + "\" appeared");
            Sleep(50);
        }
    } else if (cmd == "windows") {
        struct Visit {
            static BOOL CALLBACK Each(HWND wnd, LPARAM)
            {
                if (::IsWindowVisible(wnd))
                    std::printf("window %s|%s\n", ClassOf(wnd).c_str(), Escape(WindowText(wnd)).c_str());
                return TRUE;
            }
        };
        ::EnumWindows(&Visit::Each, 0);
    } else if (cmd == "click") {
        HWND top = NeedTop(a.Next("title"));
        const std::string cls = a.Next("class");
        PostClick(FindChild(top, cls, a.Next("text")));
    } else if (cmd == "wait-enabled") {
        // title class text timeout: until that child is visible and enabled
        const std::string title = a.Next("title"), cls = a.Next("class"), text = a.Next("text");
        const int ms = a.NextInt("timeout");
        const DWORD start = Now();
        for (;;) {
            HWND top = FindTop(title);
            if (top) {
                HWND child = FindChild(top, cls, text);
                if (::IsWindowVisible(child) && ::IsWindowEnabled(child))
                    break;
            }
            if (static_cast<int>(Now() - start) > ms)
                Fail(cls + " \"" + text + "\" did not become pressable");
            Sleep(20);
        }
        std::printf("pressable %s %lu\n", text.c_str(), static_cast<unsigned long>(Now() - start));
    } else if (cmd == "wait-text") {
        // title class index-or-text substring timeout
        const std::string title = a.Next("title"), cls = a.Next("class"), which = a.Next("which");
        const std::string part = a.Next("substring");
        const int ms = a.NextInt("timeout");
        const DWORD start = Now();
        for (;;) {
            HWND top = FindTop(title);
            if (top && WindowText(FindChild(top, cls, which)).find(part) != std::string::npos)
                break;
            if (static_cast<int>(Now() - start) > ms)
                Fail(cls + " did not show \"" + part + "\"");
            Sleep(20);
        }
        std::printf("shown %lu\n", static_cast<unsigned long>(Now() - start));
    } else if (cmd == "type") {
        // Replaces the text of the combo box's edit field, one typed character at a time.
        HWND top = NeedTop(a.Next("title"));
        HWND combo = FindChild(top, kFolderBox, "#0");
        const std::string text = a.Next("text");
        HWND edit = ::FindWindowExA(combo, nullptr, "Edit", nullptr);
        if (!edit)
            Fail("the folder box has no edit field");
        ::SendMessageA(edit, EM_SETSEL, 0, -1);
        ::SendMessageA(edit, WM_CHAR, VK_BACK, 0);
        for (char c : text)
            ::SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
        std::printf("typed %s\n", text.c_str());
    } else if (cmd == "delete") {
        // The Delete key in the folder box's edit field (removes an automatic completion).
        HWND top = NeedTop(a.Next("title"));
        HWND edit = ::FindWindowExA(FindChild(top, kFolderBox, "#0"), nullptr, "Edit", nullptr);
        if (!edit)
            Fail("the folder box has no edit field");
        ::SendMessageA(edit, WM_KEYDOWN, VK_DELETE, 1);
        ::SendMessageA(edit, WM_KEYUP, VK_DELETE, 0xC0000001);
        std::printf("deleted\n");
    } else if (cmd == "pick") {
        // title index: drops the folder box's list with the arrow at its right end, walks to the
        // item with the arrow keys and takes it with Enter. (A click on the item could land before
        // the list's window is on screen.)
        HWND top = NeedTop(a.Next("title"));
        HWND combo = FindChild(top, kFolderBox, "#0");
        const int index = a.NextInt("index");
        if (index < 0 || index >= ::SendMessageA(combo, CB_GETCOUNT, 0, 0))
            Fail("the folder box has no item " + std::to_string(index));
        Foreground(combo);
        RECT box;
        ::GetWindowRect(combo, &box);
        ClickAt(POINT{box.right - 8, (box.top + box.bottom) / 2}, 1);
        HWND list = nullptr;
        WaitFor(
            [&] {
                list = DroppedList(combo);
                return list != nullptr;
            },
            5000, "the folder box's list did not drop");
        const int current = static_cast<int>(::SendMessageA(list, LB_GETCURSEL, 0, 0));
        const WORD step = index > current ? VK_DOWN : VK_UP;
        for (int at = current; at != index; at += index > current ? 1 : -1)
            SendChord({step});
        SendChord({VK_RETURN});
        WaitFor(
            [&] {
                return ::SendMessageA(combo, CB_GETDROPPEDSTATE, 0, 0) == 0 &&
                       ::SendMessageA(combo, CB_GETCURSEL, 0, 0) == index;
            },
            5000, "item " + std::to_string(index) + " was not picked");
        std::printf("picked %d\n", index);
    } else if (cmd == "press") {
        // title class text: clicks that child in its middle with the mouse
        HWND top = NeedTop(a.Next("title"));
        const std::string cls = a.Next("class");
        HWND target = FindChild(top, cls, a.Next("text"));
        if (!::IsWindowVisible(target) || !::IsWindowEnabled(target))
            Fail("\"" + WindowText(target) + "\" cannot be pressed (hidden or disabled)");
        const std::string caption = WindowText(target);
        Foreground(target);
        ClickAt(CentreOf(target), 1);
        std::printf("pressed %s\n", caption.c_str());
    } else if (cmd == "copy") {
        // title: Ctrl+C on the window; prints what it put on the clipboard
        HWND top = NeedTop(a.Next("title"));
        Foreground(top);
        const DWORD before = ::GetClipboardSequenceNumber();
        SendChord({VK_CONTROL, 'C'});
        WaitFor([&] { return ::GetClipboardSequenceNumber() != before; }, 5000, "nothing was copied");
        WaitFor([] { return ::OpenClipboard(nullptr) != FALSE; }, 5000, "the clipboard stayed busy");
        std::string text;
        if (HANDLE data = ::GetClipboardData(CF_TEXT)) {
            if (const char* bytes = static_cast<const char*>(::GlobalLock(data))) {
                text = bytes;
                ::GlobalUnlock(data);
            }
        }
        ::CloseClipboard();
        std::printf("copied %s\n", Escape(text).c_str());
    } else if (cmd == "dblclick") {
        // title x y: a double click with the mouse at that client point
        HWND top = NeedTop(a.Next("title"));
        POINT at{a.NextInt("x"), a.NextInt("y")};
        Foreground(top);
        ::ClientToScreen(top, &at);
        ClickAt(at, 2);
        std::printf("dblclicked %ld %ld\n", at.x, at.y);
    } else if (cmd == "label") {
        // title left top width height color style text: how well the label text there matches
        // `text`; style is "bc" (bold, centred), "nl" (normal, left) and so on.
        HWND top = NeedTop(a.Next("title"));
        const int l = a.NextInt("left"), t = a.NextInt("top"), w = a.NextInt("width"),
                  h = a.NextInt("height");
        const COLORREF color = static_cast<COLORREF>(std::strtoul(a.Next("color").c_str(), nullptr, 0));
        const std::string style = a.Next("style");
        const std::string text = a.Next("text");
        const bool bold = style.find('b') != std::string::npos,
                   centred = style.find('c') != std::string::npos;
        std::printf("label %.3f %s\n", LabelMatch(top, l, t, w, h, color, bold, centred, text), text.c_str());
    } else if (cmd == "capture") {
        // title left top width height file: that part of the client area as a binary PPM
        HWND top = NeedTop(a.Next("title"));
        const int l = a.NextInt("left"), t = a.NextInt("top"), w = a.NextInt("width"),
                  h = a.NextInt("height");
        const std::string file = a.Next("file");
        const Pixels shown = CaptureClient(top, l, t, w, h);
        std::string ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
        for (DWORD v : shown.Data)
            ppm += {static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
        FILE* f = std::fopen(file.c_str(), "wb");
        if (!f || std::fwrite(ppm.data(), 1, ppm.size(), f) != ppm.size())
            Fail("cannot write " + file);
        std::fclose(f);
        std::printf("captured %d %d\n", w, h);
    } else if (cmd == "reddish") {
        HWND top = NeedTop(a.Next("title"));
        const int l = a.NextInt("left"), t = a.NextInt("top"), w = a.NextInt("width"),
                  h = a.NextInt("height");
        std::printf("reddish %d\n", CountPixels(top, l, t, w, h, &Reddish));
    } else if (cmd == "wait-ink") {
        // title red|teal left top width height timeout: until text of that colour shows there
        const std::string title = a.Next("title"), colour = a.Next("colour");
        const int l = a.NextInt("left"), t = a.NextInt("top"), w = a.NextInt("width"),
                  h = a.NextInt("height"), ms = a.NextInt("timeout");
        bool (*kind)(DWORD) = colour == "red" ? &Reddish : colour == "teal" ? &Tealish : nullptr;
        if (!kind)
            Fail("unknown colour " + colour);
        const DWORD start = Now();
        for (;;) {
            HWND top = FindTop(title);
            if (top && CountPixels(top, l, t, w, h, kind) > 10)
                break;
            if (static_cast<int>(Now() - start) > ms)
                Fail("no " + colour + " text appeared");
            Sleep(10);
        }
        std::printf("ink %lu\n", static_cast<unsigned long>(Now() - start));
    } else if (cmd == "wait-hidden") {
        // title class text timeout: until that child is hidden
        const std::string title = a.Next("title"), cls = a.Next("class"), text = a.Next("text");
        const int ms = a.NextInt("timeout");
        const DWORD start = Now();
        while (::IsWindowVisible(FindChild(NeedTop(title), cls, text))) {
            if (static_cast<int>(Now() - start) > ms)
                Fail(cls + " \"" + text + "\" stayed visible");
            Sleep(20);
        }
        std::printf("hidden %s %lu\n", text.c_str(), static_cast<unsigned long>(Now() - start));
    } else if (cmd == "wait-height") {
        // title height timeout: until the window is that high
        const std::string title = a.Next("title");
        const int height = a.NextInt("height"), ms = a.NextInt("timeout");
        const DWORD start = Now();
        for (;;) {
            RECT r;
            ::GetWindowRect(NeedTop(title), &r);
            if (r.bottom - r.top == height)
                break;
            if (static_cast<int>(Now() - start) > ms)
                Fail("the window stayed " + std::to_string(r.bottom - r.top) + " high");
            Sleep(20);
        }
        std::printf("height %d %lu\n", height, static_cast<unsigned long>(Now() - start));
    } else if (cmd == "sync") {
        // title: returns once the window's thread has handled everything sent before, so what a
        // handler it was running started has started
        HWND top = NeedTop(a.Next("title"));
        const DWORD start = Now();
        DWORD_PTR result = 0;
        if (!::SendMessageTimeoutA(top, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result))
            Fail("the window's thread did not answer");
        std::printf("synced %lu\n", static_cast<unsigned long>(Now() - start));
    } else if (cmd == "close") {
        HWND top = NeedTop(a.Next("title"));
        const std::string way = a.Next("way");
        CloseWindow(top, way);
        std::printf("closing %s\n", way.c_str());
    } else if (cmd == "shortcut") {
        ReadShortcut(a.Next("path"));
    } else if (cmd == "hold") {
        // Opens the file without sharing and keeps it open for the given seconds.
        const std::string path = a.Next("path");
        const int seconds = a.NextInt("seconds");
        HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            Fail("cannot open " + path);
        std::printf("holding %s\n", path.c_str());
        std::fflush(stdout);
        Sleep(seconds * 1000);
        ::CloseHandle(file);
    } else if (cmd == "reason") {
        // The system's own text for an error code.
        const DWORD code = static_cast<DWORD>(a.NextInt("code"));
        char text[512] = {};
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                         sizeof text, nullptr);
        std::printf("reason %s\n", Escape(text).c_str());
    } else if (cmd == "sleep") {
        Sleep(a.NextInt("ms"));
    } else {
        Fail("unknown command " + cmd);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    ::CoInitialize(nullptr);
    Args all;
    for (int i = 1; i < argc; ++i)
        all.items.emplace_back(argv[i]);
    int rc = 0;
    try {
        while (all.More()) {
            Args one;
            while (all.More() && all.items[all.at] != "--")
                one.items.push_back(all.items[all.at++]);
            if (all.More())
                ++all.at;
            if (!one.items.empty())
                Run(one);
            std::fflush(stdout);
        }
    } catch (const std::exception& e) {
        std::printf("error: %s\n", e.what());
        rc = 1;
    }
    std::fflush(stdout);
    ::CoUninitialize();
    return rc;
}
