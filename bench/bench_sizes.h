// Sizes a benchmark takes from its command line ("--name N"), taken out of argv before
// Google Benchmark sees its own flags.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace vdl::bench {

struct SizeFlag {
    const char* name;  // without the leading "--"
    size_t* value;     // holds the default until a flag sets it
};

// Takes every "--name N" (or "--name=N") of the flags out of argv; a bad count ends the
// program with a message, since a benchmark of the wrong size would mislead.
inline void gf_takeSizeFlags(int& argc, char** argv, const std::vector<SizeFlag>& flags) {
    int out = 1;
    for (int i = 1; i < argc; ++i) {
        const SizeFlag* matched = nullptr;
        const char* text = nullptr;
        for (const auto& flag : flags) {
            const std::string option = std::string("--") + flag.name;
            if (option == argv[i] && i + 1 < argc) {
                matched = &flag;
                text = argv[++i];
            } else if (std::strncmp(argv[i], (option + "=").c_str(), option.size() + 1) == 0) {
                matched = &flag;
                text = argv[i] + option.size() + 1;
            }
            if (matched) break;
        }
        if (!matched) {
            argv[out++] = argv[i];
            continue;
        }
        char* end = nullptr;
        const unsigned long long n = std::strtoull(text, &end, 10);
        if (end == text || *end != '\0' || text[0] == '-') {
            std::fprintf(stderr, "--%s wants a count, not \"%s\"\n", matched->name, text);
            std::exit(2);
        }
        *matched->value = static_cast<size_t>(n);
    }
    argc = out;
    argv[argc] = nullptr;
}

}  // namespace vdl::bench
