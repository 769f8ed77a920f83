#include "tci_sim_faults.h"

#include "TCIStreamInfo.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace {

enum : size_t { WORD_RATE = 1, WORD_FORMAT = 2, WORD_LENGTH = 5, WORD_TYPE = 6, WORD_CHANNELS = 7 };

struct MALFORMATION {
    const char* name;
    size_t keepBytes;  // bytes of the good frame kept, SIZE_MAX for all
    size_t word;       // header word patched, SIZE_MAX for none
    uint32_t value;    // its new value, or what is added to the old one
    bool add;
};

constexpr MALFORMATION kMalformations[] = {
    {"empty message", 0, SIZE_MAX, 0, false},
    {"short header", 40, SIZE_MAX, 0, false},
    {"length beyond the payload", SIZE_MAX, WORD_LENGTH, 1, true},
    {"huge length", SIZE_MAX, WORD_LENGTH, 0xFFFFFFFFu, false},
    {"no channels", SIZE_MAX, WORD_CHANNELS, 0, false},
    {"unknown format", SIZE_MAX, WORD_FORMAT, 7, false},
    {"not receive audio", SIZE_MAX, WORD_TYPE, 2, false},
    {"zero sample rate", SIZE_MAX, WORD_RATE, 0, false},
};

const std::array<std::string, 16> kGarbage = {
    "",
    ";",
    ";;;;",
    ":",
    "vfo:",
    "vfo:0,0,abc;",
    "modulation:;",
    "VFO:0,0,NaN;",
    "dds:0,50;",
    " \t\r\n",
    "\xC3\xA4\xC3\xB6\xE2\x82\xAC:\xE2\x80\x94;",
    std::string(4096, 'x'),
    "trx_count:1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16;",
    "::::,,,,;;;;",
    "frequency:-1e400;",
    "rx_frequency:0,0,99999999999999999999999;",
};

uint32_t read_word(const std::vector<uint8_t>& frame, size_t word)
{
    const uint8_t* p = frame.data() + 4 * word;
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void write_word(std::vector<uint8_t>* frame, size_t word, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        (*frame)[4 * word + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

size_t tci_sim_malformed_kinds()
{
    return std::size(kMalformations);
}

std::vector<uint8_t> tci_sim_malformed_frame(size_t kind, const std::vector<uint8_t>& good, std::string* name)
{
    const MALFORMATION& m = kMalformations[kind % std::size(kMalformations)];
    if (name)
        *name = m.name;
    const size_t keep = std::min(m.keepBytes, good.size());
    std::vector<uint8_t> frame(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(keep));
    if (m.word != SIZE_MAX && frame.size() >= kTCIStreamHeaderBytes)
        write_word(&frame, m.word, m.add ? read_word(frame, m.word) + m.value : m.value);
    return frame;
}

size_t tci_sim_garbage_count()
{
    return kGarbage.size();
}

std::string tci_sim_garbage_text(size_t index)
{
    return kGarbage[index % kGarbage.size()];
}

std::string tci_sim_long_text(size_t index)
{
    if (index % 2 == 0)
        return std::string(kTciSimLongTextBytes, 'x');
    const std::string command = "rx_smeter:0,0,-73;";
    std::string text;
    while (text.size() + command.size() <= kTciSimLongTextBytes)
        text += command;
    return text;
}

TciSimFaults::TciSimFaults(const TCI_SIM_FAULT_RATES& rates) : rates_(rates)
{
}

void TciSimFaults::afterGoodFrame(const std::vector<uint8_t>& frame, TCI_SIM_OUTPUT* out)
{
    ++goodFrames_;
    const auto due = [this](uint32_t every) { return every > 0 && goodFrames_ % every == 0; };
    if (due(rates_.malformedEvery)) {
        std::string name;
        out->messages.push_back(TCI_SIM_MESSAGE{
            .binary = true, .text = "", .bytes = tci_sim_malformed_frame(nextMalformed_++, frame, &name)});
        out->log.push_back("fault: malformed frame (" + name + ")");
    }
    if (due(rates_.garbageEvery)) {
        out->messages.push_back(
            TCI_SIM_MESSAGE{.binary = false, .text = tci_sim_garbage_text(nextGarbage_++), .bytes = {}});
        out->log.push_back("fault: garbage text");
    }
    if (due(rates_.longTextEvery)) {
        out->messages.push_back(
            TCI_SIM_MESSAGE{.binary = false, .text = tci_sim_long_text(nextLongText_++), .bytes = {}});
        out->log.push_back("fault: long text (" + std::to_string(kTciSimLongTextBytes) + " bytes)");
    }
    for (uint32_t i = 0; i < rates_.floodPerFrame; ++i)
        out->messages.push_back(TCI_SIM_MESSAGE{.binary = false, .text = "rx_smeter:0,0,-73;", .bytes = {}});
    if (rates_.floodPerFrame > 0 && goodFrames_ == 1)
        out->log.push_back("fault: " + std::to_string(rates_.floodPerFrame) + " small texts after every frame");
}
