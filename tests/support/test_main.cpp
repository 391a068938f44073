#include <gtest/gtest.h>

#include <string>

#include "foundation/errors.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // A fault of the program fails the test it happens in, whatever the test asserts.
    vdl::gf_setProgramFaultHandlerForTests(
        [](std::string_view text) { ADD_FAILURE() << "program fault: " << std::string(text); });
    return RUN_ALL_TESTS();
}
