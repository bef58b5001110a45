#pragma once
// A small LV2 host for the plugin's tests: lilv loads the bundle from the
// build tree, a worker thread serves the Worker extension, and every block's
// MIDI out is kept with its frame from the start. Blocks can carry the
// host's time:Position and a patch:Set of the song, as a DAW sends them.
#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace sorvelin::testing {

// Allocations made on a thread while it counts (see PluginHostTest.cpp).
extern thread_local bool CountAllocations;
extern std::atomic<long> Allocations;

inline constexpr const char* PluginUri = "http://sorvelin.org/plugins/sorvelin";

struct Played {
    std::uint64_t frame = 0;
    std::vector<std::uint8_t> bytes;
};

// Messages between threads in a ring that is filled without allocating.
class ByteQueue {
public:
    bool Push(const void* data, std::uint32_t size) {
        const std::lock_guard lock(mutex_);
        if (used_ + 4 + size > ring_.size()) {
            return false;
        }
        Put(&size, 4);
        Put(data, size);
        return true;
    }
    bool Pop(std::vector<std::uint8_t>& out) {
        const std::lock_guard lock(mutex_);
        if (used_ == 0) {
            return false;
        }
        std::uint32_t size = 0;
        Get(&size, 4);
        out.resize(size);
        Get(out.data(), size);
        return true;
    }

private:
    void Put(const void* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i, ++used_) {
            ring_[(head_ + used_) % ring_.size()] = static_cast<const std::uint8_t*>(data)[i];
        }
    }
    void Get(void* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i, --used_, head_ = (head_ + 1) % ring_.size()) {
            static_cast<std::uint8_t*>(data)[i] = ring_[head_];
        }
    }
    std::mutex mutex_;
    std::array<std::uint8_t, 1 << 16> ring_{};
    std::size_t head_ = 0;
    std::size_t used_ = 0;
};

class PluginHost {
public:
    explicit PluginHost(const std::string& bundleParent, double rate = 48000) : rate_(rate) {
        setenv("LV2_PATH", (bundleParent + ":/usr/lib/lv2").c_str(), 1);
        world_ = lilv_world_new();
        lilv_world_load_all(world_);
        LilvNode* uri = lilv_new_uri(world_, PluginUri);
        plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri);
        lilv_node_free(uri);
        if (plugin_ == nullptr) {
            throw std::runtime_error("the plugin is not found under " + bundleParent);
        }
        map_ = {this, [](LV2_URID_Map_Handle h, const char* u) {
                    return static_cast<PluginHost*>(h)->Map(u);
                }};
        unmap_ = {this, [](LV2_URID_Unmap_Handle h, LV2_URID id) {
                      return static_cast<PluginHost*>(h)->Unmap(id);
                  }};
        schedule_ = {this, [](LV2_Worker_Schedule_Handle h, std::uint32_t size, const void* data) {
                         auto* host = static_cast<PluginHost*>(h);
                         host->Busy(+1);
                         if (!host->requests_.Push(data, size)) {
                             host->Busy(-1);
                             return LV2_WORKER_ERR_NO_SPACE;
                         }
                         host->wake_.notify_one();
                         return LV2_WORKER_SUCCESS;
                     }};
        const std::uint32_t ports = lilv_plugin_get_num_ports(plugin_);
        controls_.assign(ports, 0);
        std::vector<float> mins(ports), maxs(ports);
        lilv_plugin_get_port_ranges_float(plugin_, mins.data(), maxs.data(), controls_.data());
        Start();
    }
    ~PluginHost() {
        Stop();
        lilv_world_free(world_);
    }

    LV2_URID Map(const char* uri) {
        const std::lock_guard lock(mapMutex_);
        auto [at, added] = ids_.try_emplace(uri, static_cast<LV2_URID>(ids_.size() + 1));
        if (added) {
            uris_[at->second] = at->first;
        }
        return at->second;
    }
    const char* Unmap(LV2_URID id) {
        const std::lock_guard lock(mapMutex_);
        auto at = uris_.find(id);
        return at == uris_.end() ? nullptr : at->second.c_str();
    }

    std::uint32_t PortIndex(const char* symbol) const {
        LilvNode* name = lilv_new_string(world_, symbol);
        const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin_, name);
        lilv_node_free(name);
        if (port == nullptr) {
            throw std::runtime_error(std::string("no port ") + symbol);
        }
        return lilv_port_get_index(plugin_, port);
    }
    void SetControl(const char* symbol, float value) { controls_[PortIndex(symbol)] = value; }

    // What the next block tells the plugin at its first frame.
    void SetSong(const std::string& path) { song_ = path; }
    void SetTime(double bpm, double speed, double beats) {
        time_ = true;
        bpm_ = bpm;
        speed_ = speed;
        beats_ = beats;
    }

    // One block of `frames`; the worker's answers reach the plugin before
    // the next one when `drain`.
    void Run(std::uint32_t frames, bool drain = true) {
        ForgeInput();
        auto* out = reinterpret_cast<LV2_Atom_Sequence*>(midi_.data());
        out->atom = {static_cast<std::uint32_t>(midi_.size() - sizeof(LV2_Atom)),
                     Map(LV2_ATOM__Chunk)};
        auto* notify = reinterpret_cast<LV2_Atom_Sequence*>(notify_.data());
        notify->atom = {static_cast<std::uint32_t>(notify_.size() - sizeof(LV2_Atom)),
                        Map(LV2_ATOM__Chunk)};
        timespec before{}, after{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
        CountAllocations = true;
        lilv_instance_run(instance_, frames);
        CountAllocations = false;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
        lastRunSeconds = static_cast<double>(after.tv_sec - before.tv_sec) +
                         static_cast<double>(after.tv_nsec - before.tv_nsec) * 1e-9;
        const LV2_URID midiEvent = Map(LV2_MIDI__MidiEvent);
        LV2_ATOM_SEQUENCE_FOREACH(out, event) {
            if (event->body.type == midiEvent) {
                const auto* bytes =
                    static_cast<const std::uint8_t*>(LV2_ATOM_BODY_CONST(&event->body));
                played.push_back({now + static_cast<std::uint64_t>(event->time.frames),
                                  {bytes, bytes + event->body.size}});
            }
        }
        now += frames;
        if (drain) {
            Drain();
        }
    }
    // Waits until the worker has done all it was asked, then hands its
    // answers to the plugin as the audio thread would.
    void Drain() {
        std::unique_lock lock(idleMutex_);
        idle_.wait(lock, [this] { return busy_ == 0; });
        lock.unlock();
        const auto* worker = static_cast<const LV2_Worker_Interface*>(
            lilv_instance_get_extension_data(instance_, LV2_WORKER__interface));
        std::array<std::uint8_t, 256> reply{};
        while (responses_.Pop(answer_)) {
            std::memcpy(reply.data(), answer_.data(), std::min(answer_.size(), reply.size()));
            CountAllocations = true;
            worker->work_response(lilv_instance_get_handle(instance_),
                                  static_cast<std::uint32_t>(answer_.size()), reply.data());
            CountAllocations = false;
        }
    }

    // The session's state as Turtle, and a new instance made from it.
    // With `intoDir`, also saved there as a session folder (manifest.ttl
    // and state.ttl) that jalv -l loads.
    std::string SaveState(const std::string& dir, bool intoDir = false) {
        LilvState* state = lilv_state_new_from_instance(
            plugin_, instance_, &map_, nullptr, dir.c_str(), dir.c_str(), dir.c_str(), PortValue,
            this, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr);
        char* text =
            lilv_state_to_string(world_, &map_, &unmap_, state, "urn:sorvelin:test", nullptr);
        std::string turtle = text;
        lilv_free(text);
        if (intoDir) {
            lilv_state_save(world_, &map_, &unmap_, state, nullptr, dir.c_str(), "state.ttl");
        }
        lilv_state_free(state);
        return turtle;
    }
    void Restart(const std::string& turtle) {
        Stop();
        played.clear();
        now = 0;
        Start();
        LilvState* state = lilv_state_new_from_string(world_, &map_, turtle.c_str());
        lilv_state_restore(state, instance_, nullptr, nullptr, 0, Features());
        lilv_state_free(state);
    }

    std::vector<Played> played;
    std::uint64_t now = 0;
    double lastRunSeconds = 0; // the last run()'s time on this thread's clock

private:
    static const void* PortValue(const char* symbol, void* self, std::uint32_t* size,
                                 std::uint32_t* type) {
        auto* host = static_cast<PluginHost*>(self);
        *size = sizeof(float);
        *type = host->Map(LV2_ATOM__Float);
        return &host->controls_[host->PortIndex(symbol)];
    }
    void Busy(int change) {
        const std::lock_guard lock(idleMutex_);
        busy_ += change;
        idle_.notify_all();
    }

    const LV2_Feature* const* Features() {
        features_ = {LV2_Feature{LV2_URID__map, &map_}, LV2_Feature{LV2_URID__unmap, &unmap_},
                     LV2_Feature{LV2_WORKER__schedule, &schedule_}};
        featureList_ = {&features_[0], &features_[1], &features_[2], nullptr};
        return featureList_.data();
    }

    void Start() {
        instance_ = lilv_plugin_instantiate(plugin_, rate_, Features());
        if (instance_ == nullptr) {
            throw std::runtime_error("the plugin did not instantiate");
        }
        stop_ = false;
        worker_ = std::thread([this] { Work(); });
        for (std::uint32_t i = 0; i < controls_.size(); ++i) {
            lilv_instance_connect_port(instance_, i, &controls_[i]);
        }
        lilv_instance_connect_port(instance_, PortIndex("control"), input_.data());
        lilv_instance_connect_port(instance_, PortIndex("notify"), notify_.data());
        lilv_instance_connect_port(instance_, PortIndex("midi_out"), midi_.data());
        lilv_instance_activate(instance_);
    }
    void Stop() {
        Drain();
        lilv_instance_deactivate(instance_);
        {
            const std::lock_guard lock(idleMutex_);
            stop_ = true;
        }
        wake_.notify_one();
        worker_.join();
        lilv_instance_free(instance_);
    }

    void Work() {
        const auto* worker = static_cast<const LV2_Worker_Interface*>(
            lilv_instance_get_extension_data(instance_, LV2_WORKER__interface));
        std::vector<std::uint8_t> job;
        for (;;) {
            {
                std::unique_lock lock(idleMutex_);
                wake_.wait(lock, [&] { return stop_ || busy_ > 0; });
                if (stop_ && busy_ == 0) {
                    return;
                }
            }
            while (requests_.Pop(job)) {
                worker->work(
                    lilv_instance_get_handle(instance_),
                    [](LV2_Worker_Respond_Handle h, std::uint32_t size, const void* data) {
                        return static_cast<PluginHost*>(h)->responses_.Push(data, size)
                                   ? LV2_WORKER_SUCCESS
                                   : LV2_WORKER_ERR_NO_SPACE;
                    },
                    this, static_cast<std::uint32_t>(job.size()), job.data());
                Busy(-1);
            }
        }
    }

    void ForgeInput() {
        LV2_Atom_Forge forge;
        lv2_atom_forge_init(&forge, &map_);
        lv2_atom_forge_set_buffer(&forge, input_.data(), input_.size());
        LV2_Atom_Forge_Frame sequence;
        lv2_atom_forge_sequence_head(&forge, &sequence, 0);
        if (time_) {
            const double bar = static_cast<double>(static_cast<std::int64_t>(beats_ / 4));
            LV2_Atom_Forge_Frame object;
            lv2_atom_forge_frame_time(&forge, 0);
            lv2_atom_forge_object(&forge, &object, 0, Map(LV2_TIME__Position));
            lv2_atom_forge_key(&forge, Map(LV2_TIME__frame));
            lv2_atom_forge_long(&forge, static_cast<std::int64_t>(now));
            lv2_atom_forge_key(&forge, Map(LV2_TIME__speed));
            lv2_atom_forge_float(&forge, static_cast<float>(speed_));
            lv2_atom_forge_key(&forge, Map(LV2_TIME__bar));
            lv2_atom_forge_long(&forge, static_cast<std::int64_t>(bar));
            lv2_atom_forge_key(&forge, Map(LV2_TIME__barBeat));
            lv2_atom_forge_float(&forge, static_cast<float>(beats_ - 4 * bar));
            lv2_atom_forge_key(&forge, Map(LV2_TIME__beatUnit));
            lv2_atom_forge_int(&forge, 4);
            lv2_atom_forge_key(&forge, Map(LV2_TIME__beatsPerBar));
            lv2_atom_forge_float(&forge, 4);
            lv2_atom_forge_key(&forge, Map(LV2_TIME__beatsPerMinute));
            lv2_atom_forge_float(&forge, static_cast<float>(bpm_));
            lv2_atom_forge_pop(&forge, &object);
            time_ = false;
        }
        if (!song_.empty()) {
            LV2_Atom_Forge_Frame object;
            lv2_atom_forge_frame_time(&forge, 0);
            lv2_atom_forge_object(&forge, &object, 0, Map(LV2_PATCH__Set));
            lv2_atom_forge_key(&forge, Map(LV2_PATCH__property));
            lv2_atom_forge_urid(&forge, Map((std::string(PluginUri) + "#song").c_str()));
            lv2_atom_forge_key(&forge, Map(LV2_PATCH__value));
            lv2_atom_forge_path(&forge, song_.c_str(),
                                static_cast<std::uint32_t>(song_.size() + 1));
            lv2_atom_forge_pop(&forge, &object);
            song_.clear();
        }
        lv2_atom_forge_pop(&forge, &sequence);
    }

    double rate_;
    LilvWorld* world_ = nullptr;
    const LilvPlugin* plugin_ = nullptr;
    LilvInstance* instance_ = nullptr;
    std::mutex mapMutex_;
    std::map<std::string, LV2_URID> ids_;
    std::map<LV2_URID, std::string> uris_;
    LV2_URID_Map map_{};
    LV2_URID_Unmap unmap_{};
    LV2_Worker_Schedule schedule_{};
    std::array<LV2_Feature, 3> features_{};
    std::array<const LV2_Feature*, 4> featureList_{};
    std::vector<float> controls_;
    alignas(8) std::array<std::uint8_t, 4096> input_{};
    alignas(8) std::array<std::uint8_t, 4096> notify_{};
    alignas(8) std::array<std::uint8_t, 1 << 16> midi_{};
    std::string song_;
    bool time_ = false;
    double bpm_ = 120, speed_ = 1, beats_ = 0;

    ByteQueue requests_;
    ByteQueue responses_;
    std::vector<std::uint8_t> answer_;
    std::thread worker_;
    std::mutex idleMutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    int busy_ = 0; // jobs asked for and not yet done (under idleMutex_)
    bool stop_ = false;
};

} // namespace sorvelin::testing
