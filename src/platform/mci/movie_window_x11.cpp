// Movie windows through Xlib: one display connection per window, so windows of
// different devices never share client state.
#include "platform/mci/movie_window.hpp"

#ifdef TAVOLIN2_HAVE_X11
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>

namespace t2::mci {

namespace {

class X11MovieWindow final : public MovieWindow {
public:
    X11MovieWindow(Display* display, Window window) : display_(display), window_(window) {}
    ~X11MovieWindow() override {
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }
    uint64_t id() const override { return window_; }
    void show() override {
        XMapRaised(display_, window_);
        XMapSubwindows(display_, window_);  // the player's own window inside, which it leaves unmapped when embedded
        XSync(display_, False);
    }
    void hide() override {
        XUnmapWindow(display_, window_);
        XSync(display_, False);
    }
    void minimize() override {
        XIconifyWindow(display_, window_, DefaultScreen(display_));
        XSync(display_, False);
    }
    void place(int32_t left, int32_t top, int32_t width, int32_t height) override {
        if (width <= 0 || height <= 0) return;
        XMoveResizeWindow(display_, window_, left, top, static_cast<unsigned>(width), static_cast<unsigned>(height));
        XSync(display_, False);
    }
    void fill_screen() override {
        Window parent = 0, root = 0, *children = nullptr;
        unsigned n = 0;
        XQueryTree(display_, window_, &root, &parent, &children, &n);
        if (children) XFree(children);
        XWindowAttributes a{};
        XGetWindowAttributes(display_, parent, &a);
        XMoveResizeWindow(display_, window_, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height));
        XMapRaised(display_, window_);
        XSync(display_, False);
    }

private:
    Display* display_;
    Window window_;
};

int ignore_errors(Display*, XErrorEvent*) { return 0; }  // a parent closed by its owner must not end the process

}  // namespace

std::unique_ptr<MovieWindow> open_movie_window(uint64_t parent, const std::string& title) {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return nullptr;
    Display* display = XOpenDisplay(name);
    if (!display) return nullptr;
    XSetErrorHandler(ignore_errors);
    const Window under = parent ? static_cast<Window>(parent) : DefaultRootWindow(display);
    const Window w = XCreateSimpleWindow(display, under, 0, 0, 1, 1, 0, 0, BlackPixel(display, DefaultScreen(display)));
    XStoreName(display, w, title.c_str());
    XSync(display, False);
    return std::make_unique<X11MovieWindow>(display, w);
}

}  // namespace t2::mci

#else

namespace t2::mci {
std::unique_ptr<MovieWindow> open_movie_window(uint64_t, const std::string&) { return nullptr; }
}  // namespace t2::mci

#endif
