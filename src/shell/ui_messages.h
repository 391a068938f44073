#pragma once
// The UI thread's message queue: the private window messages of the run's start and end.
#include <deque>
#include <functional>
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

    // Any thread. With a poster set the message goes to it; kept here when it refuses.
    void post(UiMessage message);
    // A window's own message queue takes the messages (PostMessage of WM_APP+1 and WM_APP+2);
    // messages waiting here go to it at once. Empty: they are kept here again. clear() keeps it.
    using Poster = std::function<bool(UiMessage)>;
    void setPoster(Poster poster);
    // The oldest message, or none.
    std::optional<UiMessage> take();
    // Signalled while messages wait, for the UI thread's wait.
    const WakeUp& wakeUp() const { return wake_; }
    void clear();

  private:
    std::mutex mutex_;  // guards messages_ and poster_
    std::deque<UiMessage> messages_;
    Poster poster_;
    WakeUp wake_;
};

extern UiMessageQueue uiMessages;

inline void gf_postUiMessage(UiMessage message) {
    uiMessages.post(message);
}

}  // namespace vdl
