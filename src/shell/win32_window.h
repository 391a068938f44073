#pragma once
// The main window on a Windows screen (Windows only; main_view_windows.cpp): a view of the
// window model `mainWindow` whose controls are bound to their parameters both ways. The model
// stays the one place of what the window shows; this view copies it into Win32 controls when it
// changes (a change on any thread posts the window a repaint message) and turns the user's
// clicks and confirmed boxes into the commands of the UI thread.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <string>

namespace vdl {

// The window's messages: the UI queue's two, and the model's change.
inline constexpr UINT wmStartRun = WM_APP + 1;
inline constexpr UINT wmSaveAndQuit = WM_APP + 2;
inline constexpr UINT wmModelChanged = WM_APP + 3;

// Ids of the window's own controls; a parameter's control has the parameter's id (1001 on).
enum Win32ControlId : int {
    idStatusLine = 100,
    idErrorLine = 101,
    idFlushStatic = 110,
    idReservedStand = 111,
    idOptionValues = 120,
    idStatistics = 121,
    idCounterFirst = 200,  // the counters, one static text each, in the order first set
};
inline constexpr int counterSlots = 16;

class Win32Window {
  public:
    // refreshInterval: how often the window also looks at the model by itself, for what changes
    // without telling it (the status line's run-out, enable rules, the console's close); zero:
    // only when told.
    explicit Win32Window(std::chrono::milliseconds refreshInterval);
    ~Win32Window();
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    // Creates the window, its controls and its bindings, and takes over the UI queue (its
    // messages become WM_APP+1 and WM_APP+2). False when the window cannot be created.
    bool create(bool show, std::atomic<bool>* closeRequest = nullptr);
    HWND handle() const { return hwnd_; }
    // Handles the messages that wait now; false once the window is gone.
    bool pumpMessages();
    // The message loop until the window is gone.
    void run();
    // The controls brought up to the model now.
    void refresh(bool force = false);
    // Also done on each tick of the refresh interval.
    void setOnTimer(std::function<void()> each) { onTimer_ = std::move(each); }

  private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool dispatch(MSG& msg);
    void createControls();
    void layout();
    void applyFont();
    int scale(int value) const;
    void onCommand(int id, int code, HWND control);
    void confirmBox(int id);
    void showAnswer(const std::string& answer);
    void close();
    void setText(int id, const std::wstring& text);
    void detach();

    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    std::chrono::milliseconds refreshInterval_;
    std::atomic<bool>* closeRequest_ = nullptr;
    std::function<void()> onTimer_;
    std::atomic<bool> changePosted_{false};
    bool updating_ = false;    // the view itself is writing into its controls
    bool destroying_ = false;
    bool quitSeen_ = false;
    uint64_t shownVersion_ = 0;
    std::map<int, std::wstring> shownText_;  // what each static text or box shows now
    std::map<int, bool> typed_;              // a box the user typed into since its last confirm
};

}  // namespace vdl
