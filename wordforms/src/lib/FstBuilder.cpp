#include "wordforms/Fst.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace murmelo::fst {

namespace {

constexpr std::uint32_t LEAF_ID = 0;  // the final node without transitions

struct Transition {
    std::uint8_t label;
    std::uint32_t target;
};

struct Frozen {
    bool final = false;
    std::vector<Transition> out;
};

// A node on the path of the last key, still open to new transitions.
struct Open {
    bool final = false;
    std::vector<Transition> out;  // the last one's target is the next open node until frozen
};

std::string signature(const Frozen& n) {
    std::string s;
    s.reserve(1 + n.out.size() * 5);
    s.push_back(n.final ? 1 : 0);
    for (const auto& t : n.out) {
        s.push_back(static_cast<char>(t.label));
        char id[4];
        std::memcpy(id, &t.target, 4);
        s.append(id, 4);
    }
    return s;
}

unsigned varintSize(std::uint64_t v) {
    unsigned n = 1;
    while (v >= 0x80) v >>= 7, ++n;
    return n;
}

void putVarint(std::vector<std::uint8_t>& out, std::uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<std::uint8_t>(v | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(v));
}

void putLe(std::string& out, std::uint64_t v, unsigned n) {
    for (unsigned i = 0; i < n; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace

struct Builder::Impl {
    bool withValues;
    std::vector<Frozen> frozen;
    std::unordered_map<std::string, std::uint32_t> registry;
    std::vector<Open> path;  // path[0] is the root
    std::string last;
    bool any = false;
    std::vector<std::uint64_t> values;

    explicit Impl(bool v) : withValues(v) {
        frozen.push_back(Frozen{true, {}});
        registry.emplace(signature(frozen[0]), LEAF_ID);
        path.emplace_back();
    }

    std::uint32_t freeze(Open&& node) {
        Frozen f{node.final, std::move(node.out)};
        auto sig = signature(f);
        const auto it = registry.find(sig);
        if (it != registry.end()) return it->second;
        const auto id = static_cast<std::uint32_t>(frozen.size());
        frozen.push_back(std::move(f));
        registry.emplace(std::move(sig), id);
        return id;
    }

    // Freezes the open path below `depth`, deepest first, wiring each frozen node into its
    // parent's last transition.
    void freezeBelow(std::size_t depth) {
        while (path.size() > depth + 1) {
            const auto id = freeze(std::move(path.back()));
            path.pop_back();
            path.back().out.back().target = id;
        }
    }
};

Builder::Builder(bool withValues) : impl_(std::make_unique<Impl>(withValues)) {}
Builder::~Builder() = default;

std::uint64_t Builder::count() const { return impl_->values.size(); }

bool Builder::add(std::string_view key, std::uint64_t value) {
    auto& d = *impl_;
    if (d.any && !(std::string_view(d.last) < key)) return false;
    std::size_t common = 0;
    while (common < key.size() && common < d.last.size() && key[common] == d.last[common]) ++common;
    if (!d.any) common = 0;
    d.freezeBelow(common);
    for (std::size_t i = common; i < key.size(); ++i) {
        d.path.back().out.push_back({static_cast<std::uint8_t>(key[i]), 0});
        d.path.emplace_back();
    }
    d.path.back().final = true;
    d.last.assign(key);
    d.any = true;
    d.values.push_back(value);
    return true;
}

std::string Builder::finish() {
    auto& d = *impl_;
    d.freezeBelow(0);
    const auto rootId = d.freeze(std::move(d.path[0]));
    d.path.clear();
    d.registry = {};
    const auto& nodes = d.frozen;

    // Keys reachable from every node; children always have smaller ids than their parents.
    std::vector<std::uint64_t> counts(nodes.size());
    for (std::size_t id = 0; id < nodes.size(); ++id) {
        std::uint64_t c = nodes[id].final ? 1 : 0;
        for (const auto& t : nodes[id].out) c += counts[t.target];
        counts[id] = c;
    }

    // Nodes are written children first into a reversed buffer, so that in the file every
    // node comes before its children and a node written right after its only child finds
    // that child directly behind it. `written[id]` is the buffer length once `id` was written.
    std::vector<std::uint8_t> rev;
    std::vector<std::uint64_t> written(nodes.size(), 0);
    std::vector<bool> done(nodes.size(), false);
    done[LEAF_ID] = true;
    std::vector<std::uint8_t> record;
    std::vector<std::uint64_t> deltas;

    auto writeNode = [&](std::uint32_t id) {
        const Frozen& n = nodes[id];
        const std::uint64_t before = rev.size();
        record.clear();
        if (n.out.size() == 1 && !n.final && n.out[0].label < 0x80 && n.out[0].target != LEAF_ID &&
            written[n.out[0].target] == before) {
            record.push_back(0x80 | n.out[0].label);
        } else {
            std::size_t fixed = 1 + (n.out.size() >= 63 ? 1 : 0) + n.out.size();
            std::vector<std::uint64_t> skips;
            if (d.withValues) {
                std::uint64_t acc = n.final ? 1 : 0;
                for (const auto& t : n.out) {
                    skips.push_back(acc);
                    acc += counts[t.target];
                }
                for (auto s : skips) fixed += varintSize(s);
            }
            // The distance to a child depends on this node's own length, which depends on
            // the distances' lengths: grow the guess until it holds (it only grows).
            std::size_t len = fixed + n.out.size();
            for (;;) {
                deltas.clear();
                std::size_t next = fixed;
                for (const auto& t : n.out) {
                    const std::uint64_t v = t.target == LEAF_ID ? 0 : before + len - written[t.target];
                    deltas.push_back(v);
                    next += varintSize(v);
                }
                if (next == len) break;
                len = next;
            }
            const std::size_t count = n.out.size();
            record.push_back(static_cast<std::uint8_t>((n.final ? 0x40 : 0) | std::min<std::size_t>(count, 63)));
            if (count >= 63) record.push_back(static_cast<std::uint8_t>(count - 63));
            for (const auto& t : n.out) record.push_back(t.label);
            for (auto v : deltas) putVarint(record, v);
            for (auto s : skips) putVarint(record, s);
        }
        rev.insert(rev.end(), record.rbegin(), record.rend());
        written[id] = rev.size();
        done[id] = true;
    };

    // Depth-first, children in label order, each node after all of its children.
    struct Step {
        std::uint32_t id;
        std::size_t next;
    };
    std::vector<Step> stack{{rootId, 0}};
    if (done[rootId]) stack.clear();
    while (!stack.empty()) {
        auto& top = stack.back();
        const Frozen& n = nodes[top.id];
        if (top.next < n.out.size()) {
            const auto child = n.out[top.next++].target;
            if (!done[child]) stack.push_back({child, 0});
            continue;
        }
        writeNode(top.id);
        stack.pop_back();
    }
    if (rootId == LEAF_ID) {
        // A set holding only the empty key: the root must be a real node.
        rev.push_back(0x40);
    }

    unsigned width = 0;
    if (d.withValues) {
        const auto most = d.values.empty() ? 0 : *std::max_element(d.values.begin(), d.values.end());
        width = 1;
        while (width < 8 && (most >> (8 * width)) != 0) ++width;
    }
    const std::uint64_t keys = d.values.size();
    const std::uint64_t fileSize = Fst::HEADER_SIZE + rev.size() + keys * width;
    std::string out;
    out.reserve(fileSize);
    out.append("ONDRXFST", 8);
    putLe(out, 1, 4);
    putLe(out, d.withValues ? 1 : 0, 4);
    putLe(out, keys, 8);
    putLe(out, rev.size(), 8);
    putLe(out, fileSize, 8);
    putLe(out, width, 1);
    putLe(out, 0, 7);
    out.append(rev.rbegin(), rev.rend());
    if (d.withValues)
        for (auto v : d.values) putLe(out, v, width);
    d.frozen.clear();
    return out;
}

}  // namespace murmelo::fst
