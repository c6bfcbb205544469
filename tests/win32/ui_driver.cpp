// Finds a top-level window by caption and reads or drives its controls by id, so the
// end-to-end tests can see and press what the player sees.
//
//   ui_driver COMMAND CAPTION [ID] [VALUE]   (run without arguments for the commands)
//
// Every command first waits (up to UI_DRIVER_TIMEOUT_MS, default 10000) for a visible
// top-level window with that caption. Output goes to stdout, one value per line.
// Exit codes: 0 done, 1 bad usage, 3 window or control not found.
#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kNotFound = 3;

DWORD Timeout() {
    const char* value = std::getenv("UI_DRIVER_TIMEOUT_MS");
    return value != nullptr ? std::strtoul(value, nullptr, 10) : 10000;
}

struct CaptionSearch {
    const char* caption;
    HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<CaptionSearch*>(param);
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    if (IsWindowVisible(window) && std::strcmp(text, search->caption) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindVisible(const char* caption) {
    CaptionSearch search{caption, nullptr};
    EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(const char* caption) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = FindVisible(caption)) return window;
        if (GetTickCount() - start > Timeout()) return nullptr;
        Sleep(50);
    }
}

bool WaitUntilGone(const char* caption) {
    const DWORD start = GetTickCount();
    while (FindVisible(caption) != nullptr) {
        if (GetTickCount() - start > Timeout()) return false;
        Sleep(50);
    }
    return true;
}

// The window may change its text between the two messages: a text that filled the room
// made for the old one is read again, so that no cut-off text is ever reported.
std::string TextOf(HWND window) {
    for (;;) {
        const LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
        std::string text(static_cast<size_t>(length) + 2, '\0');
        const LRESULT copied =
            SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
        if (copied <= length) {
            text.resize(std::strlen(text.c_str()));
            return text;
        }
    }
}

std::string ClassOf(HWND window) {
    char name[128] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::vector<HWND> DirectChildren(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

// The launcher's dialog font as the dialog manager makes it ("MS Shell Dlg", 8 points
// at the display's DPI): font handles do not cross processes, so it is made again here.
class DialogFont {
public:
    explicit DialogFont(HDC dc)
        : dc_(dc),
          font_(CreateFontA(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL,
                            FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "MS Shell Dlg")),
          previous_(SelectObject(dc, font_)) {}
    ~DialogFont() {
        SelectObject(dc_, previous_);
        DeleteObject(font_);
    }
    DialogFont(const DialogFont&) = delete;
    DialogFont& operator=(const DialogFont&) = delete;

    SIZE Extent(const std::string& text) const {
        RECT r{0, 0, 0, 0};
        if (!text.empty()) DrawTextA(dc_, text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE);
        return {r.right - r.left, r.bottom - r.top};
    }

private:
    HDC dc_;
    HFONT font_;
    HGDIOBJ previous_;
};

void PrintLayout(HWND dialog) {
    // Dialog units are left to the test: MapDialogRect does not work across processes.
    RECT client{};
    GetClientRect(dialog, &client);
    POINT origin{0, 0};
    ClientToScreen(dialog, &origin);
    HDC screen = GetDC(nullptr);
    std::printf("client %ld %ld %ld %ld %d\n", client.right, client.bottom, origin.x, origin.y,
                GetDeviceCaps(screen, LOGPIXELSY));
    {
        const DialogFont font(screen);
        for (HWND child : DirectChildren(dialog)) {
            RECT r{};
            GetWindowRect(child, &r);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
            const std::string text = TextOf(child);
            const SIZE extent = font.Extent(text);
            std::printf("control %d\t%s\t%08lx\t%08lx\t%ld %ld %ld %ld\t%s\t%ld %ld\n",
                        static_cast<short>(GetDlgCtrlID(child)), ClassOf(child).c_str(),
                        static_cast<unsigned long>(GetWindowLongA(child, GWL_STYLE)),
                        static_cast<unsigned long>(GetWindowLongA(child, GWL_EXSTYLE)), r.left,
                        r.top, r.right - r.left, r.bottom - r.top, text.c_str(), extent.cx,
                        extent.cy);
        }
    }
    ReleaseDC(nullptr, screen);
}

int FocusedId(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ||
        info.hwndFocus == nullptr) {
        return 0;
    }
    return GetDlgCtrlID(info.hwndFocus);
}

void Click(HWND dialog, int id, HWND control) {
    // Posted, not sent: a sent click would block while a modal dialog it opens runs.
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

WORD KeyCode(const std::string& name) {
    static const struct {
        const char* name;
        WORD key;
    } kNamed[] = {{"tab", VK_TAB},   {"enter", VK_RETURN}, {"esc", VK_ESCAPE}, {"space", VK_SPACE},
                  {"down", VK_DOWN}, {"up", VK_UP},        {"left", VK_LEFT},  {"right", VK_RIGHT},
                  {"home", VK_HOME}, {"end", VK_END},      {"f4", VK_F4}};
    for (const auto& named : kNamed)
        if (name == named.name) return named.key;
    if (name.size() == 1) return LOBYTE(VkKeyScanA(name[0]));
    return 0;
}

void Send(WORD key, bool up, bool unicode = false) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    if (unicode) {
        input.ki.wScan = key;
        input.ki.dwFlags = KEYEVENTF_UNICODE;
    } else {
        input.ki.wVk = key;
    }
    if (up) input.ki.dwFlags |= KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof input);
}

// Presses keys as the player does, into the window brought to the front: each argument
// is a key ("tab", "enter", "esc", "space", "down", a letter...) with optional
// "alt+", "shift+" or "ctrl+" before it, or "text:WORDS" typed a character at a time.
bool PressKeys(HWND window, int count, char** keys) {
    SetForegroundWindow(window);
    Sleep(200);
    for (int i = 0; i < count; ++i) {
        std::string key = keys[i];
        if (key.rfind("text:", 0) == 0) {
            for (char c : key.substr(5)) {
                Send(static_cast<unsigned char>(c), false, true);
                Send(static_cast<unsigned char>(c), true, true);
            }
        } else {
            std::vector<WORD> held;
            for (auto [prefix, modifier] : {std::pair<const char*, WORD>{"alt+", VK_MENU},
                                            {"shift+", VK_SHIFT},
                                            {"ctrl+", VK_CONTROL}}) {
                if (key.rfind(prefix, 0) == 0) {
                    held.push_back(modifier);
                    key.erase(0, std::strlen(prefix));
                }
            }
            const WORD code = KeyCode(key);
            if (code == 0) {
                std::fprintf(stderr, "ui_driver: no key \"%s\"\n", keys[i]);
                return false;
            }
            for (WORD modifier : held) Send(modifier, false);
            Send(code, false);
            Send(code, true);
            for (auto it = held.rbegin(); it != held.rend(); ++it) Send(*it, true);
        }
        Sleep(150);
    }
    return true;
}

int Usage() {
    std::fprintf(
        stderr,
        "usage: ui_driver wait|gone|text|layout|focus|owner|foreground|close|message-box|press "
        "CAPTION [ID]\n"
        "       ui_driver visible|enabled|click|enter|combo-items|combo-get|slider-get|check-get"
        " CAPTION ID\n"
        "       ui_driver type|combo-set|slider-set|check-set CAPTION ID VALUE\n"
        "       ui_driver keys CAPTION KEY...\n"
        "       ui_driver resize CAPTION WIDTH HEIGHT\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    const char* caption = argv[2];

    if (command == "gone") return WaitUntilGone(caption) ? 0 : kNotFound;

    HWND window = WaitForWindow(caption);
    if (window == nullptr) {
        std::fprintf(stderr, "ui_driver: no visible window \"%s\"\n", caption);
        return kNotFound;
    }
    if (command == "wait") return 0;
    if (command == "layout") {
        PrintLayout(window);
        return 0;
    }
    if (command == "owner") {
        HWND owner = GetWindow(window, GW_OWNER);
        std::printf("%s\n", owner != nullptr ? TextOf(owner).c_str() : "");
        return 0;
    }
    if (command == "focus") {
        std::printf("%d\n", FocusedId(window));
        return 0;
    }
    if (command == "foreground") {
        HWND front = GetForegroundWindow();
        std::printf("%s\n", front != nullptr ? TextOf(front).c_str() : "");
        return 0;
    }
    if (command == "resize" && argc == 5) {
        // As a move to a monitor of another DPI does: the system gives the window a new size.
        SetWindowPos(window, nullptr, 0, 0, std::atoi(argv[3]), std::atoi(argv[4]),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    if (command == "keys") return PressKeys(window, argc - 3, argv + 3) ? 0 : 1;
    if (command == "close") {
        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    if (command == "message-box") {
        std::printf("%s\n", TextOf(GetDlgItem(window, 0xFFFF)).c_str());
        return 0;
    }
    if (command == "press") {
        const int id = argc > 3 ? std::atoi(argv[3]) : IDOK;
        Click(window, id, GetDlgItem(window, id));
        return 0;
    }
    if (command == "text" && argc == 3) {
        std::printf("%s\n", TextOf(window).c_str());
        return 0;
    }

    if (argc < 4) return Usage();
    const int id = std::atoi(argv[3]);
    HWND control = GetDlgItem(window, id);
    if (control == nullptr) {
        std::fprintf(stderr, "ui_driver: \"%s\" has no control %d\n", caption, id);
        return kNotFound;
    }
    const char* value = argc > 4 ? argv[4] : nullptr;
    const bool needsValue = command == "type" || command == "combo-set" ||
                            command == "slider-set" || command == "check-set";
    if (needsValue && value == nullptr) return Usage();

    if (command == "text") {
        std::printf("%s\n", TextOf(control).c_str());
    } else if (command == "visible") {
        std::printf("%d\n", IsWindowVisible(control) ? 1 : 0);
    } else if (command == "enabled") {
        std::printf("%d\n", IsWindowEnabled(control) ? 1 : 0);
    } else if (command == "click") {
        Click(window, id, control);
    } else if (command == "enter") {
        // Posted like a key press, so the dialog's own message loop handles it.
        PostMessageA(control, WM_KEYDOWN, VK_RETURN, 0x001C0001);
        PostMessageA(control, WM_KEYUP, VK_RETURN, 0xC01C0001);
    } else if (command == "type") {
        SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value));
    } else if (command == "combo-items") {
        const LRESULT count = SendMessageA(control, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            // Asked in UTF-16: wine hands an ANSI request across processes back as UTF-16.
            std::wstring item(static_cast<size_t>(SendMessageW(control, CB_GETLBTEXTLEN, i, 0)) + 1,
                              L'\0');
            SendMessageW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0]));
            char text[1024] = {};
            WideCharToMultiByte(CP_ACP, 0, item.c_str(), -1, text, sizeof text - 1, nullptr,
                                nullptr);
            std::printf("%s\n", text);
        }
    } else if (command == "combo-get") {
        std::printf("%ld\n", static_cast<long>(SendMessageA(control, CB_GETCURSEL, 0, 0)));
    } else if (command == "combo-set") {
        SendMessageA(control, CB_SETCURSEL, std::atoi(value), 0);
    } else if (command == "slider-get") {
        std::printf("%ld\n", static_cast<long>(SendMessageA(control, TBM_GETPOS, 0, 0)));
    } else if (command == "slider-set") {
        SendMessageA(control, TBM_SETPOS, TRUE, std::atoi(value));
    } else if (command == "check-get") {
        std::printf("%ld\n", static_cast<long>(SendMessageA(control, BM_GETCHECK, 0, 0)));
    } else if (command == "check-set") {
        SendMessageA(control, BM_SETCHECK, std::atoi(value) ? BST_CHECKED : BST_UNCHECKED, 0);
    } else {
        return Usage();
    }
    return 0;
}
