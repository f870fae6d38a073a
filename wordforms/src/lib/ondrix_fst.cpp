#include "ondrix_fst.h"

#include "wordforms/Alphabet.h"
#include "wordforms/Fst.h"
#include "wordforms/Utf8.h"

#include <cstring>
#include <new>

struct ondrix_fst {
    murmelo::fst::FstFile file;
};

namespace {

// The key of a word given across the boundary, or nothing for malformed UTF-8 (encoding
// checks it as it goes) or a character outside the alphabet.
std::optional<std::string> keyOf(const char* word, size_t len) {
    return murmelo::enc::encode(std::string_view(word, len));
}

}  // namespace

extern "C" {

ondrix_fst* ondrix_fst_open(const char* path) {
    try {
        if (!path || !murmelo::utf8::valid(path)) return nullptr;
        auto file = murmelo::fst::openFile(path);
        if (!file) return nullptr;
        return new (std::nothrow) ondrix_fst{std::move(*file)};
    } catch (...) {
        return nullptr;
    }
}

void ondrix_fst_close(ondrix_fst* handle) { delete handle; }

uint64_t ondrix_fst_len(const ondrix_fst* handle) { return handle ? handle->file.fst.len() : 0; }

bool ondrix_fst_contains(const ondrix_fst* handle, const char* word, size_t word_len) {
    try {
        if (!handle || !word) return false;
        const auto key = keyOf(word, word_len);
        return key && handle->file.fst.contains(*key);
    } catch (...) {
        return false;
    }
}

int32_t ondrix_fst_fuzzy(const ondrix_fst* handle, const char* word, size_t word_len, int32_t max_edits,
                         int32_t limit, char* out, size_t out_len) {
    try {
        if (!handle || !word || !out || out_len == 0) return -1;
        const auto key = keyOf(word, word_len);
        if (!key) return -1;
        const int edits = max_edits <= 1 ? 1 : 2;
        int32_t count = 0;
        size_t pos = 0;
        // Words are gathered first so that a refused search leaves the buffer untouched.
        std::string text;
        const bool searched = handle->file.fst.fuzzy(*key, edits, [&](std::string_view found) {
            if (limit >= 1 && count >= limit) return false;
            const std::string decoded = murmelo::enc::decode(found);
            const size_t need = (count > 0 ? 1 : 0) + decoded.size() + 1;
            if (need > out_len - pos) return false;
            if (count > 0) text.push_back('\n');
            text += decoded;
            pos = text.size();
            ++count;
            return count < INT32_MAX;
        });
        if (!searched) return -1;
        std::memcpy(out, text.data(), text.size());
        out[text.size()] = '\0';
        return count;
    } catch (...) {
        return -1;
    }
}

}  // extern "C"
