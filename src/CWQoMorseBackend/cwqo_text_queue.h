// Decoded text waiting for a caller's buffer: what does not fit one call's
// buffer is handed out by the next, so nothing is lost or repeated. Inline
// storage; when a caller never takes text the oldest bytes give way.
#pragma once

#include <cstddef>

inline constexpr size_t kCwqoTextQueueBytes = 4096;

struct CWQO_TEXT_QUEUE {
    char data[kCwqoTextQueueBytes];
    size_t head;   // oldest byte
    size_t count;
};

void cwqo_text_queue_clear(CWQO_TEXT_QUEUE* queue);

// Appends n bytes, dropping the oldest held ones when the queue overflows.
void cwqo_text_queue_push(CWQO_TEXT_QUEUE* queue, const char* bytes, size_t n);

// Moves as many queued bytes as fit (capacity - 1) into out, NUL-terminates
// it when capacity is nonzero, and returns the count moved.
size_t cwqo_text_queue_deliver(CWQO_TEXT_QUEUE* queue, char* out, size_t capacity);
