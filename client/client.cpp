#include "client/client.h"

#include "client/client_input.h"
#include "client/client_map.h"
#include "client/client_renderer.h"
#include "client/client_sound.h"
#include "client/entity_set.h"
#include "client/update_decoder.h"
#include "core/config_variable.h"
#include "core/cons_cmd.h"
#include "core/console.h"
#include "core/kassert.h"
#include "core/kheap.h"
#include "core/numerics.h"
#include "core/poll.h"
#include "core/print.h"
#include "core/share_manager.h"
#include "core/timer.h"
#include "platform/cpu.h"
#include "platform/video_mode.h"
#include "platform/video_registry.h"
#include "platform/win32_sys.h"
#include "world/shared_map.h"
#include "world/volume_set.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

constexpr uint32_t CPU_MMX = 1u << 23;
constexpr double INTERPOLATION_STEPS_MAX = 1024.0;
constexpr uint32_t CVF_CLIENT = 0x100;
constexpr uint32_t CVF_CHEAT = 0x20;

int fail(const char* step)
{
    print_format(P_ERROR, "Client: Can't initialize %s", step);
    return 0;
}


} // namespace

Client::Client()
    : decoder_(std::make_unique<UpdateDecoder>()), input_(std::make_unique<ClientInput>()),
      world_(std::make_unique<ClientMap>()), entities_(std::make_unique<EntitySet>())
{
    view_size_ = 1.0f;
    driver_ = -1;
}

Client::~Client() { shutdown(); }

int Client::create_cvars()
{
    struct Row {
        ConfigVariable** link;
        int type;
        uint32_t flags;
        const char* name;
        const char* default_text;
    };
    const Row rows[] = {
        {&cv_name_, CVTYPE_STRING, CVF_CLIENT, "Client_Name", "Anonymous"},
        {&cv_cps_, CVTYPE_INT, CVF_CLIENT, "Client_CPS", "20000"},
        {&cv_player_, CVTYPE_BOOL, CVF_CLIENT, "Client_Player", "True"},
        {&cv_cheater_, CVTYPE_BOOL, CVF_CLIENT, "Client_Cheater", nullptr},
        {&cv_administrator_, CVTYPE_BOOL, CVF_CLIENT, "Client_Administrator", nullptr},
        {&cv_quit_, CVTYPE_BOOL, 0, "Quit", nullptr},
        {&cv_profile_, CVTYPE_BOOL, CVF_CLIENT, "Profile", nullptr},
        {&cv_asmcycles_, CVTYPE_BOOL, CVF_CLIENT, "AsmCycles", nullptr},
        {&cv_kheap_info_, CVTYPE_BOOL, CVF_CLIENT, "KHeap_Info", nullptr},
        {&cv_animation_, CVTYPE_BOOL, CVF_CLIENT, "Animation", nullptr},
        {&cv_timedemo_, CVTYPE_INT, CVF_CLIENT, "TimeDemo", nullptr},
        {&cv_mmx_, CVTYPE_BOOL, CVF_CLIENT, "MMX", "True"},
        {&cv_snd_profile_, CVTYPE_BOOL, CVF_CLIENT, "Snd_Profile", nullptr},
        {&cv_net_stats_, CVTYPE_INT, CVF_CLIENT, "Net_Stats", nullptr},
    };
    K_ASSERT(cvar_list);
    for (const Row& row : rows) {
        *row.link = cvar_list->link(row.type, row.flags, row.name, row.default_text, 0);
        if (*row.link == nullptr) {
            return 0;
        }
    }
    cheater_ = cv_cheater_->is_true() ? 1 : 0;
    return 1;
}

void Client::release_cvars()
{
    ConfigVariable** const links[] = {&cv_name_,      &cv_cps_,        &cv_player_,     &cv_cheater_,
                                      &cv_administrator_, &cv_quit_,   &cv_profile_,    &cv_asmcycles_,
                                      &cv_kheap_info_, &cv_animation_, &cv_timedemo_,   &cv_mmx_,
                                      &cv_snd_profile_, &cv_net_stats_};
    for (ConfigVariable** link : links) {
        release_variable(*link);
    }
}

int Client::init(Hive* hive, ShareManager* share)
{
    K_ASSERT(hive);
    shutdown();
    if (create_cvars() == 0) {
        return fail("config variables");
    }
    if ((cpu_features() & CPU_MMX) != 0) {
        mmx_detected_ = 1;
        print_string(P_IMPORTANT, "Client: MMX technology detected");
    } else {
        mmx_detected_ = 0;
        cv_mmx_->set_bool(0);
    }
    set_fpu_precision(0);

    console_ = new (std::nothrow) Console;
    if (console_ == nullptr) {
        return fail("console");
    }
    if (register_client_commands() == 0) {
        return fail("client command handler");
    }
    // The permissions hold from the start, not from the first frame's check:
    // main.cfg may connect before it, and the mark of the variable's link is
    // no change by the user.
    (void)cv_cheater_->check_changed();
    apply_cheater();
    share_ = share;
    if (share_ != nullptr) {
        (void)share_->register_type(MAP_SHARE_ID, SharedMap::create);
        (void)share_->register_type(VOLUME_SHARE_ID, VolumeSet::create);
    }
    net_ = hive;
    if (init_video() == 0) {
        return fail("video");
    }
    sound_ = client_sound_factory()();
    if (sound_ == nullptr || sound_->init() == 0) {
        return fail("sound system");
    }
    InputDevices devices;
    if (win32sys != nullptr) {
        devices.devices = win32sys->devices;
        devices.count = win32sys->device_count;
    }
    if (input_->init_input(devices) == 0) {
        return fail("client input");
    }
    return 1;
}

void Client::shutdown()
{
    unload_map();
    input_->done_input();
    if (sound_ != nullptr) {
        sound_->shutdown();
        delete sound_;
        sound_ = nullptr;
    }
    if (v_mode_ != nullptr) {
        done_renderer();
        v_mode_->close_mode();
        video_destroy_mode(v_mode_);
        v_mode_ = nullptr;
    }
    driver_ = -1;
    close();
    net_ = nullptr;
    record_requested_ = 0;
    time_local_ = -1.0;
    time_interpolate_ = -1.0;
    for (double& s : sections_) {
        s = 0.0;
    }
    timedemo_frames_ = -1;
    unregister_client_commands();
    server_commands_[0] = '\0';
    delete console_;
    console_ = nullptr;
    release_cvars();
}

int32_t Client::damaged_messages() const { return damaged_messages_ + decoder_->damaged_messages; }

const CObjCommon* Client::camera() const
{
    const Camera& c = entities_->camera;
    return map_active_ != 0 && c.is_allocated(0) ? &c.common(0) : nullptr;
}

int32_t Client::fixed_frame_ticks() const
{
    const ConfigVariable* const fixed = cvar_list != nullptr ? cvar_list->find("S_FrameTicks") : nullptr;
    return fixed != nullptr ? std::max<int32_t>(0, fixed->int_value()) : 0;
}

int Client::frame(double time)
{
    const bool profiling = cv_profile_ != nullptr && cv_profile_->is_true();
    const double t0 = profiling ? sys_time() : 0.0;
    const auto timed = [&](ClientSection s, double start) {
        if (profiling) {
            sections_[s] = 0.2 * (sys_time() - start) + 0.8 * sections_[s];
        }
    };

    if (time_local_ < 0.0) {
        time_local_ = time;
    }
    const double from = time_local_;
    client_ticks_frame_ = 0;
    // With the world's ticks a frame fixed, the client's clock takes the same
    // ticks and not the wall clock's, so that what it animates and where its
    // random draws fall among the server's repeat from run to run. Its clock
    // may then run ahead of the wall clock; it waits for it after that.
    const int32_t fixed = fixed_frame_ticks();
    const auto tick = [this] {
        time_local_ += CLIENT_TICK;
        client_ticks_total_ = static_cast<int32_t>(static_cast<uint32_t>(client_ticks_total_) + 1u);
        ++client_ticks_frame_;
    };
    if (fixed > 0) {
        for (int32_t i = 0; i < fixed; ++i) {
            tick();
        }
    } else {
        while (time_local_ + CLIENT_TICK < time) {
            tick();
        }
    }

    const double receive_start = profiling ? sys_time() : 0.0;
    read_messages();
    const double receive_time = profiling ? sys_time() - receive_start : 0.0;

    interpolate(client_ticks_frame_);

    double start = profiling ? sys_time() : 0.0;
    if (sound_ != nullptr) {
        sound_->update(camera());
    }
    timed(SECTION_SOUND, start);

    poll_all();
    if (cv_animation_ != nullptr && cv_animation_->is_true()) {
        screenshot_ = 1;
    }

    start = profiling ? sys_time() : 0.0;
    if (console_ != nullptr) {
        console_->update(client_ticks_total_);
    }
    if (interp_ticks_frame_ != 0 && map_active_ != 0) {
        entities_->simulate(interp_ticks_frame_);
    }
    timed(SECTION_ANIMATION, start);

    start = profiling ? sys_time() : 0.0;
    render();
    timed(SECTION_RENDER, start);

    start = profiling ? sys_time() : 0.0;
    (void)input_->build_input(from, time_local_, console_, cons_cmd_);
    timed(SECTION_INPUT, start);

    if (cons_cmd_ != nullptr) {
        cons_cmd_->exec_buffer();
    }
    if (check_cvars() == 0) {
        return 0;
    }
    const double send_start = profiling ? sys_time() : 0.0;
    if (write_input() == 0) {
        cancel_connect();
    }
    if (profiling) {
        const double now = sys_time();
        sections_[SECTION_NETWORK] = 0.2 * (receive_time + (now - send_start)) + 0.8 * sections_[SECTION_NETWORK];
        sections_[SECTION_TOTAL] = 0.2 * (now - t0) + 0.8 * sections_[SECTION_TOTAL];
    }
    if (client_ticks_frame_ != 0) {
        print_profile(client_ticks_frame_);
    }
    return 1;
}

void Client::render()
{
    if (renderer_ == nullptr || !renderer_->has_screen()) {
        return;
    }
    renderer_->begin_frame(0);
    if (map_active_ != 0 && renderer_->has_projection()) {
        if (decoder_->latest_stamp >= 0) {
            renderer_->set_time(interp_ticks_total_);
            renderer_->begin_view(entities_->camera.view);
            renderer_->draw_world();
        } else {
            renderer_->clear_window();
        }
    }
    renderer_->present(screenshot_);
    screenshot_ = 0;
}

void Client::interpolate(int budget)
{
    if (net_state_ != CSTATE_ACCEPTED || decoder_->latest_stamp == -1) {
        interp_ticks_total_ = 0;
        interp_ticks_frame_ = 0;
        time_interpolate_ = -1.0;
        return;
    }
    if (decoder_->previous_stamp == -1) {
        interp_ticks_total_ = 0;
        interp_ticks_frame_ = 0;
        time_interpolate_ = time_transform_;
        return;
    }
    K_ASSERT(time_oldtransform_ < time_transform_);
    interp_ticks_frame_ = 0;
    if (time_interpolate_ < 0.0) {
        time_interpolate_ = time_transform_;
    }
    // A clock far behind the older update (a jump in the stamps) skips ahead
    // in one step, so that no stamp can hold the frame in this loop.
    const double gap = (time_oldtransform_ - 0.001 - time_interpolate_) / CLIENT_TICK;
    if (gap > INTERPOLATION_STEPS_MAX) {
        const double skip = std::floor(gap) - INTERPOLATION_STEPS_MAX;
        time_interpolate_ += skip * CLIENT_TICK;
        const auto n = static_cast<uint32_t>(static_cast<uint64_t>(skip));
        interp_ticks_frame_ = static_cast<int32_t>(static_cast<uint32_t>(interp_ticks_frame_) + n);
        interp_ticks_total_ = static_cast<int32_t>(static_cast<uint32_t>(interp_ticks_total_) + n);
    }
    for (;;) {
        const bool behind = time_oldtransform_ - 0.001 >= time_interpolate_;
        const bool may_advance = budget > 0 && time_interpolate_ < time_transform_ + 0.001 - CLIENT_TICK;
        if (!behind && !may_advance) {
            break;
        }
        time_interpolate_ += CLIENT_TICK;
        --budget;
        ++interp_ticks_frame_;
        interp_ticks_total_ = static_cast<int32_t>(static_cast<uint32_t>(interp_ticks_total_) + 1u);
    }
}

// The command permissions follow the cheater flag.
void Client::apply_cheater()
{
    uint32_t w = cv_administrator_->is_true() ? 0x240 : 0x250;
    cheater_ = cv_cheater_->is_true() ? 1 : 0;
    if (cheater_ == 0) {
        cvar_list->restore_saved(CVF_CLIENT | CVF_CHEAT, CVF_CLIENT | CVF_CHEAT);
        w += CVF_CHEAT;
    }
    if (cons_cmd_ != nullptr) {
        cons_cmd_->set_permissions(0, 0, 0x200, 0, w);
    }
}

int Client::check_cvars()
{
    if (cv_cheater_->check_changed()) {
        if (net_state_ != CSTATE_DISCONNECTED) {
            (void)cv_cheater_->set_bool(cheater_);
            (void)cv_cheater_->check_changed();
            print_string(P_MESSAGE, "Client: Must be disconnected to change 'cheater'");
        } else {
            apply_cheater();
        }
    }
    if (mmx_detected_ == 0 && cv_mmx_->is_true()) {
        print_string(P_WARNING, "Nay Nay, Ye ain't got no MMX in yer olde puter!");
        (void)cv_mmx_->set_bool(0);
    }
    return cv_quit_->is_true() ? 0 : 1;
}

void Client::print_profile(int ticks)
{
    if (cv_profile_->is_true()) {
        print_tagged(make_tag("ClPr"), "Client: %.1f ms (rn %.1f, anim %.1f, snd %.1f, net %.1f, in %.1f)",
                     sections_[SECTION_TOTAL] * 1000.0, sections_[SECTION_RENDER] * 1000.0,
                     sections_[SECTION_ANIMATION] * 1000.0, sections_[SECTION_SOUND] * 1000.0,
                     sections_[SECTION_NETWORK] * 1000.0, sections_[SECTION_INPUT] * 1000.0);
    }
    if (cv_snd_profile_->is_true() && sound_ != nullptr && sound_->has_device()) {
        double& s = sound_->profile;
        s = sound_->take_mix_time() * 100.0 / ticks + 0.9 * s;
        print_tagged(make_tag("SnPr"), "Sound: %.1f ms per tick, %d%%", s, float_to_int_trunc(s * 0.1 * 70.0));
    }
    print_net_stats(cv_net_stats_->int_value());
    if (cv_kheap_info_->is_true() && kheap != nullptr) {
        KHeapInfo info{};
        kheap->mem_info(&info);
        print_tagged(make_tag("KHNf"), "KHeap: Low %d/%d, High %d/%d, Cache %d/%d",
                     static_cast<int>(info.low_free >> 10), static_cast<int>(info.low_size >> 10),
                     static_cast<int>(info.high_free >> 10), static_cast<int>(info.high_size >> 10),
                     static_cast<int>(info.cache_free >> 10), static_cast<int>(info.cache_size >> 10));
    }
    if (cv_asmcycles_->is_true() && renderer_ != nullptr && renderer_->has_screen()) {
        renderer_->print_timing();
    }
    if (map_active_ != 0 && renderer_ != nullptr) {
        renderer_->print_stats();
    }
}
