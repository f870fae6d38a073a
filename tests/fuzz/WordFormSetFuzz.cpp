// A word-form set file: opened, counted, asked for a word and for its near forms, and walked
// below a prefix as the layout tables walk theirs.
#include "ondrix_fst.h"
#include "wordforms/Fst.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string scratchPath() {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/murmelo-fuzz-wordforms-" + std::to_string(getpid()) + ".fst";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = scratchPath();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    if (ondrix_fst* set = ondrix_fst_open(path.c_str())) {
        (void)ondrix_fst_len(set);
        static const char* words[] = {"дом", "домы", "house", "", "ёлка"};
        char out[4096];
        for (const char* w : words) {
            const size_t n = std::char_traits<char>::length(w);
            (void)ondrix_fst_contains(set, w, n);
            (void)ondrix_fst_fuzzy(set, w, n, 2, 0, out, sizeof out);
            (void)ondrix_fst_fuzzy(set, w, n, 1, 3, out, sizeof out);
        }
        ondrix_fst_close(set);
    }
    std::remove(path.c_str());
    if (auto set = murmelo::fst::Fst::fromBytes(data, size)) {
        for (const char* prefix : {"", "!", "\"!"}) {
            std::size_t seen = 0;
            set->withPrefix(prefix, [&](std::string_view) { return ++seen < 100000; });
        }
    }
    return 0;
}
