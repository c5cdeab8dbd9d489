#include "media/soundserver.h"

#include <dlfcn.h>
#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

#include <chrono>
#include <cstring>

namespace {

constexpr double askSeconds = 0.5;

// The few calls made, looked up by name in whichever libpulse the machine has.
struct PulseCalls {
    decltype(&pa_mainloop_new) mainloopNew;
    decltype(&pa_mainloop_get_api) mainloopGetApi;
    decltype(&pa_mainloop_prepare) mainloopPrepare;
    decltype(&pa_mainloop_poll) mainloopPoll;
    decltype(&pa_mainloop_dispatch) mainloopDispatch;
    decltype(&pa_mainloop_free) mainloopFree;
    decltype(&pa_context_new) contextNew;
    decltype(&pa_context_connect) contextConnect;
    decltype(&pa_context_get_state) contextGetState;
    decltype(&pa_context_get_server_info) contextGetServerInfo;
    decltype(&pa_context_disconnect) contextDisconnect;
    decltype(&pa_context_unref) contextUnref;
    decltype(&pa_operation_unref) operationUnref;
};

template <typename Call>
bool lookUp(void *library, const char *name, Call *call)
{
    *call = reinterpret_cast<Call>(dlsym(library, name));
    return *call != nullptr;
}

bool loadPulseCalls(void *library, PulseCalls *c)
{
    return lookUp(library, "pa_mainloop_new", &c->mainloopNew) &&
           lookUp(library, "pa_mainloop_get_api", &c->mainloopGetApi) &&
           lookUp(library, "pa_mainloop_prepare", &c->mainloopPrepare) &&
           lookUp(library, "pa_mainloop_poll", &c->mainloopPoll) &&
           lookUp(library, "pa_mainloop_dispatch", &c->mainloopDispatch) &&
           lookUp(library, "pa_mainloop_free", &c->mainloopFree) &&
           lookUp(library, "pa_context_new", &c->contextNew) &&
           lookUp(library, "pa_context_connect", &c->contextConnect) &&
           lookUp(library, "pa_context_get_state", &c->contextGetState) &&
           lookUp(library, "pa_context_get_server_info", &c->contextGetServerInfo) &&
           lookUp(library, "pa_context_disconnect", &c->contextDisconnect) &&
           lookUp(library, "pa_context_unref", &c->contextUnref) &&
           lookUp(library, "pa_operation_unref", &c->operationUnref);
}

struct Answer {
    bool given;
    SoundServerKind kind;
};

void takeServerInfo(pa_context *, const pa_server_info *info, void *user)
{
    Answer &answer = *static_cast<Answer *>(user);
    answer.given = true;
    // PipeWire's pulse layer calls itself "PulseAudio (on PipeWire x.y.z)".
    answer.kind = info && info->server_name && strstr(info->server_name, "PipeWire") ? pipeWireServer
                                                                                     : pulseAudioServer;
}

SoundServerKind askServer(const PulseCalls &c)
{
    pa_mainloop *loop = c.mainloopNew();
    if (!loop)
        return noSoundServer;
    pa_context *context = c.contextNew(c.mainloopGetApi(loop), "show");
    Answer answer = {false, noSoundServer};
    if (context && c.contextConnect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(askSeconds);
        pa_operation *asking = nullptr;
        while (!answer.given) {
            const pa_context_state_t state = c.contextGetState(context);
            if (!PA_CONTEXT_IS_GOOD(state))
                break;
            if (state == PA_CONTEXT_READY && !asking && !(asking = c.contextGetServerInfo(context, takeServerInfo, &answer)))
                break;
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || c.mainloopPrepare(loop, int(left.count())) < 0 || c.mainloopPoll(loop) < 0 ||
                c.mainloopDispatch(loop) < 0)
                break;
        }
        if (asking)
            c.operationUnref(asking);
        c.contextDisconnect(context);
    }
    if (context)
        c.contextUnref(context);
    c.mainloopFree(loop);
    return answer.given ? answer.kind : noSoundServer;
}

} // namespace

SoundServerKind findSoundServer()
{
    void *library = dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return noSoundServer;
    PulseCalls calls;
    const SoundServerKind kind = loadPulseCalls(library, &calls) ? askServer(calls) : noSoundServer;
    // Left loaded: SDL's own pulse backend may use the same library, and unloading buys nothing.
    return kind;
}
