// Movie windows through XCB: one connection of their own per window, and every
// request checked, so an X error (a parent window its owner closed, a handle
// that was never a window) comes back to the request that caused it.  Nothing
// here installs or relies on a process-wide error handler: the host may own
// Xlib's, and Xlib's default one ends the process.
#include "platform/mci/movie_window.hpp"

#ifdef TAVOLIN2_HAVE_X11
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

#include "platform/mci/errors.hpp"

namespace t2::mci {

namespace {

// True when the request went through; its error, if any, is freed here.
bool done(xcb_connection_t* c, xcb_void_cookie_t cookie) {
    xcb_generic_error_t* e = xcb_request_check(c, cookie);
    std::free(e);
    return e == nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(r);
    return a;
}

// The size of a window, or false when it is none (any longer).
bool geometry(xcb_connection_t* c, xcb_window_t w, uint16_t& width, uint16_t& height) {
    xcb_generic_error_t* e = nullptr;
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), &e);
    std::free(e);
    if (!g) return false;
    width = g->width;
    height = g->height;
    std::free(g);
    return true;
}

class XcbMovieWindow final : public MovieWindow {
public:
    XcbMovieWindow(xcb_connection_t* c, xcb_window_t window, xcb_window_t root) : c_(c), window_(window), root_(root) {}
    ~XcbMovieWindow() override {
        done(c_, xcb_destroy_window_checked(c_, window_));  // gone already when its parent was closed
        xcb_disconnect(c_);
    }
    uint64_t id() const override { return window_; }
    void show() override {
        raise();
        done(c_, xcb_map_window_checked(c_, window_));
        // the player's own window inside, which it leaves unmapped when embedded
        done(c_, xcb_map_subwindows_checked(c_, window_));
    }
    void hide() override { done(c_, xcb_unmap_window_checked(c_, window_)); }
    void minimize() override {
        // what a window manager takes as a request to iconify (ICCCM WM_CHANGE_STATE)
        xcb_client_message_event_t m{};
        m.response_type = XCB_CLIENT_MESSAGE;
        m.format = 32;
        m.window = window_;
        m.type = atom(c_, "WM_CHANGE_STATE");
        m.data.data32[0] = 3;  // IconicState
        done(c_, xcb_send_event_checked(c_, 0, root_,
                                        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                                        reinterpret_cast<const char*>(&m)));
    }
    void place(int32_t left, int32_t top, int32_t width, int32_t height) override {
        if (width <= 0 || height <= 0) return;
        const uint32_t v[] = {static_cast<uint32_t>(left), static_cast<uint32_t>(top), static_cast<uint32_t>(width),
                              static_cast<uint32_t>(height)};
        done(c_,
             xcb_configure_window_checked(
                 c_, window_,
                 XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, v));
    }
    void fill_screen() override {
        xcb_query_tree_reply_t* t = xcb_query_tree_reply(c_, xcb_query_tree(c_, window_), nullptr);
        if (!t) return;  // the window is gone
        const xcb_window_t parent = t->parent;
        std::free(t);
        uint16_t w = 0, h = 0;
        if (!geometry(c_, parent, w, h)) return;
        place(0, 0, w, h);
        show();
    }

    bool rect(int32_t (&r)[4]) override {
        xcb_generic_error_t* e = nullptr;
        xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, window_), &e);
        std::free(e);
        if (!g) return false;
        r[0] = g->x;
        r[1] = g->y;
        r[2] = g->width;
        r[3] = g->height;
        std::free(g);
        return true;
    }

private:
    void raise() {
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        done(c_, xcb_configure_window_checked(c_, window_, XCB_CONFIG_WINDOW_STACK_MODE, &above));
    }
    xcb_connection_t* c_;
    xcb_window_t window_, root_;
};

}  // namespace

std::unique_ptr<MovieWindow> open_movie_window(uint64_t parent, const std::string& title, uint32_t* error) {
    if (error) *error = 0;
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return nullptr;
    int screen_number = 0;
    xcb_connection_t* c = xcb_connect(name, &screen_number);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    xcb_screen_iterator_t s = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screen_number && s.rem; ++i) xcb_screen_next(&s);
    const xcb_window_t root = s.data->root;
    // A handle that is no window (any more) is refused here, not met by a later call.
    uint16_t w = 0, h = 0;
    const xcb_window_t under = parent ? static_cast<xcb_window_t>(parent) : root;
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t black = s.data->black_pixel;
    if ((parent && (parent > UINT32_MAX || !geometry(c, under, w, h))) ||
        !done(c, xcb_create_window_checked(c, XCB_COPY_FROM_PARENT, window, under, 0, 0, 1, 1, 0,
                                           XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL,
                                           &black))) {
        xcb_disconnect(c);
        if (error) *error = kCreatewindow;
        return nullptr;
    }
    const auto length = static_cast<uint32_t>(title.size());
    done(c, xcb_change_property_checked(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, length,
                                        title.data()));
    done(c, xcb_change_property_checked(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_NAME"),
                                        atom(c, "UTF8_STRING"), 8, length, title.data()));
    return std::make_unique<XcbMovieWindow>(c, window, root);
}

}  // namespace t2::mci

#else

namespace t2::mci {
std::unique_ptr<MovieWindow> open_movie_window(uint64_t, const std::string&, uint32_t* error) {
    if (error) *error = 0;
    return nullptr;
}
}  // namespace t2::mci

#endif
