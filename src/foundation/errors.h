#pragma once

#include <stdexcept>
#include <string>

namespace vdl {

// An error the user has to see and can act on. Its message is "{code}: {text}",
// except for code 99, whose message is the text alone.
class UserErrorException : public std::runtime_error {
  public:
    UserErrorException(int code, std::string text);

    int code() const noexcept { return code_; }
    const std::string& text() const noexcept { return text_; }

  private:
    int code_;
    std::string text_;
};

}  // namespace vdl
