// All spots of the skimmer: one per call, at the frequency it was last heard.
// Each call the extractors find strong is offered with its channel's
// frequency; the table answers what to send to the panorama, the cluster
// feed and the command line. Fixed capacity, nothing allocated after create.
#pragma once

#include "cw_callsign.h"

#include <cstddef>
#include <cstdint>

inline constexpr size_t kCWSpotTableMaxCapacity = 4096;
// The most events one offer writes: a DELETE (the spot that gave way, or the
// old place of a station that moved) and the answer.
inline constexpr size_t kCWSpotTableOfferEvents = 2;

struct CW_SPOT_TABLE_CONFIG {
    size_t capacity;        // spots held, 1..kCWSpotTableMaxCapacity; fixed at create
    double maxAgeSeconds;   // a spot not heard this long is deleted (e.g. 900)
    double respotSeconds;   // a spot heard again is worth sending again after this long (e.g. 600)
    double neighbourHz;     // closer than this is the same place (e.g. 150)
    double qsyHoldSeconds;  // the call heard elsewhere this soon after is an echo, not a move; 0: always a move
};

struct CW_SPOT {
    char call[kCWCallsignMaxLength + 1];
    double frequencyHz;
    double wpm;
    double snrDb;
    int32_t cq;
    double firstHeard;  // seconds, the caller's clock; since the spot came to this frequency
    double lastHeard;
};

struct CW_SPOT_CANDIDATE {
    char call[kCWCallsignMaxLength + 1];
    double frequencyHz;
    double wpm;
    double snrDb;
    int32_t cq;
    double now;  // seconds, monotonic
};

enum CW_SPOT_EVENT_KIND : int32_t {
    CW_SPOT_NONE = 0,    // not a call, or no usable frequency: nothing changed
    CW_SPOT_NEW,         // a new spot, or a station that moved: send it
    CW_SPOT_REFRESH,     // the same call near its spot again; send it only when `resend` is set
    CW_SPOT_SUPPRESSED,  // a busted variant of `similarTo` (or an echo of it elsewhere): not spotted
    CW_SPOT_DELETE,      // the spot is gone: send spot_delete
};

struct CW_SPOT_EVENT {
    CW_SPOT_EVENT_KIND kind;
    int32_t resend;  // NEW always; REFRESH once respotSeconds have passed since it was last sent
    CW_SPOT spot;    // the spot as it now is (DELETE: as it was; SUPPRESSED: the candidate)
    char similarTo[kCWCallsignMaxLength + 1];  // SUPPRESSED: the spotted call it resembles
};

typedef struct CW_SPOT_TABLE CW_SPOT_TABLE;

// Null when out of memory. Values out of range are clamped.
CW_SPOT_TABLE* cw_spot_table_create(const CW_SPOT_TABLE_CONFIG* config);
// Everything but the capacity; the spots stay.
void cw_spot_table_configure(CW_SPOT_TABLE* t, const CW_SPOT_TABLE_CONFIG* config);

// Offers a call heard and writes the events it causes to `events`, in the
// order to send them, returning how many; the last one answers the
// candidate. Give room for kCWSpotTableOfferEvents: with less, the leading
// DELETE is left out. Rules:
// - the same call within neighbourHz of its spot: REFRESH;
// - the same call farther away: the station moved; DELETE at the old place,
//   then NEW at the new one (SUPPRESSED within qsyHoldSeconds of last hearing it);
// - another call within neighbourHz of a spot whose call is similar
//   (cw_callsign_similar): SUPPRESSED, the spot already made stands; but
//   once this variant has been offered more times than the spot's call was
//   heard there (no other variant in between), the spot was the busted one:
//   it gives way (DELETE, then NEW for the variant);
// - otherwise NEW; when the table is full the least recently heard spot
//   gives way first with a DELETE.
size_t cw_spot_table_offer(CW_SPOT_TABLE* t, const CW_SPOT_CANDIDATE* candidate, CW_SPOT_EVENT* events,
                           size_t capacity);

// Removes up to `capacity` spots not heard for maxAgeSeconds at `now` and
// writes a DELETE for each; call again while it fills the buffer.
size_t cw_spot_table_expire(CW_SPOT_TABLE* t, double now, CW_SPOT_EVENT* events, size_t capacity);

// Copies up to `capacity` spots, the most recently heard first.
size_t cw_spot_table_list(const CW_SPOT_TABLE* t, CW_SPOT* spots, size_t capacity);
size_t cw_spot_table_count(const CW_SPOT_TABLE* t);

void cw_spot_table_destroy(CW_SPOT_TABLE* t);
