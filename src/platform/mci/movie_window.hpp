// The window a movie plays in, on an X11 display: the channel's own window,
// top-level or inside a caller's window, handed to the player to draw into.
// Hiding, showing, placing and sizing act on it, since the player itself has
// no such commands for a window it was given.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace t2::mci {

class MovieWindow {
public:
    virtual ~MovieWindow() = default;
    virtual uint64_t id() const = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual void minimize() = 0;
    virtual void place(int32_t left, int32_t top, int32_t width, int32_t height) = 0;
    virtual void fill_screen() = 0;
    // Its place in its parent (left, top, width, height); false when it is gone.
    virtual bool rect(int32_t (&r)[4]) = 0;
};

// A new window on the display in DISPLAY (inside `parent` when not 0), not yet shown,
// on a connection of its own.  nullptr without a display or without X11 in this build
// (`error` 0: play without a window), and nullptr with `error` kCreatewindow when
// `parent` is no window.  Every later call survives the window's end (its parent
// closed by its owner): X errors go back to the request that caused them and never
// end the process.
std::unique_ptr<MovieWindow> open_movie_window(uint64_t parent, const std::string& title, uint32_t* error);

}  // namespace t2::mci
