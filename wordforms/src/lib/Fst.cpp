#include "wordforms/Fst.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace murmelo::fst {

namespace {

constexpr char MAGIC[8] = {'O', 'N', 'D', 'R', 'X', 'F', 'S', 'T'};
constexpr std::uint32_t VERSION = 1;
constexpr std::uint64_t LEAF = ~std::uint64_t(0);

std::uint64_t readLe(const std::uint8_t* p, unsigned n) {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < n; ++i) v |= std::uint64_t(p[i]) << (8 * i);
    return v;
}

// A LEB128 varint inside [p, end); false when it runs past the end or overflows.
bool readVarint(const std::uint8_t*& p, const std::uint8_t* end, std::uint64_t& out) {
    std::uint64_t v = 0;
    for (unsigned shift = 0; shift < 64; shift += 7) {
        if (p >= end) return false;
        const std::uint8_t b = *p++;
        v |= std::uint64_t(b & 0x7F) << shift;
        if (!(b & 0x80)) {
            out = v;
            return true;
        }
    }
    return false;
}

bool skipVarints(const std::uint8_t*& p, const std::uint8_t* end, unsigned count) {
    while (count) {
        if (p >= end) return false;
        if (!(*p++ & 0x80)) --count;
    }
    return true;
}

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

}  // namespace

struct Fst::Node {
    std::uint64_t addr = 0;
    bool final = false;
    unsigned n = 0;
    const std::uint8_t* labels = nullptr;
    const std::uint8_t* targets = nullptr;  // null for the one-byte form
    const std::uint8_t* end = nullptr;       // end of the automaton, bounds every varint
};

bool Fst::readNode(std::uint64_t addr, Node& node) const {
    node = Node{};
    node.addr = addr;
    node.end = nodes_ + nodesSize_;
    if (addr == LEAF) {
        node.final = true;
        return true;
    }
    if (addr >= nodesSize_) return false;
    const std::uint8_t* p = nodes_ + addr;
    const std::uint8_t h = *p++;
    if (h & 0x80) {
        node.n = 1;
        node.labels = nodes_ + addr;  // the label is the low seven bits of this byte
        return true;
    }
    node.final = h & 0x40;
    node.n = h & 0x3F;
    if (node.n == 63) {
        if (p >= node.end) return false;
        node.n += *p++;
    }
    if (std::uint64_t(node.end - p) < node.n) return false;
    node.labels = p;
    node.targets = p + node.n;
    return true;
}

std::optional<Fst> Fst::fromBytes(const std::uint8_t* data, std::size_t size, std::string* error) {
    if (!data || size < HEADER_SIZE) {
        setError(error, "файл короче заголовка словоформ");
        return std::nullopt;
    }
    if (std::memcmp(data, MAGIC, sizeof MAGIC) != 0) {
        setError(error, "файл не является набором словоформ");
        return std::nullopt;
    }
    const auto version = readLe(data + 8, 4);
    const auto flags = readLe(data + 12, 4);
    if (version != VERSION || (flags & ~1u) != 0) {
        setError(error, "неизвестная версия набора словоформ");
        return std::nullopt;
    }
    Fst f;
    f.keys_ = readLe(data + 16, 8);
    f.nodesSize_ = readLe(data + 24, 8);
    const auto fileSize = readLe(data + 32, 8);
    f.width_ = data[40];
    const bool isMap = flags & 1;
    const bool reservedZero = std::all_of(data + 41, data + HEADER_SIZE, [](std::uint8_t b) { return b == 0; });
    if (fileSize != size) {
        setError(error, "набор словоформ обрезан или дописан");
        return std::nullopt;
    }
    const std::uint64_t room = size - HEADER_SIZE;
    bool shapeOk = reservedZero && f.nodesSize_ >= 1 && f.nodesSize_ <= room &&
                   (isMap ? (f.width_ >= 1 && f.width_ <= 8) : f.width_ == 0);
    if (shapeOk) {
        const std::uint64_t valueRoom = room - f.nodesSize_;
        shapeOk = isMap ? (f.keys_ <= valueRoom / f.width_ && f.keys_ * f.width_ == valueRoom) : valueRoom == 0;
    }
    if (!shapeOk) {
        setError(error, "повреждён заголовок набора словоформ");
        return std::nullopt;
    }
    f.nodes_ = data + HEADER_SIZE;
    f.values_ = isMap ? f.nodes_ + f.nodesSize_ : nullptr;
    Node root;
    if (!f.readNode(0, root)) {
        setError(error, "повреждён корень набора словоформ");
        return std::nullopt;
    }
    return f;
}

std::optional<std::uint64_t> Fst::rank(std::string_view key, bool counting) const {
    std::uint64_t addr = 0;
    std::uint64_t before = 0;
    Node node;
    for (char ch : key) {
        const auto label = static_cast<std::uint8_t>(ch);
        if (!readNode(addr, node) || node.n == 0) return std::nullopt;
        if (!node.targets) {
            if ((node.labels[0] & 0x7F) != label) return std::nullopt;
            addr = addr + 1;
            continue;
        }
        const auto* found = static_cast<const std::uint8_t*>(std::memchr(node.labels, label, node.n));
        if (!found) return std::nullopt;
        const unsigned i = unsigned(found - node.labels);
        const std::uint8_t* p = node.targets;
        if (!skipVarints(p, node.end, i)) return std::nullopt;
        std::uint64_t v;
        if (!readVarint(p, node.end, v)) return std::nullopt;
        if (counting && isMap()) {
            // past the other targets and the counts of the transitions before this one
            if (!skipVarints(p, node.end, (node.n - i - 1) + i)) return std::nullopt;
            std::uint64_t skip;
            if (!readVarint(p, node.end, skip)) return std::nullopt;
            before += skip;
        }
        if (v == 0) {
            addr = LEAF;
        } else {
            if (addr == LEAF || v > nodesSize_ - addr) return std::nullopt;
            addr += v;
        }
    }
    if (!readNode(addr, node) || !node.final) return std::nullopt;
    return before;
}

bool Fst::contains(std::string_view key) const { return rank(key, false).has_value(); }

std::optional<std::uint64_t> Fst::get(std::string_view key) const {
    if (!isMap()) return std::nullopt;
    const auto r = rank(key, true);
    if (!r || *r >= keys_) return std::nullopt;
    return readLe(values_ + *r * width_, width_);
}

bool Fst::fuzzy(std::string_view key, int edits, const std::function<bool(std::string_view)>& visit) const {
    if (edits < 0 || edits > 2 || key.size() > MAX_FUZZY_KEY) return false;
    const std::size_t m = key.size();
    const auto k = static_cast<std::uint8_t>(edits);
    const std::uint8_t cap = k + 1;
    // Rows of the edit-distance table between the path so far and every prefix of the key,
    // capped at edits + 1: this is the Levenshtein automaton's state.
    struct Frame {
        std::uint64_t addr;
        std::uint8_t row[MAX_FUZZY_KEY + 1];
    };
    struct {
        std::string prefix;
        bool stopped = false;
    } s;
    s.prefix.reserve(m + k + 1);

    auto walk = [&](auto& self, const Frame& frame) -> void {
        Node node;
        if (!readNode(frame.addr, node)) return;
        const std::uint8_t* p = node.targets;
        for (unsigned i = 0; i < node.n && !s.stopped; ++i) {
            std::uint8_t label;
            std::uint64_t child;
            if (!node.targets) {
                label = node.labels[0] & 0x7F;
                child = frame.addr + 1;
            } else {
                label = node.labels[i];
                std::uint64_t v;
                if (!readVarint(p, node.end, v)) return;
                if (v == 0) {
                    child = LEAF;
                } else {
                    if (frame.addr == LEAF || v > nodesSize_ - frame.addr) continue;
                    child = frame.addr + v;
                }
            }
            Frame next;
            next.addr = child;
            std::uint8_t least = next.row[0] = std::min<unsigned>(frame.row[0] + 1, cap);
            for (std::size_t j = 1; j <= m; ++j) {
                unsigned best = frame.row[j - 1] + (static_cast<std::uint8_t>(key[j - 1]) != label);
                best = std::min<unsigned>(best, frame.row[j] + 1);
                best = std::min<unsigned>(best, next.row[j - 1] + 1);
                next.row[j] = std::min<unsigned>(best, cap);
                least = std::min(least, next.row[j]);
            }
            if (least > k) continue;
            s.prefix.push_back(static_cast<char>(label));
            Node childNode;
            if (readNode(child, childNode)) {
                if (childNode.final && next.row[m] <= k && !visit(s.prefix)) s.stopped = true;
                if (!s.stopped && childNode.n) self(self, next);
            }
            s.prefix.pop_back();
        }
    };

    Frame root;
    root.addr = 0;
    for (std::size_t j = 0; j <= m; ++j) root.row[j] = std::min<unsigned>(j, cap);
    Node rootNode;
    if (!readNode(0, rootNode)) return true;
    if (rootNode.final && root.row[m] <= k && !visit(s.prefix)) return true;
    walk(walk, root);
    return true;
}

void Fst::withPrefix(std::string_view prefix, const std::function<bool(std::string_view)>& visit) const {
    // The target of transition i of a node whose targets are read in order through p.
    auto target = [&](const Node& node, std::uint64_t addr, const std::uint8_t*& p, std::uint64_t& child) {
        if (!node.targets) {
            child = addr + 1;
            return true;
        }
        std::uint64_t v;
        if (!readVarint(p, node.end, v)) return false;
        if (v == 0) {
            child = LEAF;
            return true;
        }
        if (addr == LEAF || v > nodesSize_ - addr) return false;
        child = addr + v;
        return true;
    };
    auto label = [](const Node& node, unsigned i) -> std::uint8_t {
        return node.targets ? node.labels[i] : (node.labels[0] & 0x7F);
    };

    std::uint64_t addr = 0;
    Node node;
    for (char ch : prefix) {
        if (!readNode(addr, node)) return;
        const std::uint8_t* p = node.targets;
        std::uint64_t child = 0;
        bool found = false;
        for (unsigned i = 0; i < node.n && !found; ++i) {
            if (!target(node, addr, p, child)) return;
            found = label(node, i) == static_cast<std::uint8_t>(ch);
        }
        if (!found) return;
        addr = child;
    }

    // Depth first in label order, with an explicit stack: a damaged file may hold a chain as
    // long as the file.
    struct Frame {
        Node node;
        std::uint64_t addr;
        unsigned next;
        const std::uint8_t* p;
    };
    std::string key(prefix);
    std::vector<Frame> stack;
    std::uint64_t budget = (keys_ + 1) * MAX_WALK_PER_KEY;
    if (!readNode(addr, node)) return;
    if (node.final && !visit(key)) return;
    stack.push_back({node, addr, 0, node.targets});
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.node.n) {
            stack.pop_back();
            if (!stack.empty()) key.pop_back();
            continue;
        }
        if (budget-- == 0) return;
        const unsigned i = top.next++;
        std::uint64_t child;
        if (!target(top.node, top.addr, top.p, child)) return;
        Node next;
        if (!readNode(child, next)) {
            top.next = top.node.n;  // the rest of this node cannot be trusted
            continue;
        }
        key.push_back(static_cast<char>(label(top.node, i)));
        if (next.final && !visit(key)) return;
        stack.push_back({next, child, 0, next.targets});
    }
}

MappedFile::~MappedFile() {
    if (data_ && size_) munmap(const_cast<std::uint8_t*>(data_), size_);
}

std::unique_ptr<MappedFile> MappedFile::open(const char* path, std::string* error, bool* openFailed) {
    if (openFailed) *openFailed = false;
    // Non-blocking, so that a FIFO in place of the file is refused instead of waiting for a writer.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        setError(error, std::strerror(errno));
        if (openFailed) *openFailed = true;
        return nullptr;
    }
    struct stat st;
    int statError = 0;
    if (fstat(fd, &st) != 0)
        statError = errno;
    else if (S_ISDIR(st.st_mode))
        statError = EISDIR;
    else if (!S_ISREG(st.st_mode))
        statError = EINVAL;
    if (statError) {
        setError(error, std::strerror(statError));
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<MappedFile> file(new MappedFile);
    file->size_ = static_cast<std::size_t>(st.st_size);
    if (file->size_ == 0) {
        // Nothing to map; the empty file is refused by the set's own check.
        static const std::uint8_t none = 0;
        file->data_ = &none;
        ::close(fd);
        return file;
    }
    void* p = mmap(nullptr, file->size_, PROT_READ, MAP_PRIVATE, fd, 0);
    const int mapErrno = errno;
    ::close(fd);
    if (p == MAP_FAILED) {
        setError(error, std::strerror(mapErrno));
        file->size_ = 0;
        return nullptr;
    }
    file->data_ = static_cast<const std::uint8_t*>(p);
    return file;
}

std::optional<FstFile> openFile(const char* path, std::string* error, bool* openFailed) {
    auto file = MappedFile::open(path, error, openFailed);
    if (!file) return std::nullopt;
    auto f = Fst::fromBytes(file->data(), file->size(), error);
    if (!f) return std::nullopt;
    return FstFile{std::move(file), *f};
}

}  // namespace murmelo::fst
