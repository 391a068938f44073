#include "foundation/errors.h"

#include <fmt/format.h>

namespace vdl {

namespace {
std::string lf_userErrorMessage(int code, const std::string& text) {
    if (code == 99) return text;
    return fmt::format("{}: {}", code, text);
}
}  // namespace

UserErrorException::UserErrorException(int code, std::string text)
    : std::runtime_error(lf_userErrorMessage(code, text)), code_(code), text_(std::move(text)) {}

}  // namespace vdl
