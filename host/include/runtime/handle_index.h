// Where a handle stands in a list of records, found in constant time. The list stays the
// one source of truth: the index only suggests a position, which is checked against the list,
// and a handle the index does not know (or places wrongly, after the list changed) is looked
// for in the list and the index built again. So a list may be changed by any means and a
// look-up never answers wrongly; only the first look-up after a change costs a scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace runtime {

class HandleIndex {
public:
    static constexpr std::size_t npos = ~std::size_t{0};

    // The position the handle had when the index was built, or npos.
    std::size_t suggest(const void* handle) const {
        if (slots_.empty()) return npos;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash(handle);; i = (i + 1) & mask) {
            const Slot& s = slots_[i];
            if (s.handle == handle) return s.position;
            if (s.handle == nullptr) return npos;
        }
    }

    // The position of the handle found last: a vessel's calls mostly ask about the same handle
    // again or the next one in its list, which are checked before the hash.
    std::size_t recent() const { return recent_; }
    void remember(std::size_t position) { recent_ = position; }

    // Indexes every record of the list. Allocates only when the list outgrew the index.
    template <class T>
    void rebuild(const std::vector<T>& list) {
        unsigned bits = 3;
        while ((std::size_t{1} << bits) < 2 * list.size()) ++bits;  // at most half full: short probes
        shift_ = 64 - bits;
        slots_.assign(std::size_t{1} << bits, Slot{});
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t p = 0; p < list.size(); ++p) {
            const void* handle = address_of(list[p]);
            if (handle == nullptr) continue;
            std::size_t i = hash(handle);
            while (slots_[i].handle != nullptr && slots_[i].handle != handle) i = (i + 1) & mask;
            if (slots_[i].handle == nullptr) slots_[i] = Slot{handle, p};  // the first of equal entries
        }
    }

private:
    struct Slot {
        const void* handle = nullptr;
        std::size_t position = 0;
    };

    // Fibonacci hashing: the top bits of the address times 2^64 / golden ratio.
    std::size_t hash(const void* handle) const {
        const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
        return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> shift_);
    }
    template <class T>
    static const void* address_of(const std::unique_ptr<T>& p) { return p.get(); }
    template <class T>
    static const void* address_of(T* p) { return p; }

    unsigned shift_ = 64;
    std::size_t recent_ = 0;
    std::vector<Slot> slots_;
};

// The record behind a handle in a list of owned records, or null for a handle the list does not
// hold (unknown, cleared, another vessel's). Never reads through the handle itself.
template <class T>
T* find_in(const std::vector<std::unique_ptr<T>>& list, HandleIndex& index, const void* handle) {
    if (handle == nullptr) return nullptr;
    const std::size_t n = list.size(), r = index.recent();
    if (r < n && list[r].get() == handle) return list[r].get();
    if (r + 1 < n && list[r + 1].get() == handle) {
        index.remember(r + 1);
        return list[r + 1].get();
    }
    const std::size_t p = index.suggest(handle);
    if (p < n && list[p].get() == handle) {
        index.remember(p);
        return list[p].get();
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (list[i].get() == handle) {
            index.rebuild(list);
            index.remember(i);
            return list[i].get();
        }
    }
    return nullptr;
}

}  // namespace runtime
