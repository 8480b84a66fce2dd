// The message link: a first-in, first-out queue of keyword and text pairs for each
// receiving vessel, behind two C functions. A vessel is named by its VESSEL interface
// pointer, which this library never follows.
//
// SendCMessage (receiver, keyword, text) queues one pair; the result is 0, or -1 when the
// pair was refused (no receiver, or that receiver's queue is full).
// CheckCMessage (self, keyword buffer of 256 bytes, text buffer of 2048 bytes) delivers the
// oldest pair for `self` into the buffers, cut to 255 and 2047 characters and always
// terminated, and returns how many pairs are still waiting (0 or more); it returns -1 and
// leaves the buffers alone once that queue is empty.
#include <atomic>
#include <cstddef>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#if defined(_WIN32)
#define CVEL_EXPORT extern "C" __declspec(dllexport)
#else
#define CVEL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

constexpr std::size_t kKeywordBuffer = 256;
constexpr std::size_t kTextBuffer = 2048;
// A receiver that never polls must not let the queue grow without end.
constexpr std::size_t kMaxQueuedPerReceiver = 65536;

struct Message {
    std::string keyword;
    std::string text;
};

struct Link {
    std::mutex mutex;
    std::map<const void*, std::deque<Message>> queues;
    // Pairs waiting for any receiver. Every vessel polls every step and nearly always finds
    // nothing: then the answer comes from this count, without the lock.
    std::atomic<std::size_t> waiting{0};
};

Link& link() {
    static Link l;
    return l;
}

// At most `buffer - 1` characters of `s`: nothing longer can ever be delivered.
std::string cut(const char* s, std::size_t buffer) {
    if (s == nullptr) return {};
    return std::string(s, strnlen(s, buffer - 1));
}

void deliver(const std::string& s, char* out, std::size_t buffer) {
    const std::size_t n = s.size() < buffer - 1 ? s.size() : buffer - 1;
    std::memcpy(out, s.data(), n);
    out[n] = '\0';
}

}  // namespace

CVEL_EXPORT int SendCMessage(void* receiver, const char* keyword, const char* text) {
    if (receiver == nullptr) return -1;
    Link& l = link();
    std::lock_guard lock(l.mutex);
    std::deque<Message>& queue = l.queues[receiver];
    if (queue.size() >= kMaxQueuedPerReceiver) return -1;
    queue.push_back(Message{cut(keyword, kKeywordBuffer), cut(text, kTextBuffer)});
    l.waiting.fetch_add(1, std::memory_order_release);
    return 0;
}

CVEL_EXPORT int CheckCMessage(void* self, char* keyword, char* text) {
    if (self == nullptr || keyword == nullptr || text == nullptr) return -1;
    Link& l = link();
    if (l.waiting.load(std::memory_order_acquire) == 0) return -1;
    std::lock_guard lock(l.mutex);
    auto it = l.queues.find(self);
    if (it == l.queues.end() || it->second.empty()) return -1;
    const Message message = std::move(it->second.front());
    it->second.pop_front();
    l.waiting.fetch_sub(1, std::memory_order_relaxed);
    const int waiting = static_cast<int>(it->second.size());
    if (it->second.empty()) l.queues.erase(it);
    deliver(message.keyword, keyword, kKeywordBuffer);
    deliver(message.text, text, kTextBuffer);
    return waiting;
}
