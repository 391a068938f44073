// The Windows side of shell/main_view.h: the Win32 main window of shell/win32_window.h.
#include <windows.h>
#include <commctrl.h>

#include <fmt/format.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "airports/park_airport_state.h"
#include "foundation/encoding.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/version.h"
#include "shell/console.h"
#include "shell/main_view.h"
#include "shell/ui_messages.h"
#include "shell/win32_window.h"
#include "window/main_window.h"

namespace vdl {

namespace {

constexpr const wchar_t* windowClass = L"VandrelMainWindow";
// The client area at 96 dpi; everything below is laid out in these units and scaled.
constexpr int clientWidth = 880;
constexpr int clientHeight = 516;
constexpr int margin = 8;
constexpr int lineHeight = 20;
constexpr int optionLines = 10;  // option rows per column
constexpr int optionPitch = 26;
constexpr int boxWidth = 80;
constexpr int counterColumns = 4;
constexpr int counterPitch = 20;
constexpr int buttonWidth = 150;
constexpr int buttonHeight = 26;
constexpr int iconResource = 1;  // res/vandrel.rc
constexpr auto defaultRefresh = std::chrono::milliseconds(200);
constexpr UINT_PTR refreshTimer = 1;

std::wstring lf_wide(std::string_view text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(std::max(n, 0)), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string lf_utf8(const std::wstring& text) {
    return gf_utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

std::wstring lf_windowText(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring lf_joinValues(const std::vector<std::pair<std::string, std::string>>& values) {
    std::string text;
    for (const auto& [name, value] : values) {
        if (!text.empty()) text += "    ";
        text += fmt::format("{}: {}", name, value);
    }
    return lf_wide(text);
}

// Where the window was when the program last ended, while that place is still on a monitor.
POINT lf_savedPosition() {
    const int left = WINDOW_LEFT.value(), top = WINDOW_TOP.value();
    if (left == windowNotPlaced || top == windowNotPlaced) return {CW_USEDEFAULT, CW_USEDEFAULT};
    // The caption's middle must be on a screen, else the window could not be moved back.
    const POINT caption{left + clientWidth / 2, top + 8};
    if (MonitorFromPoint(caption, MONITOR_DEFAULTTONULL) == nullptr) return {CW_USEDEFAULT, CW_USEDEFAULT};
    return {left, top};
}

void lf_savePosition(HWND hwnd) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    RECT rect{};
    if (IsIconic(hwnd)) {
        if (!GetWindowPlacement(hwnd, &placement)) return;
        rect = placement.rcNormalPosition;
    } else if (!GetWindowRect(hwnd, &rect)) {
        return;
    }
    if (WINDOW_LEFT.value() == rect.left && WINDOW_TOP.value() == rect.top) return;
    WINDOW_LEFT.set(rect.left);
    WINDOW_TOP.set(rect.top);
    gf_saveParameter(WINDOW_LEFT);
    gf_saveParameter(WINDOW_TOP);
}

}  // namespace

Win32Window::Win32Window(std::chrono::milliseconds refreshInterval) : refreshInterval_(refreshInterval) {}

Win32Window::~Win32Window() {
    detach();
    if (hwnd_ != nullptr) {
        destroying_ = true;
        DestroyWindow(hwnd_);
    }
    if (font_ != nullptr) DeleteObject(font_);
}

void Win32Window::detach() {
    mainWindow.setChangeHook({});
    uiMessages.setPoster({});
}

LRESULT CALLBACK Win32Window::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<Win32Window*>(create->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

bool Win32Window::create(bool show, std::atomic<bool>* closeRequest) {
    closeRequest_ = closeRequest;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX common{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&common);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(instance, windowClass, &wc)) {
        wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = windowProc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(iconResource));
        wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(iconResource), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = windowClass;
        if (RegisterClassExW(&wc) == 0) return false;
    }
    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    const POINT at = lf_savedPosition();
    if (CreateWindowExW(0, windowClass, lf_wide(programName).c_str(), style, at.x, at.y, clientWidth, clientHeight,
                        nullptr, nullptr, instance, this) == nullptr) {
        hwnd_ = nullptr;
        return false;
    }
    dpi_ = GetDpiForWindow(hwnd_);
    applyFont();
    createControls();
    layout();
    refresh(true);

    const HWND hwnd = hwnd_;
    mainWindow.setChangeHook([this, hwnd] {
        // Many changes, one message: the flag is cleared when the window takes it.
        if (!changePosted_.exchange(true) && !PostMessageW(hwnd, wmModelChanged, 0, 0)) changePosted_ = false;
    });
    uiMessages.setPoster([hwnd](UiMessage m) {
        return PostMessageW(hwnd, m == UiMessage::StartRun ? wmStartRun : wmSaveAndQuit, 0, 0) != 0;
    });
    if (refreshInterval_.count() > 0) SetTimer(hwnd_, refreshTimer, static_cast<UINT>(refreshInterval_.count()), nullptr);
    if (show) {
        ShowWindow(hwnd_, SW_SHOWNORMAL);
        UpdateWindow(hwnd_);
    }
    return true;
}

int Win32Window::scale(int value) const { return MulDiv(value, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI); }

void Win32Window::applyFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    HFONT font = nullptr;
    if (SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi_))
        font = CreateFontIndirectW(&metrics.lfMessageFont);
    if (font == nullptr) return;
    if (font_ != nullptr) DeleteObject(font_);
    font_ = font;
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
}

void Win32Window::createControls() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    // The text as a pointer: an empty std::wstring built from L"" trips a false -Warray-bounds in
    // MinGW's g++ 12 at -O3.
    auto make = [&](const wchar_t* cls, DWORD style, DWORD exStyle, int id, const wchar_t* text) {
        HWND child = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, hwnd_,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        if (child != nullptr && font_ != nullptr) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        return child;
    };
    make(L"STATIC", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, idStatusLine, L"");
    for (int i = 0; i < counterSlots; ++i) make(L"STATIC", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, idCounterFirst + i, L"");
    for (const ControlView& c : mainWindow.controls()) {
        const std::wstring caption = lf_wide(c.caption);
        switch (c.kind) {
            case ControlKind::CheckBox:
                make(L"BUTTON", BS_CHECKBOX | WS_TABSTOP, 0, c.controlId, caption.c_str());
                break;
            case ControlKind::Button:
                make(L"BUTTON", BS_CHECKBOX | BS_PUSHLIKE | WS_TABSTOP, 0, c.controlId, caption.c_str());
                break;
            case ControlKind::TbInt:
            case ControlKind::TbFloat:
            case ControlKind::TbText:
                // The label has no id of its own: the box is found by the parameter's.
                make(L"STATIC", SS_LEFT | SS_NOPREFIX, 0, 0, caption.c_str());
                make(L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, c.controlId, lf_wide(c.text).c_str());
                break;
        }
    }
    make(L"STATIC", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, idOptionValues, L"");
    make(L"STATIC", SS_LEFT | SS_NOPREFIX, 0, idStatistics, L"");
    make(L"STATIC", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, idErrorLine, L"");
    make(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0, idFlushStatic,
         lf_wide(gf_buttonCaption(WindowButton::FlushStatic)).c_str());
    make(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0, idReservedStand,
         lf_wide(gf_buttonCaption(WindowButton::ShowReservedStand)).c_str());
}

void Win32Window::layout() {
    auto place = [&](HWND child, int x, int y, int w, int h) {
        if (child != nullptr) MoveWindow(child, scale(x), scale(y), scale(w), scale(h), FALSE);
    };
    auto item = [&](int id) { return GetDlgItem(hwnd_, id); };
    const int width = clientWidth - 2 * margin;
    place(item(idStatusLine), margin, 4, width, lineHeight);

    const AreaRect counters = gf_areaRect(WindowArea::Counters);
    const int counterWidth = width / counterColumns;
    for (int i = 0; i < counterSlots; ++i)
        place(item(idCounterFirst + i), margin + (i % counterColumns) * counterWidth,
              counters.top + 2 + (i / counterColumns) * counterPitch, counterWidth - margin, lineHeight);

    const AreaRect options = gf_areaRect(WindowArea::Options);
    const std::vector<ControlView> controls = mainWindow.controls();
    int rows = 0;
    for (const ControlView& c : controls) rows = std::max(rows, c.row + 1);
    const int columns = std::max(1, (rows + optionLines - 1) / optionLines);
    const int columnWidth = width / columns;
    for (const ControlView& c : controls) {
        const int x = margin + (c.row / optionLines) * columnWidth;
        const int y = options.top + 4 + (c.row % optionLines) * optionPitch;
        HWND control = item(c.controlId);
        if (gf_controlHasBox(c.kind)) {
            // The label is the window made just before its box.
            place(GetWindow(control, GW_HWNDPREV), x, y + 3, columnWidth - boxWidth - 2 * margin, lineHeight);
            place(control, x + columnWidth - boxWidth - margin, y, boxWidth, 22);
        } else {
            place(control, x, y, columnWidth - margin, 22);
        }
    }
    place(item(idOptionValues), margin, options.bottom - lineHeight - 2, width, lineHeight);

    const AreaRect statistics = gf_areaRect(WindowArea::Statistics);
    place(item(idStatistics), margin, statistics.top + 2, width, statistics.bottom - statistics.top - 4);
    place(item(idErrorLine), margin, statistics.bottom + 4, width, lineHeight);
    place(item(idFlushStatic), margin, clientHeight - buttonHeight - margin, buttonWidth, buttonHeight);
    place(item(idReservedStand), 2 * margin + buttonWidth, clientHeight - buttonHeight - margin, buttonWidth,
          buttonHeight);

    // The client area gets its size; the frame is measured rather than computed, so that it is
    // right whatever the system draws around it at this DPI.
    RECT outer{}, client{};
    GetWindowRect(hwnd_, &outer);
    GetClientRect(hwnd_, &client);
    SetWindowPos(hwnd_, nullptr, 0, 0, scale(clientWidth) + (outer.right - outer.left) - client.right,
                 scale(clientHeight) + (outer.bottom - outer.top) - client.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void Win32Window::setText(int id, const std::wstring& text) {
    auto [it, added] = shownText_.try_emplace(id, text);
    if (!added && it->second == text) return;
    it->second = text;
    HWND control = GetDlgItem(hwnd_, id);
    if (control == nullptr || lf_windowText(control) == text) return;
    updating_ = true;
    SetWindowTextW(control, text.c_str());
    updating_ = false;
}

void Win32Window::refresh(bool force) {
    if (hwnd_ == nullptr) return;
    const uint64_t version = mainWindow.version();
    const bool flushEnabled = parkingActive.load();
    if (force || version != shownVersion_) {
        shownVersion_ = version;
        const std::wstring title =
            lf_wide(fmt::format("{} {} for {}", programName, programVersion.text(), gf_simulatorName()));
        if (lf_windowText(hwnd_) != title) SetWindowTextW(hwnd_, title.c_str());
        setText(idStatusLine, lf_wide(mainWindow.statusLine()));
        setText(idErrorLine, lf_wide(mainWindow.errorLine()));

        const auto counters = mainWindow.values(WindowArea::Counters);
        for (int i = 0; i < counterSlots; ++i) {
            const auto slot = static_cast<size_t>(i);
            setText(idCounterFirst + i, slot < counters.size()
                                            ? lf_wide(fmt::format("{}: {}", counters[slot].first, counters[slot].second))
                                            : std::wstring());
        }
        setText(idOptionValues, lf_joinValues(mainWindow.values(WindowArea::Options)));
        setText(idStatistics, lf_joinValues(mainWindow.values(WindowArea::Statistics)));

        for (const ControlView& c : mainWindow.controls()) {
            HWND control = GetDlgItem(hwnd_, c.controlId);
            if (control == nullptr) continue;
            if ((IsWindowEnabled(control) != FALSE) != c.enabled) EnableWindow(control, c.enabled);
            if (gf_controlHasBox(c.kind)) {
                setText(c.controlId, lf_wide(c.text));
            } else {
                const WPARAM state = c.checked ? BST_CHECKED : BST_UNCHECKED;
                if (static_cast<WPARAM>(SendMessageW(control, BM_GETCHECK, 0, 0)) != state)
                    SendMessageW(control, BM_SETCHECK, state, 0);
            }
        }
        for (WindowArea area : {WindowArea::Counters, WindowArea::Options, WindowArea::Statistics}) {
            if (!mainWindow.takeRepaintRequest(area)) continue;
            const AreaRect r = gf_areaRect(area);
            RECT rect{scale(r.left), scale(r.top), scale(r.right), scale(r.bottom)};
            InvalidateRect(hwnd_, &rect, TRUE);
        }
    }
    HWND flush = GetDlgItem(hwnd_, idFlushStatic);
    if ((IsWindowEnabled(flush) != FALSE) != flushEnabled) EnableWindow(flush, flushEnabled);
}

void Win32Window::showAnswer(const std::string& answer) {
    if (!answer.empty()) gf_setStatusLine(answer, true);
    refresh();
}

void Win32Window::confirmBox(int id) {
    HWND box = GetDlgItem(hwnd_, id);
    if (box == nullptr) return;
    typed_[id] = false;
    showAnswer(gf_confirmBox(id, lf_utf8(lf_windowText(box))));
}

void Win32Window::close() {
    // The same end as the terminal's "quit"; the window goes when the exit posts WM_APP+2.
    showAnswer(gf_closeProgram());
}

void Win32Window::onCommand(int id, int code, HWND control) {
    if (control == nullptr) {
        // IsDialogMessage's Enter: the box with the focus is confirmed.
        if (id == IDOK) {
            const int focus = GetDlgCtrlID(GetFocus());
            if (GetParent(GetFocus()) == hwnd_ && typed_.contains(focus)) confirmBox(focus);
        }
        return;
    }
    if (id == idFlushStatic && code == BN_CLICKED) return showAnswer(gf_pressButton(WindowButton::FlushStatic));
    if (id == idReservedStand && code == BN_CLICKED)
        return showAnswer(gf_pressButton(WindowButton::ShowReservedStand));
    if (code == BN_CLICKED) return showAnswer(gf_pressControl(id));
    if (code == EN_CHANGE && !updating_) {
        typed_[id] = true;
        const std::wstring text = lf_windowText(control);
        shownText_[id] = text;
        mainWindow.setBoxText(id, lf_utf8(text));
        return;
    }
    if (code == EN_KILLFOCUS && !destroying_ && typed_[id]) confirmBox(id);
}

LRESULT Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == GetDlgItem(hwnd_, idErrorLine)) {
                const HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, RGB(192, 0, 0));
                SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            }
            break;
        case wmModelChanged:
            changePosted_ = false;
            refresh();
            return 0;
        case WM_TIMER:
            if (closeRequest_ != nullptr && closeRequest_->exchange(false)) close();
            refresh();
            if (onTimer_) onTimer_();
            return 0;
        case wmStartRun:
        case wmSaveAndQuit:
            if (gf_handleUiMessage(message == wmStartRun ? UiMessage::StartRun : UiMessage::SaveAndQuit)) {
                lf_savePosition(hwnd_);
                destroying_ = true;
                detach();
                DestroyWindow(hwnd_);
            }
            return 0;
        case WM_CLOSE:
            close();
            return 0;
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wParam);
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            applyFont();
            layout();
            return 0;
        }
        case WM_DESTROY:
            destroying_ = true;
            detach();
            KillTimer(hwnd_, refreshTimer);
            return 0;
        case WM_NCDESTROY: {
            // The loops end when the window is gone; no WM_QUIT is left behind for the thread.
            const HWND gone = hwnd_;
            SetWindowLongPtrW(gone, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            return DefWindowProcW(gone, message, wParam, lParam);
        }
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

bool Win32Window::dispatch(MSG& msg) {
    if (msg.message == WM_QUIT) {
        quitSeen_ = true;
        return false;
    }
    // Tab between the controls, Enter confirms a box (IDOK).
    if (hwnd_ == nullptr || !IsDialogMessageW(hwnd_, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

bool Win32Window::pumpMessages() {
    MSG msg;
    while (!quitSeen_ && hwnd_ != nullptr && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) dispatch(msg);
    return !quitSeen_ && hwnd_ != nullptr;
}

void Win32Window::run() {
    MSG msg;
    while (!quitSeen_ && hwnd_ != nullptr && GetMessageW(&msg, nullptr, 0, 0) > 0) dispatch(msg);
}

bool gf_runWindowLoop(int inputFd, TerminalView& view, std::atomic<bool>* closeRequest) {
    Win32Window window(defaultRefresh);
    if (!window.create(true, closeRequest)) {
        gf_log(fmt::format("gf_runWindowLoop: no window (error {}): the terminal view alone", GetLastError()));
        return false;
    }
    // The console goes on beside the window, on the window's timer: the terminal view prints and
    // typed commands are taken.
    CommandInput input(inputFd);
    window.setOnTimer([&view, &input] {
        if (input.waitFd() >= 0 && gf_waitUi(uiMessages.wakeUp(), input.waitFd(), std::chrono::milliseconds(0)).input)
            input.take();
        if (const int page = input.takeHelpAsked(); page > 0) view.askOptions(page);
        view.refresh();
    });
    window.run();
    view.finish();
    return true;
}

}  // namespace vdl
