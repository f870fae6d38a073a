#pragma once
#include <cstddef>
#include <optional>
#include <vector>

namespace murmelo::linuxdesktop {

// What an element of an accessibility tree says about the focus.
enum class FocusClaim {
    none,
    // Reports the focus but cannot take it itself: a toolkit marks the current page tab, or
    // the viewport inside a text view, as focused along with the widget that has the focus.
    borrowed,
    own,  // focused and focusable: the element that takes the keys
};

// The focused element of a forest, breadth first, at most `limit` elements looked at: the
// first that owns the focus, else the first that reports it.
template <class Node, class Children, class Claim>
std::optional<Node> findFocused(std::vector<Node> queue, Children children, Claim claim, std::size_t limit) {
    std::optional<Node> borrowed;
    for (std::size_t i = 0; i < queue.size() && i < limit; ++i) {
        const Node node = queue[i];
        const FocusClaim c = claim(node);
        if (c == FocusClaim::own) return node;
        if (c == FocusClaim::borrowed && !borrowed) borrowed = node;
        for (const Node& child : children(node)) queue.push_back(child);
    }
    return borrowed;
}

}  // namespace murmelo::linuxdesktop
