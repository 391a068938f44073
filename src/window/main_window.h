#pragma once
// The main window without a screen: what it shows is kept here behind windowMutex, and a
// terminal view prints it as plain text lines. Several threads write to it.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/parameters.h"

namespace vdl {

// The window is 880 by 516; these areas are repainted on their own.
enum class WindowArea { Counters = 0, Options = 1, Statistics = 2 };
inline constexpr int windowAreaCount = 3;

struct AreaRect {
    int left, top, right, bottom;
};

// Counters x 0..880 y 28..112, options y 112..392, statistics band y 392..448.
constexpr AreaRect gf_areaRect(WindowArea area) {
    switch (area) {
        case WindowArea::Counters: return {0, 28, 880, 112};
        case WindowArea::Options: return {0, 112, 880, 392};
        case WindowArea::Statistics: return {0, 392, 880, 448};
    }
    return {0, 0, 0, 0};
}

// Number, decimal and text options are edit boxes; the others are clicked.
constexpr bool gf_controlHasBox(ControlKind kind) {
    return kind == ControlKind::TbInt || kind == ControlKind::TbFloat || kind == ControlKind::TbText;
}

// One control as the window shows it, bound to its parameter.
struct ControlView {
    const Parameter* parameter = nullptr;
    ControlKind kind = ControlKind::CheckBox;
    int controlId = 0;
    int row = 0;
    std::string caption;
    bool enabled = true;
    bool checked = false;  // check boxes and buttons: the parameter's value
    std::string text;      // edit boxes: the text in the box
};

// What the window shows, part by part, as plain text: the terminal view lays it out.
struct WindowText {
    std::string title;
    std::string status;  // "status: ..."
    std::string error;   // "Error ...", empty without one
    std::vector<std::pair<std::string, std::string>> counters;
    std::vector<std::string> optionRows;  // one line per row of controls
    std::vector<std::pair<std::string, std::string>> optionValues;
    std::vector<std::pair<std::string, std::string>> statistics;
    // One line per control, led by the parameter's name that `set`/`press` take.
    std::vector<std::string> optionNames;
};

class MainWindow {
public:
    using Clock = std::chrono::steady_clock;
    using NowFunction = std::function<Clock::time_point()>;

    // How long a status line stays.
    static constexpr std::chrono::seconds statusLineDuration{10};

    explicit MainWindow(NowFunction now = {});
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Shown for statusLineDuration; ignored (false) while an error line shows.
    bool setStatusLine(std::string_view text);
    void clearStatusLine();
    std::string statusLine();  // "" once it has run out

    // Shows "Error {}" with the text; it stays until the window is reset.
    void setErrorLine(std::string_view text);
    std::string errorLine() const;

    // A named display value of the counters, options or statistics area, kept in the order
    // first set. Storing a value does not repaint; requestRepaint does.
    void setValue(WindowArea area, std::string_view name, std::string value);
    std::string value(WindowArea area, std::string_view name) const;
    // The area's values in the order first set.
    std::vector<std::pair<std::string, std::string>> values(WindowArea area) const;

    // InvalidateRect: marks the area for repainting.
    void requestRepaint(WindowArea area);
    // Whether a repaint of the area was asked for since the last call; clears the request.
    bool takeRepaintRequest(WindowArea area);

    // Binds one control to every parameter that has one (done on first use). Throws
    // std::logic_error when two parameters share a control id.
    void bindControls();
    // The controls in row order, their state read from the parameters at this moment.
    std::vector<ControlView> controls();
    // Writes the parameter's value into its edit box and repaints the options area; nothing
    // for a parameter without an edit box.
    void showParameterValue(const Parameter& parameter);
    // Text typed into an edit box (not yet taken over by its parameter). False for an
    // unknown control id or a control without a box.
    bool setBoxText(int controlId, std::string_view text);
    std::string boxText(int controlId);

    // Grows with every change of what the window shows, including a status line that has
    // run out and controls changed through their parameters.
    uint64_t version();
    // The window as plain text lines.
    std::vector<std::string> lines();
    // The same, part by part.
    WindowText text();

    // Called after every change, on the changing thread with the window's mutex held: a view
    // on a screen asks its own thread to repaint (it may post a message, nothing that locks).
    // Empty: none. Kept by reset().
    void setChangeHook(std::function<void()> hook);

    // Empties everything (unbinds the controls).
    void reset();

private:
    struct BoundControl {
        Parameter* parameter;
        ParamControl* control;
        std::string boxText;
        bool shownEnabled;
        bool shownChecked;
    };

    // The helpers below need windowMutex held: they take the caller's lock on it.
    using Lock = std::unique_lock<std::mutex>;

    Clock::time_point now() const;
    void expireStatus(const Lock& lock);
    void syncControls(const Lock& lock);
    void bind(const Lock& lock);
    BoundControl* findControl(const Lock& lock, int controlId);
    void changed(const Lock&) {
        ++version_;
        if (changeHook_) changeHook_();
    }

    NowFunction now_;
    mutable std::mutex windowMutex;
    uint64_t version_ = 1;
    std::string statusLine_;
    Clock::time_point statusUntil_{};
    std::string errorLine_;
    std::array<std::vector<std::pair<std::string, std::string>>, windowAreaCount> values_;
    std::array<bool, windowAreaCount> repaintRequested_{};
    bool bound_ = false;
    std::vector<BoundControl> controls_;
    std::function<void()> changeHook_;
};

// The program's one main window.
extern MainWindow mainWindow;

// Shows the text on the status line for a while (ignored while an error line shows) and
// writes it to Log.txt when logFlag is set, shown or not.
void gf_setStatusLine(std::string_view text, bool logFlag);
void gf_clearStatusLine();
// The error line: "Error {}".
void gf_setErrorLine(std::string_view text);

// The option's value into its edit box, and a repaint.
void gf_setTbInt(const TbIntParameter& option);
void gf_setTbFloat(const TbFloatParameter& option);  // "{:.1F}" or "{:.0f}"
void gf_setTbText(const TbTextParameter& option);

// Display values and repaint requests of mainWindow.
void gf_setWindowValue(WindowArea area, std::string_view name, std::string value);
void gf_repaintArea(WindowArea area);

// Binds the controls; the start-up calls it.
void gf_initMainWindow();

}  // namespace vdl
