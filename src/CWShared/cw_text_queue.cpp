#include "cw_text_queue.h"

void cw_text_queue_clear(CW_TEXT_QUEUE* queue)
{
    queue->head = 0;
    queue->count = 0;
}

void cw_text_queue_push(CW_TEXT_QUEUE* queue, const char* bytes, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        if (queue->count == kCWTextQueueBytes) {
            queue->head = (queue->head + 1) % kCWTextQueueBytes;
            --queue->count;
        }
        queue->data[(queue->head + queue->count) % kCWTextQueueBytes] = bytes[i];
        ++queue->count;
    }
}

size_t cw_text_queue_deliver(CW_TEXT_QUEUE* queue, char* out, size_t capacity)
{
    if (out == nullptr || capacity == 0)
        return 0;
    size_t written = 0;
    while (queue->count > 0 && written + 1 < capacity) {
        out[written++] = queue->data[queue->head];
        queue->head = (queue->head + 1) % kCWTextQueueBytes;
        --queue->count;
    }
    out[written] = '\0';
    return written;
}
