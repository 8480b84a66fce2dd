// The message link: item lines and other keyword/text pairs travel between vessels through
// the message module "Modules\cvelmessage", which queues them per receiver. A vessel's
// identity on the link is its VESSEL interface pointer.
#include <cstring>

#include "stages/common_vessel_ex.h"
#include "stages/message_link.h"

namespace {

constexpr const char* kMessageModule = "Modules\\cvelmessage";
constexpr const char* kSendEntry = "SendCMessage";
constexpr const char* kCheckEntry = "CheckCMessage";

// CheckCMessage: -1 means nothing was delivered; any other negative value ends the poll
// after the pair it delivered.
constexpr int kNothingDelivered = -1;

// A module that never answers a negative value would keep one poll going for ever: a poll
// asks it at most this many times. The table holds 50 items, so a genuine handover needs
// far fewer.
constexpr int kMaxChecksPerPoll = 4096;

using SendCMessageFunc = int (*)(void* receiver, const char* keyword, const char* text);
using CheckCMessageFunc = int (*)(void* self, char* keyword, char* text);

// GetProcAddress answers a generic function pointer; void (*)() carries it to the entry's
// own type without a mismatch between the two function types.
template <class Func>
Func find_entry(HMODULE module, const char* name) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Func>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Copies at most size - 1 characters and always terminates.
void copy_terminated(char* out, const char* in, std::size_t size) {
    const std::size_t n = strnlen(in, size - 1);
    std::memcpy(out, in, n);
    out[n] = '\0';
}

}  // namespace

HMODULE load_message_module() { return LoadLibraryA(kMessageModule); }

void release_message_module(HMODULE module) {
    if (module != nullptr) FreeLibrary(module);
}

void COMMON_VESSEL_EX::SendCVEMessage(VESSEL* receiver, const char* keyword, const char* text) {
    const auto send = find_entry<SendCMessageFunc>(msg_module, kSendEntry);
    if (send == nullptr) return;
    send(static_cast<void*>(receiver), keyword != nullptr ? keyword : "", text != nullptr ? text : "");
}

bool COMMON_VESSEL_EX::poll_messages(char* keyword_out, char* text_out) {
    // A poll that had to stop at its bound is followed by one that does not ask the module,
    // so that a caller draining the link until a poll brings nothing comes to an end.
    if (msg_poll_saturated) {
        msg_poll_saturated = false;
        return false;
    }
    const auto check = find_entry<CheckCMessageFunc>(msg_module, kCheckEntry);
    if (check == nullptr) return false;

    VESSEL* self = this;
    bool dispatched = false;
    for (int checks = 0;; ++checks) {
        if (checks == kMaxChecksPerPoll) {
            msg_poll_saturated = true;
            break;
        }
        // Only the first bytes are cleared (the poll runs every step): a module that delivers
        // nothing leaves an empty text, which is dropped below.
        char keyword[CVE_MSG_KEYWORD_LEN];
        char text[CVE_TEXT_LEN];
        keyword[0] = '\0';
        text[0] = '\0';
        const int rc = check(static_cast<void*>(self), keyword, text);
        // The module is another library: whatever it wrote, the strings end inside the buffers.
        keyword[CVE_MSG_KEYWORD_LEN - 1] = '\0';
        text[CVE_TEXT_LEN - 1] = '\0';
        if (rc != kNothingDelivered && text[0] != '\0') {
            DispatchLine(keyword, text);
            if (keyword_out != nullptr && text_out != nullptr) {
                copy_terminated(keyword_out, keyword, CVE_MSG_KEYWORD_LEN);
                copy_terminated(text_out, text, CVE_TEXT_LEN);
            }
            dispatched = true;
        }
        if (rc < 0) break;
    }
    return dispatched;
}
