// The media control channel in its command-string form: text commands to a
// process-wide table of devices, text answers, numbered errors.  Devices play
// through a backend: libmpv when the build has it, or a simulation with a
// virtual clock (tests choose it to see exact command texts and answers).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#define T2_MCI_API

namespace t2::mci {

// Sends one command (8-bit text).  The answer is written with its NUL into
// `reply` only when it fits `length` bytes (else error 268); nothing else of
// the buffer is touched.  Returns 0 or an error number.
T2_MCI_API uint32_t mciSendStringA(const char* command, char* reply, uint32_t length, int32_t callback);
// The description of an error number, NUL-terminated within `length`; non-zero when known.
T2_MCI_API int mciGetErrorStringA(uint32_t code, char* text, uint32_t length);

// ---- a playing medium, as a backend provides it ----
struct MediaInfo {
    int64_t length_ms = 0;
    int32_t fps_milli = 0;  // frames a second x 1000; 0 without video
    // The exact rate as a fraction of frames a second (30000/1001 for 29.97) where the
    // player knows it, 0/0 otherwise: positions in frames count with it, since a rate
    // rounded to 29970 makes the 240th frame of 8.008 s the 239th.
    int64_t rate_num = 0, rate_den = 0;
    int32_t width = 0, height = 0;
    bool video = false;
};
class Session {
public:
    virtual ~Session() = default;
    virtual MediaInfo info() const = 0;
    virtual void play() = 0;
    virtual void pause() = 0;  // keeps the position
    virtual void seek_ms(int64_t ms) = 0;
    virtual int64_t position_ms() = 0;
    virtual bool at_end() = 0;
    virtual void set_volume(int32_t left, int32_t right) = 0;  // 0..1000
    virtual void set_mute(bool audio_off) = 0;
    virtual void set_video(bool on) = 0;
    virtual void set_speed(int32_t milli) = 0;  // 1000 = normal
    // The movie window, where the backend shows one: state, place, full screen.
    virtual void window_state(const std::string&) {}
    virtual void place_window(int32_t, int32_t, int32_t, int32_t) {}
    virtual void set_fullscreen(bool) {}
    // Where the movie's window is now (left, top, width, height), when it has one.
    virtual bool window_rect(int32_t (&)[4]) { return false; }
};
// How a device is opened: a parent window (an X11 window id) to hold the movie, or 0.
struct OpenOptions {
    int64_t parent = 0;
};
class Backend {
public:
    virtual ~Backend() = default;
    virtual const char* name() const = 0;
    // Opens a file; nullptr with error 275 (not found) or 296 (not playable).
    virtual std::unique_ptr<Session> open(const std::string& path, const OpenOptions& options, uint32_t& error) = 0;
    // Opens or closes the door of the disc drive: 0, or 276 when there is no drive to move.
    virtual uint32_t move_door(bool open) = 0;
};

// The backend new devices use: the real one when this build has it, unless tests chose the simulation.
T2_MCI_API const char* backend_name();
T2_MCI_API bool real_backend_available();
T2_MCI_API void use_simulation(bool on);

// ---- the simulation, for tests and hosts without a player ----
// Media the simulation knows by path; an ordinary file not registered plays as 3 s of
// sound (a folder, pipe, device or play list is refused as the real backend refuses it).
T2_MCI_API void simulate_media(const std::string& path, const MediaInfo& info);
// The virtual clock of simulated playback.
T2_MCI_API void advance_clock(int64_t ms);
// A simulated disc drive: without one (the default) the door answers 276, as on a machine without a drive.
T2_MCI_API void simulate_disc_drive(bool present);
// Holds (true) or lets go (false) the simulated opening and closing of `path`:
// while held, an open or close of it waits inside the backend, as a slow player would.
T2_MCI_API void hold_simulated_file(const std::string& path, bool hold);
// How many opens and closes wait on held files now.
T2_MCI_API int simulated_calls_held();
// Whether the simulated drive's door stands open.
T2_MCI_API bool simulated_door_open();

// ---- inspection ----
// Every command sent, in order, while a log is set (nullptr stops it).
T2_MCI_API void log_commands(std::vector<std::string>* log);
// Closes every device (between tests).
T2_MCI_API void close_all();

std::unique_ptr<Backend> make_simulated_backend();
std::unique_ptr<Backend> make_mpv_backend();  // nullptr when the build has no libmpv
// The machine's own disc drive, through the CD-ROM ioctls: 0, or 276 without a drive.
uint32_t move_drive_door(bool open);

}  // namespace t2::mci
