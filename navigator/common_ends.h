#pragma once

// How much two versions of a sequence share at their start and at their end: what lies between
// is what changed.

#include <cstddef>
#include <vector>

namespace velmoran::navigator {

struct CommonEnds {
    std::size_t head = 0; // elements equal at the start
    std::size_t tail = 0; // elements equal at the end, none of them counted in `head`
};

template <class T>
CommonEnds commonEnds(const std::vector<T>& before, const std::vector<T>& after) {
    CommonEnds ends;
    while (ends.head < before.size() && ends.head < after.size() &&
           before[ends.head] == after[ends.head]) {
        ++ends.head;
    }
    while (ends.tail < before.size() - ends.head && ends.tail < after.size() - ends.head &&
           before[before.size() - 1 - ends.tail] == after[after.size() - 1 - ends.tail]) {
        ++ends.tail;
    }
    return ends;
}

} // namespace velmoran::navigator
