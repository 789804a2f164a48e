// The test program's commands, run by tools/wine-test.sh inside Wine.
#ifndef TESTS_WINE_WINEPROGRAM_H
#define TESTS_WINE_WINEPROGRAM_H

#include <cstddef>
#include <string>

#include "win32.h"

// Text in the platform's UTF-16 characters.
typedef std::basic_string<WCHAR> WideString;

// Plays the file through Wine's filter graph three ways and prints the
// sinks' records, each line "SECTION<TAB>JSON": "play" (Run to EC_COMPLETE),
// "seek" (Run, a seek to rtSeek through the graph once each sink holds
// nHold samples, on to EC_COMPLETE), "duration" (the graph's GetDuration),
// and "replay" (Stop, back to 0, Pause until end-of-stream). 0 on success.
int PlayThroughGraph(const WideString& file, size_t nHold, REFERENCE_TIME rtSeek);

#endif
