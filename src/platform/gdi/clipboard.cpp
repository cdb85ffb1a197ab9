// The process clipboard: formats by number; a bitmap given to it is its own.
#include <map>

#include "platform/gdi/internal.hpp"

namespace t2::gdi {

namespace {
struct Clipboard {
    bool open = false;
    std::map<uint32_t, int32_t> formats;
};
Clipboard& clip() {
    static Clipboard c;
    return c;
}
void release(uint32_t format, int32_t handle) {
    if (format == CF_BITMAP) {
        if (Object* o = find(handle)) {
            o->clipboard = false;
            DeleteObject(handle);
        }
    }
}
}  // namespace

int OpenClipboard(int32_t) {
    Lock lock(table().lock);
    if (clip().open) return 0;
    clip().open = true;
    return 1;
}

int CloseClipboard() {
    Lock lock(table().lock);
    if (!clip().open) return 0;
    clip().open = false;
    return 1;
}

int EmptyClipboard() {
    Lock lock(table().lock);
    if (!clip().open) return 0;
    for (auto& [f, h] : clip().formats) release(f, h);
    clip().formats.clear();
    return 1;
}

int32_t SetClipboardData(uint32_t format, int32_t handle) {
    Lock lock(table().lock);
    if (!clip().open) return 0;
    if (format == CF_BITMAP) {
        Object* o = find(handle);
        if (!o || o->kind != Kind::Bitmap || o->bitmap->selected) return 0;
        o->clipboard = true;  // owned by the clipboard now: DeleteObject leaves it alone
    }
    if (auto it = clip().formats.find(format); it != clip().formats.end() && it->second != handle)
        release(format, it->second);
    clip().formats[format] = handle;
    return handle;
}

int32_t GetClipboardData(uint32_t format) {
    Lock lock(table().lock);
    if (!clip().open) return 0;
    auto it = clip().formats.find(format);
    return it == clip().formats.end() ? 0 : it->second;
}

int IsClipboardFormatAvailable(uint32_t format) {
    Lock lock(table().lock);
    return clip().formats.count(format) ? 1 : 0;
}

}  // namespace t2::gdi
