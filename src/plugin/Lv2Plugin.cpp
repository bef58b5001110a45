// The LV2 face of the plugin: ports, the host's time and patch messages, the
// worker that loads and renders songs, and the session state. The audio
// thread (run) only forwards small messages to the worker and plays the
// Scores the worker hands back; the worker frees what run lets go.
#include "plugin/Player.h"
#include "plugin/ScoreMaker.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/log/logger.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#define SORVELIN_URI "http://sorvelin.org/plugins/sorvelin"

namespace sorvelin::plugin {
namespace {

constexpr const char* SongUri = SORVELIN_URI "#song";
constexpr const char* SongTextUri = SORVELIN_URI "#songText";

enum Port : std::uint32_t {
    ControlIn = 0,
    NotifyOut,
    MidiOut,
    ScalePort,
    RhythmPort,
    NoteAssignPort,
    ContinuousPort,
    OverLengthPort,
    VelocityPort,
    DxPort,
    DyPort,
    OctavePort,
    FirstPartPort,
    PortCount = FirstPartPort + ScorePartCount,
};

struct Uris {
    LV2_URID atomBlank, atomObject, atomPath, atomString, atomFloat, atomDouble, atomInt, atomLong,
        atomUrid, atomSequence, midiEvent, timePosition, timeBar, timeBarBeat, timeBeat,
        timeBeatUnit, timeBeatsPerBar, timeBpm, timeSpeed, timeFrame, patchSet, patchGet,
        patchProperty, patchValue, song, songText;

    explicit Uris(const LV2_URID_Map* map) {
        auto m = [map](const char* uri) { return map->map(map->handle, uri); };
        atomBlank = m(LV2_ATOM__Blank);
        atomObject = m(LV2_ATOM__Object);
        atomPath = m(LV2_ATOM__Path);
        atomString = m(LV2_ATOM__String);
        atomFloat = m(LV2_ATOM__Float);
        atomDouble = m(LV2_ATOM__Double);
        atomInt = m(LV2_ATOM__Int);
        atomLong = m(LV2_ATOM__Long);
        atomUrid = m(LV2_ATOM__URID);
        atomSequence = m(LV2_ATOM__Sequence);
        midiEvent = m(LV2_MIDI__MidiEvent);
        timePosition = m(LV2_TIME__Position);
        timeBar = m(LV2_TIME__bar);
        timeBarBeat = m(LV2_TIME__barBeat);
        timeBeat = m(LV2_TIME__beat);
        timeBeatUnit = m(LV2_TIME__beatUnit);
        timeBeatsPerBar = m(LV2_TIME__beatsPerBar);
        timeBpm = m(LV2_TIME__beatsPerMinute);
        timeSpeed = m(LV2_TIME__speed);
        timeFrame = m(LV2_TIME__frame);
        patchSet = m(LV2_PATCH__Set);
        patchGet = m(LV2_PATCH__Get);
        patchProperty = m(LV2_PATCH__property);
        patchValue = m(LV2_PATCH__value);
        song = m(SongUri);
        songText = m(SongTextUri);
    }
};

// The worker's messages. A load carries the path after the header.
enum class JobKind : std::uint32_t { Load, Render, Free };
struct Job {
    JobKind kind = JobKind::Render;
    ScoreControls controls;
    const Score* score = nullptr; // Free
    std::uint32_t pathSize = 0;   // Load: bytes of the path that follow
};
struct Reply {
    Score* score = nullptr; // null: nothing new to play
};

constexpr std::size_t MaxPathBytes = 2048;

class AtomSink final : public MidiSink {
public:
    AtomSink(LV2_Atom_Forge& forge, LV2_URID midiEvent) : forge_(forge), midiEvent_(midiEvent) {}
    bool Put(std::uint32_t frame, const std::uint8_t* bytes, std::uint32_t size) override {
        if (lv2_atom_forge_frame_time(&forge_, frame) == 0) {
            return false;
        }
        const LV2_Atom atom{size, midiEvent_};
        if (lv2_atom_forge_raw(&forge_, &atom, sizeof atom) == 0 ||
            lv2_atom_forge_raw(&forge_, bytes, size) == 0) {
            return false;
        }
        lv2_atom_forge_pad(&forge_, size);
        return true;
    }

private:
    LV2_Atom_Forge& forge_;
    LV2_URID midiEvent_;
};

double NumberOf(const Uris& uris, const LV2_Atom* atom, double fallback) {
    if (atom == nullptr) {
        return fallback;
    }
    if (atom->type == uris.atomFloat) {
        return reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
    }
    if (atom->type == uris.atomDouble) {
        return reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
    }
    if (atom->type == uris.atomInt) {
        return reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
    }
    if (atom->type == uris.atomLong) {
        return static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
    }
    return fallback;
}

struct Instance {
    Instance(const LV2_URID_Map* map, const LV2_Worker_Schedule* schedule, const LV2_Log_Log* log,
             double rate, const char* bundle)
        : uris(map), worker(schedule),
          maker({(std::filesystem::path(bundle) / ".." / ".." / ".." / "share" / "sorvelin")
                     .lexically_normal()}) {
        lv2_atom_forge_init(&forge, const_cast<LV2_URID_Map*>(map));
        lv2_log_logger_init(&logger, const_cast<LV2_URID_Map*>(map), const_cast<LV2_Log_Log*>(log));
        player.SetSampleRate(rate);
    }
    ~Instance() {
        delete player.Active();
        delete player.Pending();
        for (const Score* score = player.TakeRetired(); score != nullptr;
             score = player.TakeRetired()) {
            delete score;
        }
        for (const Score* score : toFree) {
            delete score;
        }
    }

    Uris uris;
    const LV2_Worker_Schedule* worker;
    LV2_Log_Logger logger{};
    LV2_Atom_Forge forge{};
    std::array<void*, PortCount> ports{};
    Player player;

    // Audio thread only.
    ScoreControls wanted;
    ScoreControls requested;
    bool haveSong = false;
    bool inFlight = false;
    bool notifySong = false;
    std::uint32_t notifyCapacity = 0;
    std::array<const Score*, 8> toFree{};
    alignas(Job) std::array<unsigned char, sizeof(Job) + MaxPathBytes> jobBytes{};

    // The worker's, and the session state's (never the audio thread's).
    std::mutex makerMutex;
    ScoreMaker maker;
};

float ControlValue(const Instance& self, std::uint32_t port) {
    const auto* value = static_cast<const float*>(self.ports[port]);
    return value != nullptr && std::isfinite(*value) ? *value : static_cast<float>(AsInSong);
}

int Choice(const Instance& self, std::uint32_t port, int low, int high) {
    return std::clamp(static_cast<int>(std::lround(ControlValue(self, port))), low, high);
}

ScoreControls ReadControls(const Instance& self) {
    ScoreControls c;
    c.scale = Choice(self, ScalePort, AsInSong, 1023);
    c.rhythm = Choice(self, RhythmPort, AsInSong, 1023);
    c.noteAssign = Choice(self, NoteAssignPort, AsInSong, NoteAssignItems - 1);
    c.continuous = Choice(self, ContinuousPort, AsInSong, ContinuousItems - 1);
    c.overLength = Choice(self, OverLengthPort, AsInSong, OverLengthItems - 1);
    c.velocity = Choice(self, VelocityPort, AsInSong, VelocityItems - 1);
    c.dx = Choice(self, DxPort, AsInSong, ShiftMax);
    c.dy = Choice(self, DyPort, AsInSong, ShiftMax);
    c.octave = Choice(self, OctavePort, MinOctave, MaxOctave);
    for (std::uint32_t part = 0; part < ScorePartCount; ++part) {
        c.parts[part] = Choice(self, FirstPartPort + part, AsInSong, 1);
    }
    return c;
}

void Schedule(Instance& self, const Job& job, const char* path = nullptr) {
    std::memcpy(self.jobBytes.data(), &job, sizeof job);
    if (path != nullptr) {
        std::memcpy(self.jobBytes.data() + sizeof job, path, job.pathSize);
    }
    self.worker->schedule_work(self.worker->handle,
                               static_cast<std::uint32_t>(sizeof job + job.pathSize),
                               self.jobBytes.data());
}

void Free(Instance& self, const Score* score) {
    if (score == nullptr) {
        return;
    }
    Job job;
    job.kind = JobKind::Free;
    job.score = score;
    if (self.worker->schedule_work(self.worker->handle, sizeof job, &job) != LV2_WORKER_SUCCESS) {
        // The worker's queue is full: tried again next cycle.
        for (const Score*& slot : self.toFree) {
            if (slot == nullptr) {
                slot = score;
                return;
            }
        }
    }
}

void FreeLater(Instance& self, const Score* score) {
    for (const Score*& slot : self.toFree) {
        if (slot == nullptr) {
            slot = score;
            return;
        }
    }
}

void HandlePatch(Instance& self, const LV2_Atom_Object* object) {
    const Uris& uris = self.uris;
    if (object->body.otype == uris.patchGet) {
        self.notifySong = true;
        return;
    }
    const LV2_Atom* property = nullptr;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(object, uris.patchProperty, &property, uris.patchValue, &value, 0);
    if (property == nullptr || property->type != uris.atomUrid ||
        reinterpret_cast<const LV2_Atom_URID*>(property)->body != uris.song || value == nullptr ||
        value->type != uris.atomPath || value->size == 0 || value->size > MaxPathBytes) {
        return;
    }
    Job job;
    job.kind = JobKind::Load;
    job.controls = self.wanted;
    job.pathSize = value->size;
    const char* path = static_cast<const char*>(LV2_ATOM_BODY_CONST(value));
    if (path[value->size - 1] != '\0') {
        return;
    }
    Schedule(self, job, path);
    self.requested = self.wanted;
    self.inFlight = true;
}

HostTime TimeOf(const Uris& uris, const LV2_Atom_Object* object) {
    const LV2_Atom *bar = nullptr, *barBeat = nullptr, *beat = nullptr, *beatUnit = nullptr,
                   *beatsPerBar = nullptr, *bpm = nullptr, *speed = nullptr, *frame = nullptr;
    lv2_atom_object_get(object, uris.timeBar, &bar, uris.timeBarBeat, &barBeat, uris.timeBeat,
                        &beat, uris.timeBeatUnit, &beatUnit, uris.timeBeatsPerBar, &beatsPerBar,
                        uris.timeBpm, &bpm, uris.timeSpeed, &speed, uris.timeFrame, &frame, 0);
    HostTime time;
    time.hasBar = bar != nullptr;
    time.bar = static_cast<std::int64_t>(NumberOf(uris, bar, 0));
    time.hasBarBeat = barBeat != nullptr;
    time.barBeat = NumberOf(uris, barBeat, 0);
    time.hasBeat = beat != nullptr;
    time.beat = NumberOf(uris, beat, 0);
    time.beatUnit = NumberOf(uris, beatUnit, 0);
    time.beatsPerBar = NumberOf(uris, beatsPerBar, 0);
    time.bpm = NumberOf(uris, bpm, 0);
    time.hasSpeed = speed != nullptr;
    time.speed = NumberOf(uris, speed, 0);
    time.hasFrame = frame != nullptr;
    time.frame = static_cast<std::int64_t>(NumberOf(uris, frame, 0));
    return time;
}

void NotifySong(Instance& self) {
    const Score* score =
        self.player.Pending() != nullptr ? self.player.Pending() : self.player.Active();
    auto* notify = static_cast<LV2_Atom_Sequence*>(self.ports[NotifyOut]);
    if (score == nullptr || score->songPath.empty() || notify == nullptr) {
        return;
    }
    LV2_Atom_Forge& forge = self.forge;
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(notify), self.notifyCapacity);
    LV2_Atom_Forge_Frame sequence;
    lv2_atom_forge_sequence_head(&forge, &sequence, 0);
    lv2_atom_forge_frame_time(&forge, 0);
    LV2_Atom_Forge_Frame object;
    lv2_atom_forge_object(&forge, &object, 0, self.uris.patchSet);
    lv2_atom_forge_key(&forge, self.uris.patchProperty);
    lv2_atom_forge_urid(&forge, self.uris.song);
    lv2_atom_forge_key(&forge, self.uris.patchValue);
    lv2_atom_forge_path(&forge, score->songPath.c_str(),
                        static_cast<std::uint32_t>(score->songPath.size() + 1));
    lv2_atom_forge_pop(&forge, &object);
    lv2_atom_forge_pop(&forge, &sequence);
    self.notifySong = false;
}

void ClearNotify(Instance& self) {
    auto* notify = static_cast<LV2_Atom_Sequence*>(self.ports[NotifyOut]);
    if (notify == nullptr) {
        return;
    }
    // The host leaves the buffer's capacity in its size.
    self.notifyCapacity = notify->atom.size;
    LV2_Atom_Forge& forge = self.forge;
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(notify), self.notifyCapacity);
    LV2_Atom_Forge_Frame sequence;
    lv2_atom_forge_sequence_head(&forge, &sequence, 0);
    lv2_atom_forge_pop(&forge, &sequence);
}

// ---- LV2 entry points ----

LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char* bundle,
                       const LV2_Feature* const* features) {
    const LV2_URID_Map* map = nullptr;
    const LV2_Worker_Schedule* schedule = nullptr;
    const LV2_Log_Log* log = nullptr;
    for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
        const char* uri = features[i]->URI;
        if (std::strcmp(uri, LV2_URID__map) == 0) {
            map = static_cast<const LV2_URID_Map*>(features[i]->data);
        } else if (std::strcmp(uri, LV2_WORKER__schedule) == 0) {
            schedule = static_cast<const LV2_Worker_Schedule*>(features[i]->data);
        } else if (std::strcmp(uri, LV2_LOG__log) == 0) {
            log = static_cast<const LV2_Log_Log*>(features[i]->data);
        }
    }
    if (map == nullptr || schedule == nullptr) {
        return nullptr;
    }
    try {
        return new Instance(map, schedule, log, rate, bundle != nullptr ? bundle : ".");
    } catch (const std::exception&) {
        return nullptr;
    }
}

void ConnectPort(LV2_Handle handle, std::uint32_t port, void* data) {
    if (port < PortCount) {
        static_cast<Instance*>(handle)->ports[port] = data;
    }
}

void Activate(LV2_Handle handle) {
    static_cast<Instance*>(handle)->player.Activate();
}

void Run(LV2_Handle handle, std::uint32_t frames) {
    Instance& self = *static_cast<Instance*>(handle);
    const Uris& uris = self.uris;
    for (const Score*& score : self.toFree) {
        const Score* waiting = score;
        score = nullptr;
        Free(self, waiting);
    }

    self.wanted = ReadControls(self);
    if (self.haveSong && !self.inFlight && !(self.wanted == self.requested)) {
        Job job;
        job.kind = JobKind::Render;
        job.controls = self.wanted;
        Schedule(self, job);
        self.requested = self.wanted;
        self.inFlight = true;
    }

    ClearNotify(self);
    auto* out = static_cast<LV2_Atom_Sequence*>(self.ports[MidiOut]);
    if (out == nullptr) {
        return;
    }
    LV2_Atom_Forge& forge = self.forge;
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(out), out->atom.size);
    LV2_Atom_Forge_Frame sequence;
    lv2_atom_forge_sequence_head(&forge, &sequence, 0);
    AtomSink sink(forge, uris.midiEvent);

    std::uint32_t done = 0;
    auto playTo = [&](std::uint32_t frame) {
        frame = std::min(std::max(frame, done), frames);
        self.player.Play(done, frame, sink);
        done = frame;
        for (const Score* score = self.player.TakeRetired(); score != nullptr;
             score = self.player.TakeRetired()) {
            Free(self, score);
        }
    };
    if (const auto* in = static_cast<const LV2_Atom_Sequence*>(self.ports[ControlIn])) {
        LV2_ATOM_SEQUENCE_FOREACH(in, event) {
            if (event->body.type != uris.atomObject && event->body.type != uris.atomBlank) {
                continue;
            }
            playTo(static_cast<std::uint32_t>(std::max<std::int64_t>(event->time.frames, 0)));
            const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
            if (object->body.otype == uris.timePosition) {
                self.player.Position(TimeOf(uris, object), std::min(done, frames ? frames - 1 : 0),
                                     sink);
            } else {
                HandlePatch(self, object);
            }
        }
    }
    playTo(frames);
    lv2_atom_forge_pop(&forge, &sequence);
    if (self.notifySong) {
        // After the MIDI: the notify port's forge reuses the same state.
        NotifySong(self);
    }
}

void Cleanup(LV2_Handle handle) {
    delete static_cast<Instance*>(handle);
}

// ---- Worker ----

void Say(Instance& self, const std::vector<std::string>& messages) {
    for (const std::string& message : messages) {
        lv2_log_note(&self.logger, "sorvelin: %s\n", message.c_str());
    }
}

LV2_Worker_Status Work(LV2_Handle handle, LV2_Worker_Respond_Function respond,
                       LV2_Worker_Respond_Handle respondHandle, std::uint32_t size,
                       const void* data) {
    Instance& self = *static_cast<Instance*>(handle);
    if (size < sizeof(Job)) {
        return LV2_WORKER_ERR_UNKNOWN;
    }
    Job job;
    std::memcpy(&job, data, sizeof job);
    if (job.kind == JobKind::Free) {
        delete job.score;
        return LV2_WORKER_SUCCESS;
    }
    Reply reply;
    std::vector<std::string> messages;
    {
        const std::lock_guard lock(self.makerMutex);
        bool ready = self.maker.HasSong();
        if (job.kind == JobKind::Load && size >= sizeof job + job.pathSize && job.pathSize > 0) {
            const std::string path(static_cast<const char*>(data) + sizeof job, job.pathSize - 1);
            ready = self.maker.Load(path, messages);
        }
        if (ready) {
            reply.score = self.maker.Render(job.controls, messages).release();
        }
    }
    Say(self, messages);
    if (respond(respondHandle, sizeof reply, &reply) != LV2_WORKER_SUCCESS) {
        delete reply.score;
    }
    return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status WorkResponse(LV2_Handle handle, std::uint32_t size, const void* data) {
    Instance& self = *static_cast<Instance*>(handle);
    if (size < sizeof(Reply)) {
        return LV2_WORKER_ERR_UNKNOWN;
    }
    Reply reply;
    std::memcpy(&reply, data, sizeof reply);
    self.inFlight = false;
    if (reply.score != nullptr) {
        self.haveSong = true;
        self.notifySong = true;
        FreeLater(self, self.player.Offer(reply.score));
    }
    return LV2_WORKER_SUCCESS;
}

// ---- State ----

LV2_State_Status Save(LV2_Handle handle, LV2_State_Store_Function store,
                      LV2_State_Handle stateHandle, std::uint32_t,
                      const LV2_Feature* const* features) {
    Instance& self = *static_cast<Instance*>(handle);
    std::string text;
    std::string file;
    {
        const std::lock_guard lock(self.makerMutex);
        if (!self.maker.HasSong()) {
            return LV2_STATE_SUCCESS;
        }
        text = self.maker.Text();
        file = self.maker.File().string();
    }
    const std::uint32_t flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    store(stateHandle, self.uris.songText, text.c_str(), text.size() + 1, self.uris.atomString,
          flags);
    const LV2_State_Map_Path* mapPath = nullptr;
    for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
        if (std::strcmp(features[i]->URI, LV2_STATE__mapPath) == 0) {
            mapPath = static_cast<const LV2_State_Map_Path*>(features[i]->data);
        }
    }
    if (!file.empty()) {
        char* abstract =
            mapPath != nullptr ? mapPath->abstract_path(mapPath->handle, file.c_str()) : nullptr;
        const std::string stored = abstract != nullptr ? abstract : file;
        std::free(abstract);
        store(stateHandle, self.uris.song, stored.c_str(), stored.size() + 1, self.uris.atomPath,
              flags);
    }
    return LV2_STATE_SUCCESS;
}

LV2_State_Status Restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle stateHandle, std::uint32_t,
                         const LV2_Feature* const* features) {
    Instance& self = *static_cast<Instance*>(handle);
    std::size_t size = 0;
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    const auto* text =
        static_cast<const char*>(retrieve(stateHandle, self.uris.songText, &size, &type, &flags));
    if (text == nullptr || type != self.uris.atomString || size == 0) {
        return LV2_STATE_SUCCESS;
    }
    const std::string songText(text, strnlen(text, size));
    std::string file;
    const auto* path =
        static_cast<const char*>(retrieve(stateHandle, self.uris.song, &size, &type, &flags));
    if (path != nullptr && type == self.uris.atomPath && size > 0) {
        file.assign(path, strnlen(path, size));
        const LV2_State_Map_Path* mapPath = nullptr;
        for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
            if (std::strcmp(features[i]->URI, LV2_STATE__mapPath) == 0) {
                mapPath = static_cast<const LV2_State_Map_Path*>(features[i]->data);
            }
        }
        if (char* absolute = mapPath != nullptr
                                 ? mapPath->absolute_path(mapPath->handle, file.c_str())
                                 : nullptr) {
            file = absolute;
            std::free(absolute);
        }
        // A host may keep a link to the file in its session folder: the
        // song's tables are beside the file itself.
        std::error_code error;
        const std::filesystem::path real = std::filesystem::canonical(file, error);
        if (!error) {
            file = real.string();
        }
    }
    std::vector<std::string> messages;
    Score* score = nullptr;
    try {
        const std::lock_guard lock(self.makerMutex);
        if (self.maker.Restore(songText, file, messages)) {
            score = self.maker.Render(self.wanted, messages).release();
        }
    } catch (const std::exception& error) {
        messages.push_back(error.what());
    }
    Say(self, messages);
    if (score == nullptr) {
        return LV2_STATE_ERR_UNKNOWN;
    }
    // Restoring never runs beside run(): the new song is handed over here.
    delete self.player.Offer(score);
    self.haveSong = true;
    self.requested = self.wanted;
    self.notifySong = true;
    return LV2_STATE_SUCCESS;
}

const void* ExtensionData(const char* uri) {
    static const LV2_Worker_Interface worker{Work, WorkResponse, nullptr};
    static const LV2_State_Interface state{Save, Restore};
    if (std::strcmp(uri, LV2_WORKER__interface) == 0) {
        return &worker;
    }
    if (std::strcmp(uri, LV2_STATE__interface) == 0) {
        return &state;
    }
    return nullptr;
}

const LV2_Descriptor Descriptor{SORVELIN_URI, Instantiate, ConnectPort, Activate,
                                Run,          nullptr,     Cleanup,     ExtensionData};

} // namespace
} // namespace sorvelin::plugin

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &sorvelin::plugin::Descriptor : nullptr;
}
