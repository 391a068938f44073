#include "shell/ui_messages.h"

#include <system_error>

namespace vdl {

UiMessageQueue uiMessages;

UiMessageQueue::UiMessageQueue() {
    std::error_code ec;
    wake_ = WakeUp::open(ec);
    if (ec) throw std::system_error(ec, "wake-up pair");
}

UiMessageQueue::~UiMessageQueue() = default;

void UiMessageQueue::post(UiMessage message) {
    std::lock_guard lock(mutex_);
    if (poster_ && poster_(message)) return;
    messages_.push_back(message);
    wake_.signal();
}

void UiMessageQueue::setPoster(Poster poster) {
    std::lock_guard lock(mutex_);
    poster_ = std::move(poster);
    if (!poster_) return;
    while (!messages_.empty() && poster_(messages_.front())) messages_.pop_front();
    if (messages_.empty()) wake_.drain();
}

std::optional<UiMessage> UiMessageQueue::take() {
    std::lock_guard lock(mutex_);
    if (messages_.empty()) {
        wake_.drain();
        return std::nullopt;
    }
    UiMessage m = messages_.front();
    messages_.pop_front();
    return m;
}

void UiMessageQueue::clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
    wake_.drain();
}

}  // namespace vdl
