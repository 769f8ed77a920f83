// Live input of zarvo-skim: the receive audio or the IQ stream of a TCI
// server.
#pragma once

#include "skim_options.h"
#include "skim_session.h"

// Connects to options.tciHost:tciPort, asks for the receive audio (or with
// options.iq for IQ at options.iqRate) and skims every frame at the rate
// its header states until Ctrl-C (then stops the stream and closes
// politely), the link fails or the output cannot be written. With
// options.spotsToRadio the spots go to the server as well. Needs a Qt
// application object. Returns 0 after Ctrl-C or a failed write, 3 when the
// connection was refused, timed out or lost.
int skim_run_tci(const SKIM_OPTIONS& options, SKIM_SESSION* session);
