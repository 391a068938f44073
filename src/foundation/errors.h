#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

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

// A fault of the program itself, never of outside input: the caller logs it and drops what it
// concerned; this tells the tests (and the fuzz targets), which set a handler that fails them.
void gf_reportProgramFault(std::string_view text);
using ProgramFaultHandler = void (*)(std::string_view text);
// Set at the start of a test binary and kept for its whole life (no reset clears it); answers
// the handler it replaces.
ProgramFaultHandler gf_setProgramFaultHandlerForTests(ProgramFaultHandler handler);

}  // namespace vdl
