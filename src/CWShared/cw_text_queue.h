// Decoded text waiting for a caller's buffer: what does not fit one call's
// buffer is handed out by the next, so nothing is lost or repeated. Inline
// storage; when a caller never takes text the oldest bytes give way.
#pragma once

#include <cstddef>

inline constexpr size_t kCWTextQueueBytes = 4096;

struct CW_TEXT_QUEUE {
    char data[kCWTextQueueBytes];
    size_t head;  // oldest byte
    size_t count;
};

void cw_text_queue_clear(CW_TEXT_QUEUE* queue);

// Appends n bytes, dropping the oldest held ones when the queue overflows.
void cw_text_queue_push(CW_TEXT_QUEUE* queue, const char* bytes, size_t n);

// Moves as many queued bytes as fit (capacity - 1) into out, NUL-terminates
// it when capacity is nonzero, and returns the count moved.
size_t cw_text_queue_deliver(CW_TEXT_QUEUE* queue, char* out, size_t capacity);
