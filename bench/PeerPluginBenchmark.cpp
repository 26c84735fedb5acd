// Brightfall's LV2 bundle against the convolution reverbs Linux users run, as
// a user compares them: plug-ins in a host. A small lilv host loads, at
// 48 kHz and the same 128000-sample stereo response, our bundle (Sustain
// 100), LSP Impulse Reverb Stereo (its file through a patch:Set on its UI
// port) and x42's zero-latency convolver (zeroconvolv#CfgStereo, buffered
// off, its file through a restored state). Before any figure counts, every
// instance must show its response loaded: an impulse through it rings for
// about 128000 samples.
// Then, per round, block size and kind, N instances run paced to real time
// (each block waits for its deadline, as an audio interface would make it),
// and the process's CPU time over the segment, which holds the plug-ins' own
// threads too, is divided by N and by the audio time: the per-instance share
// of one core. Rounds interleave the kinds and rotate their order; the
// summary gives medians over rounds and the lowest and highest ratio.
// The host thread's own time outside the plug-ins' calls (waking from each
// sleep costs tens of microseconds in a virtual machine) is left out of
// every figure, measured in the same segment; the host alone is shown.
// Each measurement is made with music (noise) and again with silence (the
// kinds --inputs names): before the silent one every instance hears 3.5 s of
// zeros back to back, so that every tail has died away, as on a track
// between takes.
// With --unpaced, every kind runs twice more: its blocks back to back,
// caches warm, and paced by spinning rather than sleeping, the core kept
// busy between blocks: what a plug-in loses to the sleep between blocks.
//   peer_bench [--bundle DIR] [--rounds R] [--seconds S] [--blocks 64,128,...]
//              [--instances 1,16] [--kinds brightfall,lsp,x42] [--unpaced]
//              [--inputs music,silence]
// Never part of `make test`: the peers are installed by `make bench` only.
#include <fcntl.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>
#include <sched.h>
#include <sndfile.h>
#include <time.h>
#include <unistd.h>
#include <x86intrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchPacing.h"

namespace {

using bench::median;
using bench::parseList;
using bench::Pace;

constexpr double kRate = 48000.0;
constexpr std::size_t kResponseLength = 128000;
constexpr std::uint32_t kMaxBlock = 4096;
constexpr std::size_t kAtomCapacity = 1 << 18;  // LSP asks for 222720 bytes out

// --- The host's URID map, features and options --------------------------------

class UridMap {
  public:
    LV2_URID map(const char* uri) {
        auto it = ids.find(uri);
        if (it != ids.end())
            return it->second;
        uris.emplace_back(uri);
        const LV2_URID id = static_cast<LV2_URID>(uris.size());
        ids.emplace(uris.back(), id);
        return id;
    }
    const char* unmap(LV2_URID id) const {
        return id >= 1 && id <= uris.size() ? uris[id - 1].c_str() : nullptr;
    }
    LV2_URID_Map mapFeature{this, [](LV2_URID_Map_Handle h, const char* uri) {
                                return static_cast<UridMap*>(h)->map(uri);
                            }};
    LV2_URID_Unmap unmapFeature{this, [](LV2_URID_Unmap_Handle h, LV2_URID id) {
                                    return static_cast<UridMap*>(h)->unmap(id);
                                }};

  private:
    std::map<std::string, LV2_URID> ids;
    std::vector<std::string> uris;
};

UridMap gUrids;

LV2_URID U(const char* uri) { return gUrids.map(uri); }

// --- One plug-in instance and its ports --------------------------------------

// Work a plug-in schedules runs on the host thread between run calls, and its
// responses go back before the next one: nothing is scheduled while figures
// are taken, only while a response loads.
class Instance {
  public:
    Instance(const LilvPlugin* plugin, std::uint32_t block) : plugin(plugin) {
        opts[0] = {LV2_OPTIONS_INSTANCE, 0, U(LV2_BUF_SIZE__maxBlockLength), sizeof(std::int32_t),
                   U(LV2_ATOM__Int), &maxBlock};
        opts[1] = {LV2_OPTIONS_INSTANCE, 0, U(LV2_BUF_SIZE__minBlockLength), sizeof(std::int32_t),
                   U(LV2_ATOM__Int), &minBlock};
        opts[2] = {LV2_OPTIONS_INSTANCE, 0, U(LV2_BUF_SIZE__nominalBlockLength),
                   sizeof(std::int32_t), U(LV2_ATOM__Int), &nominalBlock};
        opts[3] = {LV2_OPTIONS_INSTANCE, 0, U(LV2_PARAMETERS__sampleRate), sizeof(float),
                   U(LV2_ATOM__Float), &rate};
        opts[4] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
        nominalBlock = static_cast<std::int32_t>(block);
        schedule = {this, &Instance::scheduleWork};
        features[0] = {LV2_URID__map, &gUrids.mapFeature};
        features[1] = {LV2_URID__unmap, &gUrids.unmapFeature};
        features[2] = {LV2_OPTIONS__options, opts};
        features[3] = {LV2_BUF_SIZE__boundedBlockLength, nullptr};
        features[4] = {LV2_WORKER__schedule, &schedule};
        features[5] = {LV2_CORE__hardRTCapable, nullptr};
        for (int i = 0; i < 6; ++i)
            featureList[i] = &features[i];
        featureList[6] = nullptr;

        instance = lilv_plugin_instantiate(plugin, kRate, featureList);
        if (!instance)
            return;
        worker = static_cast<const LV2_Worker_Interface*>(
            lilv_instance_get_extension_data(instance, LV2_WORKER__interface));
        connectPorts();
    }
    ~Instance() {
        if (instance) {
            lilv_instance_deactivate(instance);
            lilv_instance_free(instance);
        }
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    bool ok() const { return instance != nullptr; }
    LilvInstance* lilv() const { return instance; }

    // Sets a control input by symbol; false when the plug-in has none.
    bool setControl(const char* symbol, float value) {
        for (Port& p : ports)
            if (p.control && p.input && p.symbol == symbol) {
                p.value = value;
                return true;
            }
        return false;
    }
    float control(const char* symbol) const {
        for (const Port& p : ports)
            if (p.control && p.symbol == symbol)
                return p.value;
        return NAN;
    }

    // A patch:Set of a path, delivered with the next run.
    void sendPathSet(LV2_URID property, const std::string& path) {
        LV2_Atom_Forge forge;
        lv2_atom_forge_init(&forge, &gUrids.mapFeature);
        for (Port& p : ports) {
            if (!p.atom || !p.input)
                continue;
            lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(p.atomBuffer.data()),
                                      kAtomCapacity);
            LV2_Atom_Forge_Frame seq, obj;
            lv2_atom_forge_sequence_head(&forge, &seq, 0);
            lv2_atom_forge_frame_time(&forge, 0);
            lv2_atom_forge_object(&forge, &obj, 0, U(LV2_PATCH__Set));
            lv2_atom_forge_key(&forge, U(LV2_PATCH__property));
            lv2_atom_forge_urid(&forge, property);
            lv2_atom_forge_key(&forge, U(LV2_PATCH__value));
            lv2_atom_forge_path(&forge, path.c_str(), static_cast<std::uint32_t>(path.size()));
            lv2_atom_forge_pop(&forge, &obj);
            lv2_atom_forge_pop(&forge, &seq);
            p.pendingEvents = true;
        }
    }

    // State restore with a single path property, as a session would load it.
    bool restorePath(LV2_URID key, const std::string& path) {
        const auto* state = static_cast<const LV2_State_Interface*>(
            lilv_instance_get_extension_data(instance, LV2_STATE__interface));
        if (!state || !state->restore)
            return false;
        restoreKey = key;
        restoreValue = path;
        LV2_State_Map_Path mapPath{this, [](LV2_State_Map_Path_Handle, const char* p) {
                                       return strdup(p);
                                   },
                                   [](LV2_State_Map_Path_Handle, const char* p) {
                                       return strdup(p);
                                   }};
        LV2_State_Free_Path freePath{this, [](LV2_State_Free_Path_Handle, char* p) { free(p); }};
        LV2_Feature mp{LV2_STATE__mapPath, &mapPath};
        LV2_Feature fp{LV2_STATE__freePath, &freePath};
        LV2_Feature worker{LV2_WORKER__schedule, &schedule};
        const LV2_Feature* list[] = {&mp, &fp, &worker, &features[0], nullptr};
        return state->restore(lilv_instance_get_handle(instance), &Instance::retrieve, this,
                              LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE,
                              list) == LV2_STATE_SUCCESS;
    }

    void activate() { lilv_instance_activate(instance); }

    // One block: inputs and outputs connected anew, as a host whose buffers
    // move does, then run, then any scheduled work and its responses.
    void run(const float* inL, const float* inR, float* outL, float* outR, std::uint32_t frames) {
        int audioIn = 0, audioOut = 0;
        for (Port& p : ports) {
            if (p.audio) {
                void* buf = p.input ? const_cast<float*>(audioIn++ == 0 ? inL : inR)
                                    : (audioOut++ == 0 ? outL : outR);
                lilv_instance_connect_port(instance, p.index, buf);
            } else if (p.atom) {
                auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(p.atomBuffer.data());
                if (!p.input) {
                    seq->atom.size = kAtomCapacity - sizeof(LV2_Atom);
                    seq->atom.type = U(LV2_ATOM__Chunk);
                } else if (!p.pendingEvents) {
                    seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
                    seq->atom.type = U(LV2_ATOM__Sequence);
                    seq->body.unit = 0;
                    seq->body.pad = 0;
                }
            }
        }
        lilv_instance_run(instance, frames);
        for (Port& p : ports)
            p.pendingEvents = false;
        serviceWorker();
    }

    bool hasWork() const { return !requests.empty() || !responses.empty(); }

  private:
    struct Port {
        std::uint32_t index = 0;
        std::string symbol;
        bool input = false, audio = false, control = false, atom = false;
        float value = 0.0f;
        std::vector<std::uint64_t> atomBuffer;
        bool pendingEvents = false;
    };

    void connectPorts() {
        const std::uint32_t n = lilv_plugin_get_num_ports(plugin);
        std::vector<float> mins(n), maxs(n), defs(n);
        lilv_plugin_get_port_ranges_float(plugin, mins.data(), maxs.data(), defs.data());
        ports.resize(n);
        for (std::uint32_t i = 0; i < n; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            Port& p = ports[i];
            p.index = i;
            p.symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
            p.input = lilv_port_is_a(plugin, port, nodes().input);
            p.audio = lilv_port_is_a(plugin, port, nodes().audio);
            p.control = lilv_port_is_a(plugin, port, nodes().control);
            p.atom = lilv_port_is_a(plugin, port, nodes().atom);
            if (p.control) {
                p.value = std::isnan(defs[i]) ? 0.0f : defs[i];
                lilv_instance_connect_port(instance, i, &p.value);
            } else if (p.atom) {
                p.atomBuffer.assign(kAtomCapacity / sizeof(std::uint64_t) + 8, 0);
                lilv_instance_connect_port(instance, i, p.atomBuffer.data());
            } else if (!p.audio) {
                lilv_instance_connect_port(instance, i, nullptr);
            }
        }
    }

    void serviceWorker() {
        if (!worker)
            return;
        while (!requests.empty()) {
            std::vector<std::vector<std::uint8_t>> batch;
            batch.swap(requests);
            for (auto& r : batch)
                worker->work(lilv_instance_get_handle(instance), &Instance::respond, this,
                             static_cast<std::uint32_t>(r.size()), r.data());
        }
        std::vector<std::vector<std::uint8_t>> done;
        done.swap(responses);
        for (auto& r : done)
            if (worker->work_response)
                worker->work_response(lilv_instance_get_handle(instance),
                                      static_cast<std::uint32_t>(r.size()), r.data());
        if (worker->end_run)
            worker->end_run(lilv_instance_get_handle(instance));
    }

    // A copy of a request or a response, queued for serviceWorker.
    static LV2_Worker_Status queue(std::vector<std::vector<std::uint8_t>>& to, std::uint32_t size,
                                   const void* data) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        to.emplace_back(bytes, bytes + size);
        return LV2_WORKER_SUCCESS;
    }
    static LV2_Worker_Status scheduleWork(LV2_Worker_Schedule_Handle h, std::uint32_t size,
                                          const void* data) {
        return queue(static_cast<Instance*>(h)->requests, size, data);
    }
    static LV2_Worker_Status respond(LV2_Worker_Respond_Handle h, std::uint32_t size,
                                     const void* data) {
        return queue(static_cast<Instance*>(h)->responses, size, data);
    }
    static const void* retrieve(LV2_State_Handle h, std::uint32_t key, std::size_t* size,
                                std::uint32_t* type, std::uint32_t* flags) {
        auto* self = static_cast<Instance*>(h);
        if (key != self->restoreKey)
            return nullptr;
        *size = self->restoreValue.size() + 1;
        *type = U(LV2_ATOM__Path);
        *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
        return self->restoreValue.c_str();
    }

  public:
    struct Nodes {
        LilvNode* input = nullptr;
        LilvNode* audio = nullptr;
        LilvNode* control = nullptr;
        LilvNode* atom = nullptr;
    };
    static Nodes& nodes() {
        static Nodes n;
        return n;
    }

  private:
    const LilvPlugin* plugin;
    LilvInstance* instance = nullptr;
    const LV2_Worker_Interface* worker = nullptr;
    std::vector<Port> ports;
    std::int32_t maxBlock = kMaxBlock, minBlock = 1, nominalBlock = 64;
    float rate = static_cast<float>(kRate);
    LV2_Options_Option opts[5];
    LV2_Worker_Schedule schedule{};
    LV2_Feature features[6];
    const LV2_Feature* featureList[7];
    std::vector<std::vector<std::uint8_t>> requests, responses;
    LV2_URID restoreKey = 0;
    std::string restoreValue;
};

// --- The plug-ins compared ---------------------------------------------------

struct Kind {
    const char* name;   // on the command line and in the table
    const char* label;  // in the table's header
    const char* uri;
};

const Kind kKinds[] = {
    {"brightfall", "Brightfall", "urn:brightfall:reverb"},
    {"lsp", "LSP Impulse Reverb Stereo", "http://lsp-plug.in/plugins/lv2/impulse_reverb_stereo"},
    {"x42", "x42 zeroconvolv CfgStereo", "http://gareus.org/oss/lv2/zeroconvolv#CfgStereo"},
};

// The property URIs LSP's file parameter might answer to: the one its .ttl
// names, and the plug-in's own port URI, which is the one that works.
const char* const kLspFileProperties[] = {
    "http://lsp-plug.in/plugins/lv2/impulse_reverb_stereo/ports#ifn0",
    "http://lsp-plug.in/plugins/lv2/impulse_reverb_stereo/ifn0",
    "http://lsp-plug.in//ports#ifn0",
};

// Where the response rings out after an impulse: the last frame of either
// output above 1e-5, over 128000 samples and a margin. -1 when the
// instance stays silent. The benchmark's response ends 60 dB above that,
// ours (a half-circle envelope) about as high 1 % before its end, and a
// single-precision transform's rounding after the end stays below it.
// An impulse first heard more than a few frames late (ours starts from
// silence under its envelope, the others at once) is a plug-in with
// latency, which is not what is compared here: -1 then too.
long tailEnd(Instance& in, std::uint32_t block) {
    const std::size_t total = kResponseLength + 3 * kMaxBlock;
    std::vector<float> inL(block, 0.0f), inR(block, 0.0f), outL(block), outR(block);
    long last = -1;
    long first = -1;
    for (std::size_t at = 0; at < total; at += block) {
        inL[0] = inR[0] = at == 0 ? 1.0f : 0.0f;
        in.run(inL.data(), inR.data(), outL.data(), outR.data(), block);
        for (std::uint32_t i = 0; i < block; ++i)
            if (std::fabs(outL[i]) > 1e-5f || std::fabs(outR[i]) > 1e-5f) {
                last = static_cast<long>(at + i);
                if (first < 0)
                    first = last;
            }
    }
    return first >= 0 && first < 16 ? last : -1;
}

bool tailIsTheResponse(long end) {
    return end >= static_cast<long>(kResponseLength * 99 / 100) &&
           end < static_cast<long>(kResponseLength + kMaxBlock);
}

// Silence until pending work is done, a second of audio at most.
void settle(Instance& in, std::uint32_t block) {
    std::vector<float> zero(block, 0.0f), out(block), out2(block);
    for (std::size_t at = 0; at < 48000; at += block) {
        in.run(zero.data(), zero.data(), out.data(), out2.data(), block);
        if (at > 8 * kMaxBlock && !in.hasWork())
            break;
    }
}

// The tail's end once it is the response's, after up to `attempts` tries
// with pauses; otherwise -2 - the last end seen.
long waitLoaded(Instance& in, std::uint32_t block, int attempts) {
    long end = -1;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        end = tailEnd(in, block);
        if (tailIsTheResponse(end))
            return end;
        usleep(100000);
        settle(in, block);
    }
    return -2 - end;
}

// Standard output sent to /dev/null while it lives: x42's convolver prints
// its partition layout there on every load, which would bury the table.
class QuietStdout {
  public:
    QuietStdout() : saved(dup(STDOUT_FILENO)) {
        std::fflush(stdout);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            close(null);
        }
    }
    ~QuietStdout() {
        std::fflush(stdout);
        if (saved >= 0) {
            dup2(saved, STDOUT_FILENO);
            close(saved);
        }
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

  private:
    int saved;
};

// An instance of `kind` with the response loaded, checked; null with a
// message when it cannot be made.
std::unique_ptr<Instance> makeLoaded(const LilvPlugin* plugin, const Kind& kind,
                                     std::uint32_t block, const std::string& wav) {
    QuietStdout quiet;
    auto in = std::make_unique<Instance>(plugin, block);
    if (!in->ok()) {
        std::fprintf(stderr, "peer_bench: %s does not instantiate\n", kind.name);
        return nullptr;
    }
    const std::string name = kind.name;
    if (name == "brightfall") {
        in->setControl("sustain", 100.0f);
        in->setControl("wet_dry", 100.0f);
        in->activate();
    } else if (name == "lsp") {
        // One convolver per side: left input to left output through the
        // file's first track, right to right through its second, the other
        // two off; no dry signal.
        in->setControl("dry", 0.0f);
        in->setControl("wet", 1.0f);
        for (int c = 0; c < 4; ++c) {
            const std::string i = std::to_string(c);
            in->setControl(("csf" + i).c_str(), c == 0 || c == 3 ? 1.0f : 0.0f);
        }
        in->setControl("cst0", 0.0f);
        in->setControl("cim0", -100.0f);
        in->setControl("com0", -100.0f);
        in->setControl("cst3", 1.0f);
        in->setControl("cim3", 100.0f);
        in->setControl("com3", 100.0f);
        in->activate();
        // The file loads on LSP's own threads too: give each property a
        // few tries before the next.
        for (const char* property : kLspFileProperties) {
            in->sendPathSet(U(property), wav);
            settle(*in, block);
            if (waitLoaded(*in, block, 5) >= 0) {
                static bool told = false;
                if (!told)
                    std::fprintf(stderr, "peer_bench: LSP loads its file through %s\n", property);
                told = true;
                return in;
            }
        }
    } else if (name == "x42") {
        in->setControl("buffered", 0.0f);
        in->activate();
        if (!in->restorePath(U("http://gareus.org/oss/lv2/zeroconvolv#ir"), wav)) {
            std::fprintf(stderr, "peer_bench: x42 refuses the restored state\n");
            return nullptr;
        }
        settle(*in, block);
    }
    const long end = waitLoaded(*in, block, 20);
    if (end >= 0)
        return in;
    std::fprintf(stderr,
                 "peer_bench: %s at %u frames: the response is not loaded (an impulse rings "
                 "to frame %ld, not about %zu)\n",
                 kind.name, block, -end - 2, kResponseLength);
    return nullptr;
}

// --- Measurement -------------------------------------------------------------

double processCpu() {
    return bench::cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

double threadCpu() {
    return bench::cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
}

// One second of the input, looped: noise, or the zeros of silence.
struct Noise {
    std::vector<float> left, right;
    explicit Noise(bool silent = false) : left(48000), right(48000) {
        if (silent)
            return;
        std::uint32_t s = 12345;
        auto next = [&s] {
            s = s * 1664525u + 1013904223u;
            return static_cast<float>(s >> 8) / 16777216.0f - 0.5f;
        };
        for (std::size_t i = 0; i < left.size(); ++i) {
            left[i] = next();
            right[i] = next();
        }
    }
};

// CPU time per second of audio while the first `count` instances run
// `seconds` of audio in blocks of `block` (written into each instance's input
// buffers first), waiting for each block's deadline asleep or spinning, or
// back to back: the time the host thread spends inside
// the plug-ins' calls, plus the CPU time of every other thread of the
// process (the plug-ins' own). The calls are timed by the time-stamp counter,
// converted at the rate it keeps against CLOCK_MONOTONIC over the segment:
// this machine's clocks are system calls (no vDSO clock source), and reading
// a CPU-time clock around a call that lasts a microsecond would charge it
// the reads' own cost. With no instances, the process's whole time: the host
// alone.
double measure(std::vector<std::unique_ptr<Instance>>& set, std::size_t count,
               std::uint32_t block, double seconds, Pace pace, const Noise& noise) {
    const std::size_t blocks = static_cast<std::size_t>(seconds * kRate / block);
    // Each instance's own port buffers, as a host's tracks have: the host
    // writes a block's input into them before it runs the plug-ins.
    std::vector<std::vector<float>> ins(2 * count, std::vector<float>(block));
    std::vector<std::vector<float>> outs(2 * count, std::vector<float>(block));
    const long periodNs = static_cast<long>(1e9 * block / kRate);
    timespec due;
    clock_gettime(CLOCK_MONOTONIC, &due);
    const timespec wallStart = due;
    const std::uint64_t ticksStart = __rdtsc();
    const double start = processCpu();
    const double threadStart = threadCpu();
    std::uint64_t inCalls = 0;  // ticks the host thread spends inside the plug-ins' calls
    std::size_t at = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
        if (at + block > noise.left.size())
            at = 0;
        for (std::size_t i = 0; i < count; ++i) {
            std::copy(noise.left.begin() + at, noise.left.begin() + at + block, ins[2 * i].begin());
            std::copy(noise.right.begin() + at, noise.right.begin() + at + block,
                      ins[2 * i + 1].begin());
        }
        const std::uint64_t callsStart = __rdtsc();
        for (std::size_t i = 0; i < count; ++i)
            set[i]->run(ins[2 * i].data(), ins[2 * i + 1].data(), outs[2 * i].data(),
                        outs[2 * i + 1].data(), block);
        inCalls += __rdtsc() - callsStart;
        at += block;
        bench::waitForNext(due, periodNs, pace);
    }
    const double process = processCpu() - start;
    const double host = threadCpu() - threadStart;
    timespec wallEnd;
    clock_gettime(CLOCK_MONOTONIC, &wallEnd);
    const double wall = static_cast<double>(wallEnd.tv_sec - wallStart.tv_sec) +
                        1e-9 * static_cast<double>(wallEnd.tv_nsec - wallStart.tv_nsec);
    const double secondsPerTick = wall / static_cast<double>(__rdtsc() - ticksStart);
    const double audio = static_cast<double>(blocks) * block / kRate;
    if (count == 0)
        return process / audio;
    return (static_cast<double>(inCalls) * secondsPerTick + process - host) / audio;
}

// Runs `seconds` of `input` through the first `count` instances back to
// back, unmeasured: long enough for silence to have let every tail die away.
void settle(std::vector<std::unique_ptr<Instance>>& set, std::size_t count, std::uint32_t block,
            double seconds, const Noise& input) {
    measure(set, count, block, seconds, Pace::None, input);
}

// --- The response file -------------------------------------------------------

// 128000 frames of stereo noise decaying by 40 dB, never near silence, so
// that every peer keeps all of it.
bool writeResponse(const std::string& path) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(kRate);
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    std::vector<float> frames(2 * kResponseLength);
    std::uint32_t s = 777;
    for (std::size_t i = 0; i < kResponseLength; ++i) {
        const double envelope = 0.5 * std::pow(0.01, static_cast<double>(i) / kResponseLength);
        for (int c = 0; c < 2; ++c) {
            s = s * 1664525u + 1013904223u;
            const double u = static_cast<double>(s >> 8) / 16777216.0 - 0.5;
            frames[2 * i + c] = static_cast<float>(envelope * (u >= 0 ? 0.2 + u : -0.2 + u));
        }
    }
    const bool ok = sf_writef_float(f, frames.data(), kResponseLength) ==
                    static_cast<sf_count_t>(kResponseLength);
    return sf_close(f) == 0 && ok;
}

// A table cell: the round-by-round ratio top / bottom, its median [lowest-highest].
void printRatio(const std::vector<double>& top, const std::vector<double>& bottom, int digits) {
    std::vector<double> r;
    for (std::size_t i = 0; i < top.size() && i < bottom.size(); ++i)
        r.push_back(top[i] / bottom[i]);
    std::sort(r.begin(), r.end());
    if (r.empty())
        return;
    std::printf(" %.*f [%.*f-%.*f] |", digits, median(r), digits, r.front(), digits, r.back());
}

int usage() {
    std::fprintf(stderr,
                 "usage: peer_bench [--bundle DIR] [--rounds R] [--seconds S] [--blocks 64,128]\n"
                 "                  [--instances 1,16] [--kinds brightfall,lsp,x42] [--unpaced]\n"
                 "                  [--inputs music,silence]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string bundle = BRIGHTFALL_BENCH_LV2_BUNDLE;
    int rounds = 5;
    double seconds = 3.0;
    std::vector<std::uint32_t> blockSizes{64, 128, 512, 1024};
    std::vector<std::uint32_t> counts{1, 16};
    std::vector<std::string> kindNames{"brightfall", "lsp", "x42"};
    bool unpaced = false;
    std::vector<std::string> inputNames{"music", "silence"};
    auto names = [](const char* p) {
        std::vector<std::string> list;
        while (*p) {
            const char* comma = std::strchr(p, ',');
            list.emplace_back(p, comma ? comma - p : std::strlen(p));
            p = comma ? comma + 1 : p + std::strlen(p);
        }
        return list;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--bundle" && hasValue)
            bundle = argv[++i];
        else if (a == "--rounds" && hasValue)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (a == "--seconds" && hasValue)
            seconds = std::max(0.1, std::atof(argv[++i]));
        else if (a == "--blocks" && hasValue)
            blockSizes = parseList(argv[++i]);
        else if (a == "--instances" && hasValue)
            counts = parseList(argv[++i]);
        else if (a == "--kinds" && hasValue)
            kindNames = names(argv[++i]);
        else if (a == "--inputs" && hasValue)
            inputNames = names(argv[++i]);
        else if (a == "--unpaced")
            unpaced = true;
        else
            return usage();
    }
    for (std::uint32_t b : blockSizes)
        if (b == 0 || b > kMaxBlock) {
            std::fprintf(stderr, "peer_bench: blocks run from 1 to %u frames\n", kMaxBlock);
            return 2;
        }
    std::vector<const Kind*> kinds;
    for (const std::string& n : kindNames) {
        const Kind* k = nullptr;
        for (const Kind& c : kKinds)
            if (n == c.name)
                k = &c;
        if (!k) {
            std::fprintf(stderr, "peer_bench: no plug-in called %s\n", n.c_str());
            return usage();
        }
        kinds.push_back(k);
    }
    std::vector<bool> silentInputs;
    for (const std::string& n : inputNames) {
        if (n != "music" && n != "silence") {
            std::fprintf(stderr, "peer_bench: the inputs are music and silence, not %s\n",
                         n.c_str());
            return usage();
        }
        silentInputs.push_back(n == "silence");
    }
    if (counts.empty() || blockSizes.empty() || kinds.empty() || silentInputs.empty())
        return usage();
    const std::uint32_t most = *std::max_element(counts.begin(), counts.end());

    sched_param prio{};
    prio.sched_priority = 10;
    const bool realtime = sched_setscheduler(0, SCHED_FIFO, &prio) == 0;
    std::printf("peer_bench: %s, %d rounds of %.1f s per kind, block and count\n",
                realtime ? "SCHED_FIFO 10" : "ordinary scheduling (SCHED_FIFO refused)", rounds,
                seconds);

    char dir[] = "/tmp/peer-bench-XXXXXX";
    if (!mkdtemp(dir)) {
        std::perror("peer_bench: mkdtemp");
        return 1;
    }
    const std::string wav = std::string(dir) + "/response.wav";
    if (!writeResponse(wav)) {
        std::fprintf(stderr, "peer_bench: cannot write %s\n", wav.c_str());
        return 1;
    }

    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    char* bundleUri = nullptr;
    {
        std::string abs = bundle;
        if (char* real = realpath(bundle.c_str(), nullptr)) {
            abs = real;
            free(real);
        }
        if (abs.back() != '/')
            abs += '/';
        LilvNode* node = lilv_new_file_uri(world, nullptr, abs.c_str());
        lilv_world_load_bundle(world, node);
        bundleUri = strdup(lilv_node_as_uri(node));
        lilv_node_free(node);
    }
    Instance::nodes() = {lilv_new_uri(world, LV2_CORE__InputPort),
                         lilv_new_uri(world, LV2_CORE__AudioPort),
                         lilv_new_uri(world, LV2_CORE__ControlPort),
                         lilv_new_uri(world, LV2_ATOM__AtomPort)};
    const LilvPlugins* all = lilv_world_get_all_plugins(world);
    std::vector<const LilvPlugin*> plugins;
    for (const Kind* k : kinds) {
        LilvNode* uri = lilv_new_uri(world, k->uri);
        const LilvPlugin* p = lilv_plugins_get_by_uri(all, uri);
        lilv_node_free(uri);
        if (!p) {
            std::fprintf(stderr,
                         "peer_bench: %s (%s) is not installed; `make bench` installs the peers, "
                         "our bundle is looked for in %s\n",
                         k->label, k->uri, bundleUri);
            return 1;
        }
        plugins.push_back(p);
    }
    free(bundleUri);

    // cpu[mode][kind][block][count] over rounds, a mode for each input and
    // pace: paced asleep, then with --unpaced back to back and paced spinning.
    const Pace allPaces[] = {Pace::Sleep, Pace::None, Pace::Spin};
    const char* const allPaceNames[] = {"paced", "back to back", "paced, spinning"};
    std::vector<Pace> paces;
    std::vector<std::string> paceNames;
    std::vector<bool> modeSilent;
    for (bool silent : silentInputs)
        for (std::size_t p = 0; p < (unpaced ? 3u : 1u); ++p) {
            paces.push_back(allPaces[p]);
            paceNames.push_back(std::string(allPaceNames[p]) + (silent ? ", silence" : ", music"));
            modeSilent.push_back(silent);
        }
    const std::size_t paceCount = paces.size();
    const Noise silence(true);
    std::vector<std::vector<std::vector<std::vector<double>>>> samples(
        paceCount, std::vector<std::vector<std::vector<double>>>(
                       kinds.size(), std::vector<std::vector<double>>(
                                         blockSizes.size() * counts.size())));
    // The host's own CPU while it only sleeps to each deadline, for the
    // record: in a virtual machine a timed wake costs tens of microseconds of
    // the process's time. measure() leaves the host thread's time outside the
    // plug-ins' calls out of every figure, so none of it is counted.
    std::vector<std::vector<double>> host(blockSizes.size());
    Noise noise;
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t b = 0; b < blockSizes.size(); ++b) {
            std::vector<std::unique_ptr<Instance>> none;
            host[b].push_back(measure(none, 0, blockSizes[b], seconds, Pace::Sleep, noise));
            std::fprintf(stderr, "round %d  host alone block %4u  %.3f %%\n", round + 1,
                         blockSizes[b], 100 * host[b].back());
            for (std::size_t kk = 0; kk < kinds.size(); ++kk) {
                const std::size_t k = (kk + static_cast<std::size_t>(round)) % kinds.size();
                std::vector<std::unique_ptr<Instance>> set;
                for (std::uint32_t i = 0; i < most; ++i) {
                    auto in = makeLoaded(plugins[k], *kinds[k], blockSizes[b], wav);
                    if (!in)
                        return 1;
                    set.push_back(std::move(in));
                }
                for (std::size_t c = 0; c < counts.size(); ++c)
                    for (std::size_t p = 0; p < paceCount; ++p) {
                        const Noise& input = modeSilent[p] ? silence : noise;
                        if (modeSilent[p] && (p == 0 || !modeSilent[p - 1]))
                            settle(set, counts[c], blockSizes[b], 3.5, silence);
                        const double all =
                            measure(set, counts[c], blockSizes[b], seconds, paces[p], input);
                        const double share = all / counts[c];
                        samples[p][k][b * counts.size() + c].push_back(share);
                        std::fprintf(stderr, "round %d  %-10s block %4u  N=%2u  %.3f %% %s\n",
                                     round + 1, kinds[k]->name, blockSizes[b], counts[c],
                                     100 * share, paceNames[p].c_str());
                    }
            }
        }
    }

    // The tables: per-instance CPU (median over rounds), then each peer's
    // median ratio to ours and its range over rounds (above 1: ours is cheaper).
    std::size_t ours = kinds.size();
    for (std::size_t k = 0; k < kinds.size(); ++k)
        if (std::string(kinds[k]->name) == "brightfall")
            ours = k;
    for (std::size_t p = 0; p < paceCount; ++p) {
        std::printf("\nper-instance CPU, %% of one core, %s (median of %d rounds)%s\n",
                    paceNames[p].c_str(), rounds,
                    "; the host thread's time outside the plug-ins' calls left out");
        std::printf("| block | N |%s", paces[p] == Pace::Sleep ? " host alone |" : "");
        for (const Kind* k : kinds)
            std::printf(" %s |", k->label);
        std::printf("\n|---|---|%s", paces[p] == Pace::Sleep ? "---|" : "");
        for (std::size_t k = 0; k < kinds.size(); ++k)
            std::printf("---|");
        std::printf("\n");
        for (std::size_t b = 0; b < blockSizes.size(); ++b)
            for (std::size_t c = 0; c < counts.size(); ++c) {
                std::printf("| %u | %u |", blockSizes[b], counts[c]);
                if (paces[p] == Pace::Sleep)
                    std::printf(" %.3f |", 100 * median(host[b]));
                for (std::size_t k = 0; k < kinds.size(); ++k)
                    std::printf(" %.3f |", 100 * median(samples[p][k][b * counts.size() + c]));
                std::printf("\n");
            }
        if (ours == kinds.size() || kinds.size() < 2)
            continue;
        std::printf("\npeer CPU / ours, %s, median [lowest-highest] over rounds\n| block | N |",
                    paceNames[p].c_str());
        for (std::size_t k = 0; k < kinds.size(); ++k)
            if (k != ours)
                std::printf(" %s |", kinds[k]->label);
        std::printf("\n|---|---|");
        for (std::size_t k = 1; k < kinds.size(); ++k)
            std::printf("---|");
        std::printf("\n");
        for (std::size_t b = 0; b < blockSizes.size(); ++b)
            for (std::size_t c = 0; c < counts.size(); ++c) {
                std::printf("| %u | %u |", blockSizes[b], counts[c]);
                const std::vector<double>& mine = samples[p][ours][b * counts.size() + c];
                for (std::size_t k = 0; k < kinds.size(); ++k) {
                    if (k != ours)
                        printRatio(samples[p][k][b * counts.size() + c], mine, 2);
                }
                std::printf("\n");
            }
    }
    // Silence against music, each kind's own (the first pace of each input),
    // round by round: what an instance that hears nothing still costs.
    if (silentInputs.size() == 2) {
        const std::size_t music = silentInputs[0] ? paceCount / 2 : 0;
        const std::size_t quiet = silentInputs[0] ? 0 : paceCount / 2;
        std::printf(
            "\nsilence CPU / music CPU, %s, median [lowest-highest] over rounds\n"
            "| block | N |",
            allPaceNames[0]);
        for (const Kind* k : kinds)
            std::printf(" %s |", k->label);
        std::printf("\n|---|---|");
        for (std::size_t k = 0; k < kinds.size(); ++k)
            std::printf("---|");
        std::printf("\n");
        for (std::size_t b = 0; b < blockSizes.size(); ++b)
            for (std::size_t c = 0; c < counts.size(); ++c) {
                std::printf("| %u | %u |", blockSizes[b], counts[c]);
                for (std::size_t k = 0; k < kinds.size(); ++k)
                    printRatio(samples[quiet][k][b * counts.size() + c],
                               samples[music][k][b * counts.size() + c], 3);
                std::printf("\n");
            }
    }
    unlink(wav.c_str());
    rmdir(dir);
    return 0;
}
