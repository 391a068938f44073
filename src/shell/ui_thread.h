#pragma once
// The UI thread: its message loop, the terminal view of the window and the commands typed at
// the terminal, which stand in for the window's controls.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "shell/terminal_view.h"
#include "shell/ui_messages.h"

namespace vdl {

// One command line (lf_HandleWMCOMMAND's terminal form):
//   set NAME VALUE   a box or check box: the value confirmed, saved and acted on
//   press NAME       a check box or button toggled; also "Flush static", "show reserved stand"
//   quit             the program is closed
//   help [N]         the commands; the terminal view shows page N of the options by name
// Answers the text for the status line.
std::string gf_handleCommand(std::string_view line);

// The page a `help` or `help N` line asks for (1 for `help`); 0 when it is none of them.
int gf_helpPageOf(std::string_view line);

// The window's own buttons, beside the controls of the parameters.
enum class WindowButton { FlushStatic, ShowReservedStand };
const char* gf_buttonCaption(WindowButton button);  // "Flush static", "show reserved stand"

// What the window's controls do (lf_HandleWMCOMMAND); each answers the text for the status line.
// A button pressed: its request to the run worker.
std::string gf_pressButton(WindowButton button);
// A value confirmed in the box (or "on"/"off" for a check box) of the control with that id:
// taken, saved and acted on as `set NAME VALUE`; an empty text is a value too (a cleared box).
std::string gf_confirmBox(int controlId, std::string_view text);
// The check box or button with that id toggled, as `press NAME`.
std::string gf_pressControl(int controlId);
// The user closes the program: `userClosed` set and the run ended with "USER CLOSED SIM".
std::string gf_closeProgram();

// One message of the UI queue: StartRun starts a run worker (once the user has closed, it writes
// the reports instead); answers whether the UI loop ends (SaveAndQuit, or that close).
bool gf_handleUiMessage(UiMessage message);

// Command lines read from a file descriptor without blocking (a pipe, a file or the console),
// each handled as gf_handleCommand and answered on the status line.
class CommandInput {
  public:
    explicit CommandInput(int fd) : fd_(fd), open_(fd >= 0) {}
    // The descriptor to wait on; -1 once its end was read (or none was given).
    int waitFd() const { return open_ ? fd_ : -1; }
    // Reads what waits and handles every whole line.
    void take();
    // The page of the last `help` or `help N` among the lines taken since the last call; 0: none.
    int takeHelpAsked() { return std::exchange(helpAsked_, 0); }

  private:
    int fd_;
    bool open_;
    int helpAsked_ = 0;
    std::string pending_;
};

// The message loop: StartRun starts a run worker, SaveAndQuit ends the loop; commands come
// from inputFd (-1: none; at its end the loop goes on without). `closeRequest`, when given and
// set, is taken as the command "quit".
void gf_runUiLoop(int inputFd, TerminalView& view, std::atomic<bool>* closeRequest);

}  // namespace vdl
