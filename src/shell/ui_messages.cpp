#include "shell/ui_messages.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace vdl {

UiMessageQueue uiMessages;

UiMessageQueue::UiMessageQueue() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

UiMessageQueue::~UiMessageQueue() {
    ::close(fd_);
}

void UiMessageQueue::post(UiMessage message) {
    std::lock_guard lock(mutex_);
    messages_.push_back(message);
    const uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(fd_, &one, sizeof one);
}

std::optional<UiMessage> UiMessageQueue::take() {
    std::lock_guard lock(mutex_);
    if (messages_.empty()) {
        uint64_t count = 0;
        [[maybe_unused]] const auto n = ::read(fd_, &count, sizeof count);
        return std::nullopt;
    }
    UiMessage m = messages_.front();
    messages_.pop_front();
    return m;
}

void UiMessageQueue::clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
    uint64_t count = 0;
    [[maybe_unused]] const auto n = ::read(fd_, &count, sizeof count);
}

}  // namespace vdl
