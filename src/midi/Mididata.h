#pragma once
// MIDI data: events, tracks and the song, the Standard MIDI File writer and
// the text forms of events. The name tables are in Midispec.h.
#include "midi/Events.h"
#include "midi/SmfIo.h"
#include "midi/Song.h"
#include "midi/Track.h"
