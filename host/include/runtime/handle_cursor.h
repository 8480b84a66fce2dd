// Where a handle stands in a list of records. The list stays the one source of truth: a
// look-up compares the handle with the list's own pointers and never reads through the handle,
// so an unknown, cleared or other vessel's handle is refused whatever it points at, and a list
// may change by any means without a look-up ever answering wrongly.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace runtime {

// The place in its list of the handle found last: a vessel's calls mostly ask about the same
// record again or the next one, which are tried before a scan. Only a hint: every place it
// names is checked against the list.
struct HandleCursor {
    std::size_t last = 0;
};

// The record behind a handle in a list of owned records, or null for a handle the list does not
// hold (unknown, cleared, another vessel's). No hashing: the place found last and the one after
// it, inline; then the list from its start, where a vessel's busiest records (its main engines,
// made first) stand.
template <class T>
T* scan_for(const std::vector<std::unique_ptr<T>>& list, HandleCursor& cursor, const void* handle) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].get() == handle) {
            cursor.last = i;
            return list[i].get();
        }
    }
    return nullptr;
}

template <class T>
[[gnu::always_inline]] inline T* find_in(const std::vector<std::unique_ptr<T>>& list, HandleCursor& cursor,
                                         const void* handle) {
    const std::size_t n = list.size(), i = cursor.last;
    if (handle == nullptr) return nullptr;
    if (i < n && list[i].get() == handle) return list[i].get();
    if (i + 1 < n && list[i + 1].get() == handle) {
        cursor.last = i + 1;
        return list[i + 1].get();
    }
    return scan_for(list, cursor, handle);
}

}  // namespace runtime
