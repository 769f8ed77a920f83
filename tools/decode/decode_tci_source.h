// Live input of zarvo-decode: the receive audio of a TCI server.
#pragma once

#include "decode_options.h"
#include "decode_session.h"

// Connects to options.tciHost:tciPort, decodes every receive-audio frame
// into the session until Ctrl-C (then disconnects politely) or until the
// link fails or the text cannot be written. With options.reconnect a failed
// or lost link is tried again after 1, 2, 4 ... 30 s, each attempt and each
// success said in one line on standard error. Needs a Qt application
// object. Returns 0 after Ctrl-C or a failed write, 3 when the connection
// was refused, timed out or lost without options.reconnect.
int decode_run_tci(const DECODE_OPTIONS& options, DECODE_SESSION* session);
