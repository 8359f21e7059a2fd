// Boxes of items kept in their order along an outline, in a tree of index ranges (each node the
// box of its two children), so that the items near a place are found without looking at all of
// them: consecutive sides of an outline lie near each other.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "geometry/types.h"

namespace pimu::geometry {

class BoxTree {
public:
    struct Box {
        double minX, minY, maxX, maxY;
    };
    explicit BoxTree(std::vector<Box> boxes) : n_(boxes.size()), nodes_(2 * boxes.size()) {
        for (std::size_t i = 0; i < n_; ++i) nodes_[n_ + i] = boxes[i];
        for (std::size_t i = n_; i-- > 1;) {
            const Box &l = nodes_[2 * i], &r = nodes_[2 * i + 1];
            nodes_[i] = {std::min(l.minX, r.minX), std::min(l.minY, r.minY),
                         std::max(l.maxX, r.maxX), std::max(l.maxY, r.maxY)};
        }
    }
    // Calls visit(i) for every item for which prune(box) is false for its own box and for the
    // box of every node above it, depth first; visit returns false to stop.
    template <class Prune, class Visit>
    void Query(Prune prune, Visit visit) const {
        if (n_ == 0) return;
        std::vector<std::size_t> stack{1};
        while (!stack.empty()) {
            const std::size_t k = stack.back();
            stack.pop_back();
            if (prune(nodes_[k])) continue;
            if (k >= n_) {
                if (!visit(k - n_)) return;
                continue;
            }
            stack.push_back(2 * k + 1);
            stack.push_back(2 * k);
        }
    }

private:
    std::size_t n_;
    std::vector<Box> nodes_;  // node 1 is the root, leaves n_ .. 2 n_ - 1
};

// The distance from p to a box (0 inside it), and its square.
inline double BoxDistance2(const BoxTree::Box &b, TAcadPoint p) {
    const double dx = std::max({b.minX - p.x, 0.0, p.x - b.maxX});
    const double dy = std::max({b.minY - p.y, 0.0, p.y - b.maxY});
    return dx * dx + dy * dy;
}
inline double BoxDistance(const BoxTree::Box &b, TAcadPoint p) {
    return std::sqrt(BoxDistance2(b, p));
}

}  // namespace pimu::geometry
