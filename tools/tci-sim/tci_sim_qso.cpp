#include "tci_sim_qso.h"

#include <array>

namespace {

// Calls from a prefix block that is never issued, so no real station is
// impersonated.
const std::vector<TCI_SIM_STATION> kStations = {
    {"QA1BC", "ANNA", "BERGEN", 18.0, 560.0, 0.30, 3.0},
    {"QR2XYZ", "TOM", "LYON", 24.0, 640.0, 0.20, 0.0},
    {"QK3ZV", "EVA", "GRAZ", 14.0, 710.0, 0.35, 6.0},
    {"QT4MN", "JAN", "BRNO", 28.0, 600.0, 0.15, 0.0},
};

constexpr std::array<const char*, 6> kReports = {"599", "579", "559", "5NN", "569", "589"};

// One contact: caller (A) and answerer (B) alternate.
struct CONTACT_STEP {
    bool caller;
    double pauseSeconds;
    const char* pattern;  // {A} {B} calls, {AN} {BN} names, {AQ} {BQ} places, {R} a report
};

constexpr std::array<CONTACT_STEP, 6> kSteps = {{
    {true, 3.0, "CQ CQ CQ DE {A} {A} {A} K"},
    {false, 1.2, "{A} DE {B} {B} K"},
    {true, 0.9, "{B} DE {A} GM TNX FER CALL UR RST {R} {R} NAME {AN} QTH {AQ} HW? {B} DE {A} K"},
    {false, 0.9, "R {A} DE {B} TNX UR RST {R} NAME {BN} QTH {BQ} BK"},
    {true, 0.9, "R TU 73 {B} DE {A} SK"},
    {false, 0.9, "TU 73 EE"},
}};

void replace_all(std::string* text, const std::string& key, const std::string& value)
{
    for (size_t at = text->find(key); at != std::string::npos; at = text->find(key, at + value.size()))
        text->replace(at, key.size(), value);
}

}  // namespace

const std::vector<TCI_SIM_STATION>& tci_sim_stations()
{
    return kStations;
}

TciSimQso::TciSimQso(uint32_t seed) : rng_(seed)
{
}

// Pairs rotate so that every station meets every other one: the answerer
// is 1 .. n-1 places after the caller, moving on once per round.
TCI_SIM_TRANSMISSION TciSimQso::next()
{
    const size_t n = kStations.size();
    const size_t caller = contact_ % n;
    const size_t answerer = (caller + 1 + (contact_ / n) % (n - 1)) % n;
    const CONTACT_STEP& step = kSteps[step_];
    const TCI_SIM_STATION& a = kStations[caller];
    const TCI_SIM_STATION& b = kStations[answerer];
    std::string text = step.pattern;
    replace_all(&text, "{AN}", a.name);
    replace_all(&text, "{BN}", b.name);
    replace_all(&text, "{AQ}", a.qth);
    replace_all(&text, "{BQ}", b.qth);
    replace_all(&text, "{A}", a.call);
    replace_all(&text, "{B}", b.call);
    replace_all(&text, "{R}", reportText());
    TCI_SIM_TRANSMISSION transmission{text, step.caller ? caller : answerer, step.pauseSeconds};
    if (++step_ == kSteps.size()) {
        step_ = 0;
        ++contact_;
    }
    return transmission;
}

std::string TciSimQso::reportText()
{
    return kReports[rng_() % kReports.size()];
}
