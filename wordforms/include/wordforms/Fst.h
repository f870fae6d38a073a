#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace murmelo::fst {

// A finite-state set of byte-string keys, or a map from keys to unsigned integers: a minimal
// acyclic automaton read in place from its file bytes. The bytes are checked for shape when
// opened and every read during a query is bounded by them, so a damaged file gives wrong
// answers at worst, never a read outside the bytes.
//
// File layout (little-endian):
//   0  "ONDRXFST"     magic
//   8  u32 version    1
//  12  u32 flags      bit 0: map (a value table follows the automaton)
//  16  u64 keys       number of keys
//  24  u64 nodesSize  bytes of the automaton, which starts at 48 with the root
//  32  u64 fileSize   the whole file, so that a cut-off file is refused
//  40  u8  width      bytes per value in the value table (maps: 1..8, sets: 0); 7 bytes zero
//  48  automaton, then for maps `keys` values of `width` bytes in key order.
// A node is either one byte 0x80|label (not final, one transition to the node that follows
// it), or: a byte 0b0FNNNNNN (F final, N transitions; 63 means 63 plus the next byte), the
// labels in increasing order, one varint target per transition (0: a final node with no
// transitions; otherwise the distance forward from this node's first byte), and for maps
// one varint per transition: the number of keys that sort before the keys through it.
class Fst {
public:
    static constexpr std::size_t HEADER_SIZE = 48;
    // Fuzzy searches over longer keys are refused.
    static constexpr std::size_t MAX_FUZZY_KEY = 64;

    // Checks the header and the root node; nothing (and the reason, in Russian) otherwise.
    static std::optional<Fst> fromBytes(const std::uint8_t* data, std::size_t size, std::string* error = nullptr);

    std::uint64_t len() const { return keys_; }
    bool isMap() const { return width_ != 0; }
    bool contains(std::string_view key) const;
    // The value of a key of a map; nothing for a set or a missing key.
    std::optional<std::uint64_t> get(std::string_view key) const;

    // Calls `visit` for every key within `edits` (insertions, deletions, substitutions of
    // one byte) of `key`, in key order, until it returns false. False when the search
    // cannot be made: `edits` outside 0..2 or a key longer than MAX_FUZZY_KEY.
    bool fuzzy(std::string_view key, int edits, const std::function<bool(std::string_view)>& visit) const;
    // Calls `visit` for every key that begins with `prefix` (the prefix itself first when it
    // is a key), in key order, until it returns false. On damaged bytes the walk is cut off
    // after (keys + 1) * MAX_WALK_PER_KEY steps, so that it always ends.
    void withPrefix(std::string_view prefix, const std::function<bool(std::string_view)>& visit) const;
    static constexpr std::uint64_t MAX_WALK_PER_KEY = 256;

private:
    Fst() = default;
    struct Node;
    bool readNode(std::uint64_t addr, Node& node) const;
    // The number of keys before `key` when `counting` (maps only; 0 otherwise), or nothing
    // when it is no key.
    std::optional<std::uint64_t> rank(std::string_view key, bool counting) const;

    const std::uint8_t* nodes_ = nullptr;
    std::uint64_t nodesSize_ = 0;
    const std::uint8_t* values_ = nullptr;
    std::uint64_t keys_ = 0;
    unsigned width_ = 0;
};

// A whole file mapped read-only.
class MappedFile {
public:
    // Nothing when the file cannot be opened or mapped; `error` gets the system's text and
    // `openFailed` tells whether the opening itself failed.
    static std::unique_ptr<MappedFile> open(const char* path, std::string* error = nullptr, bool* openFailed = nullptr);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    MappedFile() = default;
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// A mapped file together with the automaton it holds.
struct FstFile {
    std::unique_ptr<MappedFile> file;
    Fst fst;
};
// Maps and checks a file; an error text (the system's, or the set's own) otherwise.
// `openFailed` is set when the file could not even be opened.
std::optional<FstFile> openFile(const char* path, std::string* error = nullptr, bool* openFailed = nullptr);

// Builds a file from keys given in strictly increasing byte order.
class Builder {
public:
    explicit Builder(bool withValues);
    ~Builder();
    // False (and nothing added) when the key is not greater than the previous one.
    bool add(std::string_view key, std::uint64_t value = 0);
    std::uint64_t count() const;
    // The bytes of the whole file; the builder is spent afterwards.
    std::string finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace murmelo::fst
