#include "foundation/errors.h"

#include <fmt/format.h>

#include <atomic>

namespace vdl {

namespace {
std::string lf_userErrorMessage(int code, const std::string& text) {
    if (code == 99) return text;
    return fmt::format("{}: {}", code, text);
}
std::atomic<ProgramFaultHandler> programFaultHandler{nullptr};
}  // namespace

void gf_reportProgramFault(std::string_view text) {
    if (const auto handler = programFaultHandler.load()) handler(text);
}

ProgramFaultHandler gf_setProgramFaultHandlerForTests(ProgramFaultHandler handler) {
    return programFaultHandler.exchange(handler);
}

UserErrorException::UserErrorException(int code, std::string text)
    : std::runtime_error(lf_userErrorMessage(code, text)), code_(code), text_(std::move(text)) {}

}  // namespace vdl
