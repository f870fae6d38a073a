// Builds a word-form set (or, with --values, a map to unsigned integers) from a word list:
// one word per line, UTF-8, or "word<TAB>value" with --values. Every word is lower-cased and
// encoded with the alphabet (the default Russian one unless --alphabet names a file); words
// with a character outside it are left out and reported.
#include "wordforms/Alphabet.h"
#include "wordforms/Fst.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

using namespace murmelo;

namespace {

int usage() {
    std::cerr << "usage: ondrix-fst-build [--alphabet FILE] [--values] WORDS OUTPUT\n"
                 "  WORDS   one word per line (with --values: word, a tab, an unsigned integer)\n"
                 "  OUTPUT  the set or map file to write\n";
    return 2;
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return std::move(s).str();
}

struct Entry {
    std::string key;
    std::uint64_t value;
    std::size_t line;
};

}  // namespace

int main(int argc, char** argv) {
    std::string alphabetPath, input, output;
    bool withValues = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--values") {
            withValues = true;
        } else if (arg == "--alphabet" && i + 1 < argc) {
            alphabetPath = argv[++i];
        } else if (arg == "-h" || arg == "--help") {
            return usage();
        } else if (!arg.empty() && arg[0] == '-') {
            std::cerr << "ondrix-fst-build: unknown option " << arg << "\n";
            return usage();
        } else if (input.empty()) {
            input = arg;
        } else if (output.empty()) {
            output = arg;
        } else {
            return usage();
        }
    }
    if (input.empty() || output.empty()) return usage();

    Alphabet alphabet = Alphabet::defaultAlphabet();
    if (!alphabetPath.empty()) {
        const auto text = readFile(alphabetPath);
        if (!text) {
            std::cerr << "ondrix-fst-build: cannot read " << alphabetPath << ": " << std::strerror(errno) << "\n";
            return 1;
        }
        auto parsed = Alphabet::parse(*text);
        if (!parsed) {
            std::cerr << "ondrix-fst-build: " << alphabetPath << " holds no alphabet (empty, or over 94 letters)\n";
            return 1;
        }
        alphabet = std::move(*parsed);
    }

    const auto text = readFile(input);
    if (!text) {
        std::cerr << "ondrix-fst-build: cannot read " << input << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    std::vector<Entry> entries;
    std::vector<std::string> foreign;
    std::size_t foreignCount = 0, lineNo = 0, start = 0;
    while (start < text->size()) {
        std::size_t end = text->find('\n', start);
        if (end == std::string::npos) end = text->size();
        std::string_view line(text->data() + start, end - start);
        start = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        std::uint64_t value = 0;
        if (withValues) {
            const auto tab = line.find('\t');
            const std::string_view number = tab == std::string_view::npos ? std::string_view{} : line.substr(tab + 1);
            const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
            if (tab == std::string_view::npos || number.empty() || ec != std::errc() ||
                ptr != number.data() + number.size()) {
                std::cerr << "ondrix-fst-build: " << input << ":" << lineNo
                          << ": expected a word, a tab and an unsigned integer\n";
                return 1;
            }
            line = line.substr(0, tab);
        }
        auto key = alphabet.encode(line);
        if (!key) {
            if (foreign.size() < 5) foreign.emplace_back(line);
            ++foreignCount;
            continue;
        }
        entries.push_back({std::move(*key), value, lineNo});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });

    fst::Builder builder(withValues);
    std::size_t repeats = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0 && entries[i].key == entries[i - 1].key) {
            if (entries[i].value != entries[i - 1].value) {
                std::cerr << "ondrix-fst-build: " << input << ":" << entries[i].line << ": "
                          << alphabet.decode(entries[i].key) << " has another value on line " << entries[i - 1].line
                          << "\n";
                return 1;
            }
            ++repeats;
            continue;
        }
        builder.add(entries[i].key, entries[i].value);
    }
    const std::uint64_t keys = builder.count();
    const std::string bytes = builder.finish();

    const std::string temp = output + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::cerr << "ondrix-fst-build: cannot write " << temp << ": " << std::strerror(errno) << "\n";
            std::remove(temp.c_str());
            return 1;
        }
    }
    if (std::rename(temp.c_str(), output.c_str()) != 0) {
        std::cerr << "ondrix-fst-build: cannot replace " << output << ": " << std::strerror(errno) << "\n";
        std::remove(temp.c_str());
        return 1;
    }
    std::cout << output << ": " << keys << " keys, " << bytes.size() << " bytes";
    if (repeats) std::cout << ", " << repeats << " repeated lines merged";
    std::cout << "\n";
    if (foreignCount) {
        std::cerr << "ondrix-fst-build: left out " << foreignCount << " words outside the alphabet, e.g.";
        for (const auto& w : foreign) std::cerr << " «" << w << "»";
        std::cerr << "\n";
    }
    return 0;
}
