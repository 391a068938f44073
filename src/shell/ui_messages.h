#pragma once
// The UI thread's message queue: the private window messages of the run's start and end.
#include <deque>
#include <mutex>
#include <optional>

#include "foundation/net.h"

namespace vdl {

enum class UiMessage {
    StartRun,     // WM_APP+1: start a (new) run
    SaveAndQuit,  // WM_APP+2: save the window's state and quit
};

class UiMessageQueue {
  public:
    UiMessageQueue();
    ~UiMessageQueue();
    UiMessageQueue(const UiMessageQueue&) = delete;
    UiMessageQueue& operator=(const UiMessageQueue&) = delete;

    // Any thread.
    void post(UiMessage message);
    // The oldest message, or none.
    std::optional<UiMessage> take();
    // Signalled while messages wait, for the UI thread's wait.
    // TODO: on Windows the queue becomes the window's own message queue (PostMessage of WM_APP+1
    // and WM_APP+2, GetMessage) once the program has its real window.
    const WakeUp& wakeUp() const { return wake_; }
    void clear();

  private:
    std::mutex mutex_;  // guards messages_
    std::deque<UiMessage> messages_;
    WakeUp wake_;
};

extern UiMessageQueue uiMessages;

inline void gf_postUiMessage(UiMessage message) {
    uiMessages.post(message);
}

}  // namespace vdl
