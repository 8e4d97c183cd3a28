#pragma once

// The fuzz targets. Each takes one input, runs it through the real code and aborts (via
// fuzzFail) when an invariant breaks; the sanitizers catch the rest. The libFuzzer
// programs in fuzz/ call them, and tst_fuzzreplay runs the kept corpus through them.

#include <cstddef>
#include <cstdint>

// Bytes arriving from the adapter, in pieces, into a link that reacts the way the
// controller does (requests after replies, resends after "NO DATA", close on errors).
int fuzzLinkReceive(const uint8_t *data, size_t size);
// A connected controller driven through every operation while the adapter's side answers
// with replies to the request in flight, arbitrary frames, status texts and hang-ups.
int fuzzRunnerReplies(const uint8_t *data, size_t size);
// A backup file checked for import against a connected dashboard's information.
int fuzzBackupFile(const uint8_t *data, size_t size);
// The scrambled container decoder.
int fuzzScrambler(const uint8_t *data, size_t size);
// A picture file loaded and encoded for the display.
int fuzzImageLoad(const uint8_t *data, size_t size);
