#include "cw_call_extractor.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

enum class WordKind : uint8_t {
    Other,
    Unreadable,
    Call,
    Cq,
    Test,
    De,
    OverEnd,  // K, KN, BK, AR, SK
    Report,   // 5NN, 599, 579
    Ur,
};

enum class CallState : uint8_t {
    None,     // not a call
    Pending,  // waiting for the word after it (DE would make it called)
    Free,     // on the air here
    Called,   // someone else's call
};

struct Word {
    char text[kCWCallsignMaxLength + 1];
    WordKind kind;
    CallState state;
    bool cqOpen;  // a CQ or TEST came earlier in this over
    bool lead;    // follows CQ, TEST or DE, directly or through repeats of itself
    bool leadDe;
    bool leadCq;
    uint32_t over;
};

// Calls reported lately, so that one over reports a call once (twice when it
// turns strong or cq later in the over).
inline constexpr size_t kReportedCalls = 8;

struct Reported {
    char call[kCWCallsignMaxLength + 1];
    uint32_t over;
    bool strong;
    bool cq;
    bool repeated;
    bool used;
    uint64_t stamp;  // for giving way to the least recently reported
};

}  // namespace

// Room for a word read as one: garbage and a call glued together by a lost
// word space ("TTTMDGQDE4X6PPB") are taken apart, longer ones are not.
inline constexpr size_t kWordMaxLength = 31;

struct CW_CALL_EXTRACTOR {
    char partial[kWordMaxLength + 1];
    size_t partialLength;
    bool partialOdd;      // a character no call has
    bool partialTooLong;  // longer than kWordMaxLength

    Word ring[kCWCallExtractorWindowWords];
    size_t head;  // oldest word
    size_t count;

    uint32_t over;
    bool cqOpen;
    size_t wordsSinceCq;

    Reported reported[kReportedCalls];
    uint64_t reportStamp;

    CW_CALL_HEARD queue[kCWCallExtractorQueuedReports];
    size_t queueHead;
    size_t queueCount;
};

namespace {

Word& word_at(CW_CALL_EXTRACTOR* x, size_t i)
{
    return x->ring[(x->head + i) % kCWCallExtractorWindowWords];
}

bool is_word(const char* s, const char* w)
{
    return std::strcmp(s, w) == 0;
}

bool report_shaped(const char* s)
{
    return std::strlen(s) == 3 && std::strchr("345E", s[0]) != nullptr && std::strchr("123456789N", s[1]) != nullptr &&
           std::strchr("123456789N", s[2]) != nullptr;
}

WordKind classify_plain(const char* s)
{
    if (is_word(s, "CQ"))
        return WordKind::Cq;
    if (is_word(s, "TEST"))
        return WordKind::Test;
    if (is_word(s, "DE"))
        return WordKind::De;
    if (is_word(s, "UR"))
        return WordKind::Ur;
    if (is_word(s, "K") || is_word(s, "KN") || is_word(s, "BK") || is_word(s, "AR") || is_word(s, "SK"))
        return WordKind::OverEnd;
    if (report_shaped(s))
        return WordKind::Report;
    return cw_callsign_check(s, std::strlen(s)) ? WordKind::Call : WordKind::Other;
}

// Decoders write prosigns as "+" (AR) or in angle brackets ("<KN>").
WordKind classify(char* text, bool odd)
{
    const size_t n = std::strlen(text);
    if (is_word(text, "+"))
        return WordKind::OverEnd;
    if (n >= 3 && text[0] == '<' && text[n - 1] == '>') {
        std::memmove(text, text + 1, n - 2);
        text[n - 2] = '\0';
        for (size_t i = 0; text[i] != '\0'; ++i)
            if (text[i] < 'A' || text[i] > 'Z')
                return WordKind::Unreadable;
        return classify_plain(text) == WordKind::OverEnd ? WordKind::OverEnd : WordKind::Other;
    }
    return odd ? WordKind::Unreadable : classify_plain(text);
}

void enqueue(CW_CALL_EXTRACTOR* x, const char* call, bool strong, bool cq, bool repeated)
{
    if (x->queueCount == kCWCallExtractorQueuedReports) {
        x->queueHead = (x->queueHead + 1) % kCWCallExtractorQueuedReports;
        --x->queueCount;
    }
    CW_CALL_HEARD& h = x->queue[(x->queueHead + x->queueCount) % kCWCallExtractorQueuedReports];
    h = CW_CALL_HEARD{.call = {}, .cq = cq ? 1 : 0, .strong = strong ? 1 : 0, .repeated = repeated ? 1 : 0};
    std::memcpy(h.call, call, std::strlen(call) + 1);
    ++x->queueCount;
}

void report(CW_CALL_EXTRACTOR* x, const Word& w, bool strong, bool cq, bool repeated)
{
    Reported* found = nullptr;
    Reported* room = &x->reported[0];
    for (Reported& r : x->reported) {
        if (r.used && is_word(r.call, w.text))
            found = &r;
        if (!r.used || (room->used && r.stamp < room->stamp))
            room = &r;
    }
    if (found != nullptr && found->over == w.over) {
        if ((!strong || found->strong) && (!cq || found->cq) && (!repeated || found->repeated))
            return;
        strong = strong || found->strong;
        cq = cq || found->cq;
        repeated = repeated || found->repeated;
    }
    Reported& r = found != nullptr ? *found : *room;
    r.used = true;
    std::memcpy(r.call, w.text, sizeof r.call);
    r.over = w.over;
    r.strong = strong;
    r.cq = cq;
    r.repeated = repeated;
    r.stamp = ++x->reportStamp;
    enqueue(x, w.text, strong, cq, repeated);
}

size_t free_repeats(CW_CALL_EXTRACTOR* x, const char* call)
{
    size_t n = 0;
    for (size_t i = 0; i < x->count; ++i) {
        const Word& w = word_at(x, i);
        n += w.state == CallState::Free && is_word(w.text, call);
    }
    return n;
}

// Decides the calls [from, to) of the window as on the air here, `next`
// being the word after them (Other when there is none).
void decide_free(CW_CALL_EXTRACTOR* x, size_t from, size_t to, WordKind next)
{
    const bool trail = next == WordKind::OverEnd || next == WordKind::Test;
    const char* last = word_at(x, to - 1).text;
    for (size_t i = from; i < to; ++i) {
        Word& w = word_at(x, i);
        w.state = CallState::Free;
        const bool beforeEnd = trail && is_word(w.text, last);
        const bool repeated = free_repeats(x, w.text) >= 2;
        const bool strong = w.lead || beforeEnd || repeated;
        // "CQ DX DL2QZA DL2QZA K": the call closing a CQ's over is the CQ's.
        const bool cq = (w.lead && (w.cqOpen || w.leadCq)) || (beforeEnd && (next == WordKind::Test || w.cqOpen));
        report(x, w, strong, cq, repeated);
    }
}

// Decides the calls waiting at the end of the window now that the word after
// them is known (`next`; Other when there is none). Returns true when they
// turned out to be called.
bool resolve_pending(CW_CALL_EXTRACTOR* x, WordKind next)
{
    size_t first = x->count;
    while (first > 0 && word_at(x, first - 1).state == CallState::Pending)
        --first;
    if (first == x->count)
        return false;
    const bool called =
        (next == WordKind::De || next == WordKind::Report || next == WordKind::Ur) && !word_at(x, first).leadDe;
    if (!called) {
        decide_free(x, first, x->count, next);
        return false;
    }
    // Only the last call, with its repeats, is the one called: in
    // "JA8EYZ JA8EYZ PD3Y DE JA8EYZ" the station answered a CQ with its
    // call and then called PD3Y.
    size_t run = x->count - 1;
    while (run > first && is_word(word_at(x, run - 1).text, word_at(x, x->count - 1).text))
        --run;
    if (run > first)
        decide_free(x, first, run, WordKind::Other);
    for (size_t i = run; i < x->count; ++i)
        word_at(x, i).state = CallState::Called;
    return true;
}

void end_over(CW_CALL_EXTRACTOR* x)
{
    ++x->over;
    x->cqOpen = false;
}

void push(CW_CALL_EXTRACTOR* x, const Word& w)
{
    if (x->count == kCWCallExtractorWindowWords) {
        // A window full of undecided calls: decide them before the oldest goes.
        if (word_at(x, 0).state == CallState::Pending)
            resolve_pending(x, WordKind::Other);
        x->head = (x->head + 1) % kCWCallExtractorWindowWords;
        --x->count;
    }
    word_at(x, x->count) = w;
    ++x->count;
    if (x->cqOpen && ++x->wordsSinceCq > kCWCallExtractorWindowWords)
        x->cqOpen = false;
}

void take_word(CW_CALL_EXTRACTOR* x, char* text, bool odd)
{
    Word w{};
    w.kind = classify(text, odd);
    const size_t length = std::min(std::strlen(text), kCWCallsignMaxLength);  // longer words are unreadable
    std::memcpy(w.text, text, length);
    w.text[length] = '\0';
    const Word* previous = x->count > 0 ? &word_at(x, x->count - 1) : nullptr;
    const WordKind before = previous != nullptr ? previous->kind : WordKind::Other;
    if (w.kind == WordKind::Call) {
        w.state = CallState::Pending;
        w.cqOpen = x->cqOpen;
        w.over = x->over;
        if (before == WordKind::Cq || before == WordKind::Test || before == WordKind::De) {
            w.lead = true;
            w.leadDe = before == WordKind::De;
            w.leadCq = !w.leadDe;
        } else if (previous != nullptr && previous->kind == WordKind::Call && previous->state != CallState::Called &&
                   is_word(previous->text, w.text)) {
            w.lead = previous->lead;
            w.leadDe = previous->leadDe;
            w.leadCq = previous->leadCq;
        }
        push(x, w);
        // A call after DE is the sender's whatever follows: say so at once,
        // not when the over ends (a slow station's over lasts half a minute).
        if (w.leadDe)
            resolve_pending(x, WordKind::Other);
        return;
    }
    const bool called = resolve_pending(x, w.kind);
    if (w.kind == WordKind::De && called)
        end_over(x);  // the other side of a QSO begins
    if (w.kind == WordKind::OverEnd)
        end_over(x);
    if (w.kind == WordKind::Cq || w.kind == WordKind::Test) {
        if (before != WordKind::Cq && before != WordKind::Test)
            end_over(x);
        x->cqOpen = true;
        x->wordsSinceCq = 0;
    }
    w.over = x->over;
    push(x, w);
}

// A lost word space glues DE or CQ to the call after it, often with the
// garbage before ("CQZ39ZE", "TTTMDGQDE4X6PPB"): the part after the last DE
// or CQ is read as its own word when it is a call. Nonzero: the length of
// what comes before the call (keyword included).
size_t glued_call_at(const char* word, size_t length)
{
    for (size_t at = length >= 2 ? length - 2 : 0; at-- > 0;) {
        const bool keyword = (word[at] == 'D' && word[at + 1] == 'E') || (word[at] == 'C' && word[at + 1] == 'Q');
        if (keyword && length - at - 2 <= kCWCallsignMaxLength && cw_callsign_check(word + at + 2, length - at - 2))
            return at + 2;
    }
    return 0;
}

void complete_word(CW_CALL_EXTRACTOR* x)
{
    if (x->partialLength == 0 && !x->partialTooLong)
        return;
    x->partial[x->partialLength] = '\0';
    const bool odd = x->partialOdd || x->partialTooLong;
    // A call-shaped whole ("CQZ39ZE" reads as a Portuguese call) is taken
    // apart as well: no call has a second call after DE or CQ inside it.
    const size_t callAt = odd ? 0 : glued_call_at(x->partial, x->partialLength);
    if (callAt > 0) {
        char keyword[3] = {x->partial[callAt - 2], x->partial[callAt - 1], '\0'};
        if (callAt > 2) {
            x->partial[callAt - 2] = '\0';
            take_word(x, x->partial, true);  // the garbage keeps its place in the window
        }
        take_word(x, keyword, false);
        take_word(x, x->partial + callAt, false);
    } else {
        // Longer than any call: keep the word's place in the window, as unreadable.
        take_word(x, x->partial, odd || x->partialLength > kCWCallsignMaxLength);
    }
    x->partialLength = 0;
    x->partialOdd = false;
    x->partialTooLong = false;
}

void take_char(CW_CALL_EXTRACTOR* x, char c)
{
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        complete_word(x);
        return;
    }
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    if (c == '\0')
        c = '*';  // keeps the word a string; it is unreadable all the same
    const bool callChar = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/';
    // '+' and '<', '>' may make a prosign; anything else marks the word unreadable.
    if (!callChar && c != '+' && c != '<' && c != '>')
        x->partialOdd = true;
    if (x->partialLength == kWordMaxLength) {
        x->partialTooLong = true;
        return;
    }
    x->partial[x->partialLength++] = c;
}

size_t deliver(CW_CALL_EXTRACTOR* x, CW_CALL_HEARD* heard, size_t capacity)
{
    if (heard == nullptr)
        return 0;
    size_t n = 0;
    while (n < capacity && x->queueCount > 0) {
        heard[n++] = x->queue[x->queueHead];
        x->queueHead = (x->queueHead + 1) % kCWCallExtractorQueuedReports;
        --x->queueCount;
    }
    return n;
}

}  // namespace

CW_CALL_EXTRACTOR* cw_call_extractor_create(void)
{
    auto* x = new (std::nothrow) CW_CALL_EXTRACTOR;
    if (x != nullptr)
        cw_call_extractor_reset(x);
    return x;
}

void cw_call_extractor_reset(CW_CALL_EXTRACTOR* x)
{
    if (x != nullptr)
        *x = CW_CALL_EXTRACTOR{};
}

size_t cw_call_extractor_feed(CW_CALL_EXTRACTOR* x, const char* text, size_t length, CW_CALL_HEARD* heard,
                              size_t capacity)
{
    if (x == nullptr)
        return 0;
    if (text != nullptr)
        for (size_t i = 0; i < length; ++i)
            take_char(x, text[i]);
    return deliver(x, heard, capacity);
}

size_t cw_call_extractor_flush(CW_CALL_EXTRACTOR* x, CW_CALL_HEARD* heard, size_t capacity)
{
    if (x == nullptr)
        return 0;
    complete_word(x);
    resolve_pending(x, WordKind::Other);
    end_over(x);
    return deliver(x, heard, capacity);
}

void cw_call_extractor_destroy(CW_CALL_EXTRACTOR* x)
{
    delete x;
}
