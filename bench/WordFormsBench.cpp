// The word-form set over the full Russian form list: build time and file size, membership
// and fuzzy search through the C interface. Targets: contains under 1 µs, fuzzy at distance
// 2 under 1 ms for a 7-letter word, file no larger than 1.5 MB.
//
// MURMELO_RU_FORMS_LIST names the word list (one form per line, UTF-8); without it the
// benchmarks are skipped. MURMELO_BENCH_QUERY_DIR, when set, receives the queries used
// ("contains.txt", "fuzzy.txt") so that another implementation can be timed on the same ones.
#include "ondrix_fst.h"
#include "wordforms/Alphabet.h"
#include "wordforms/Fst.h"
#include "wordforms/Utf8.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace murmelo;

namespace {

struct Corpus {
    std::vector<std::string> words;
    std::string fstPath;
    ondrix_fst* set = nullptr;
    std::uint64_t fileSize = 0;
    double buildSeconds = 0;
    std::vector<std::string> containsQueries;
    std::vector<std::string> fuzzyQueries;
};

Corpus* g_corpus = nullptr;

std::vector<std::string> readWords(const char* path) {
    std::ifstream in(path);
    std::vector<std::string> words;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) words.push_back(line);
    }
    return words;
}

// One letter of the word replaced by another Russian letter: a typical typo.
std::string typo(const std::string& word, std::mt19937& rng) {
    static const std::u32string letters = U"абвгдежзийклмнопрстуфхцчшщъыьэюяё";
    auto chars = *utf8::decode(word);
    std::uniform_int_distribution<std::size_t> at(0, chars.size() - 1), letter(0, letters.size() - 1);
    chars[at(rng)] = letters[letter(rng)];
    return utf8::encode(chars);
}

bool prepare(Corpus& c) {
    const char* list = std::getenv("MURMELO_RU_FORMS_LIST");
    if (!list || !*list) {
        std::cerr << "wordforms_bench: MURMELO_RU_FORMS_LIST is not set; nothing to measure\n";
        return false;
    }
    c.words = readWords(list);
    if (c.words.empty()) {
        std::cerr << "wordforms_bench: no words in " << list << "\n";
        return false;
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> keys;
    keys.reserve(c.words.size());
    for (const auto& w : c.words)
        if (auto k = enc::encode(w)) keys.push_back(std::move(*k));
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    fst::Builder builder(false);
    for (const auto& k : keys) builder.add(k);
    const std::string bytes = builder.finish();
    c.buildSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    c.fileSize = bytes.size();
    c.fstPath = "/tmp/wordforms-bench-" + std::to_string(getpid()) + ".fst";
    std::ofstream(c.fstPath, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    c.set = ondrix_fst_open(c.fstPath.c_str());
    if (!c.set) {
        std::cerr << "wordforms_bench: the built set did not open\n";
        return false;
    }

    std::mt19937 rng(20261211);
    std::uniform_int_distribution<std::size_t> pick(0, c.words.size() - 1);
    for (int i = 0; i < 20000; ++i) {
        const auto& w = c.words[pick(rng)];
        c.containsQueries.push_back(i % 2 ? typo(w, rng) : w);
    }
    std::vector<const std::string*> seven;
    for (const auto& w : c.words)
        if (utf8::decode(w)->size() == 7) seven.push_back(&w);
    std::uniform_int_distribution<std::size_t> pickSeven(0, seven.size() - 1);
    for (int i = 0; i < 1000; ++i) c.fuzzyQueries.push_back(typo(*seven[pickSeven(rng)], rng));

    if (const char* dir = std::getenv("MURMELO_BENCH_QUERY_DIR"); dir && *dir) {
        std::ofstream a(std::string(dir) + "/contains.txt"), b(std::string(dir) + "/fuzzy.txt");
        for (const auto& q : c.containsQueries) a << q << '\n';
        for (const auto& q : c.fuzzyQueries) b << q << '\n';
    }
    std::cerr << "wordforms_bench: " << ondrix_fst_len(c.set) << " forms, file " << c.fileSize << " bytes, built in "
              << c.buildSeconds << " s\n";
    return true;
}

void BM_Contains(benchmark::State& state) {
    const auto& q = g_corpus->containsQueries;
    std::size_t i = 0, found = 0;
    for (auto _ : state) {
        const auto& w = q[i++ % q.size()];
        found += ondrix_fst_contains(g_corpus->set, w.data(), w.size());
    }
    benchmark::DoNotOptimize(found);
    state.counters["file_bytes"] = double(g_corpus->fileSize);
}

void BM_Fuzzy(benchmark::State& state) {
    const auto& q = g_corpus->fuzzyQueries;
    const auto edits = static_cast<int32_t>(state.range(0));
    std::vector<char> out(1 << 16);
    std::size_t i = 0;
    double matches = 0;
    for (auto _ : state) {
        const auto& w = q[i++ % q.size()];
        matches += ondrix_fst_fuzzy(g_corpus->set, w.data(), w.size(), edits, 0, out.data(), out.size());
    }
    state.counters["matches_per_query"] = benchmark::Counter(matches, benchmark::Counter::kAvgIterations);
}

void BM_Open(benchmark::State& state) {
    for (auto _ : state) {
        ondrix_fst* h = ondrix_fst_open(g_corpus->fstPath.c_str());
        benchmark::DoNotOptimize(h);
        ondrix_fst_close(h);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Corpus corpus;
    g_corpus = &corpus;
    if (!prepare(corpus)) return 0;
    benchmark::RegisterBenchmark("contains", BM_Contains);
    benchmark::RegisterBenchmark("fuzzy", BM_Fuzzy)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("open", BM_Open)->Unit(benchmark::kMicrosecond);
    benchmark::AddCustomContext("forms", std::to_string(ondrix_fst_len(corpus.set)));
    benchmark::AddCustomContext("file_bytes", std::to_string(corpus.fileSize));
    benchmark::AddCustomContext("build_seconds", std::to_string(corpus.buildSeconds));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ondrix_fst_close(corpus.set);
    std::remove(corpus.fstPath.c_str());
    return 0;
}
