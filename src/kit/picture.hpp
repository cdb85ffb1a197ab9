// Picture objects: a bitmap handle (the default member), a type and a size, as
// the classes take them for Picture arguments; loaded from image files or made
// from a bitmap handle.  Surfaces are saved as PNG or BMP.
#pragma once

#include <string>
#include <vector>

#include "kit/dispatch_object.hpp"
#include "kit/gdi.hpp"

namespace kit {

class Picture final : public DispatchObject {
public:
    enum Type { None = 0, Bitmap = 1, Metafile = 2, Icon = 3 };
    // Takes ownership of `handle` when `owns`: it is deleted with the picture.
    static Picture* make(gdi::HGDI handle, Type type, bool owns);
    // An icon-type picture of a size: its handle is not a bitmap.
    static Picture* icon(int width, int height);
    gdi::HGDI handle() const { return handle_; }

private:
    Picture(gdi::HGDI handle, Type type, bool owns, int width, int height);
    ~Picture() override;
    gdi::HGDI handle_;
    Type type_;
    bool owns_;
    int width_, height_;  // pixels
};

// The names of the picture formats the loader reads, in the order it tries them, and
// the same as one text ("PNG, JPEG, ...").
std::vector<std::string> picture_format_names();
const char* picture_formats();
// Loads an image file into a new 24-bit bitmap section; 0 with a message on failure.
gdi::HGDI load_image(const std::string& path, std::string& error);
// The same for the bytes of an image file; `name` heads the messages.
gdi::HGDI decode_image(const std::vector<uint8_t>& data, const std::string& name, std::string& error);
// A picture of an image file (nullptr with a message on failure).
Picture* load_picture(const std::string& path, std::string& error);
// The extension of a file name in lower case, without the dot ("" without one).
std::string extension(const std::string& path);
// Saves the surface of a bitmap or device context as PNG or BMP, by the name's
// extension; any other extension is refused.
bool save_surface(gdi::HGDI dc_or_bitmap, const std::string& path, std::string& error);
// Writes a file whole or not at all (a failure leaves the old file as it was); the
// message names the file, the system's reason and its error number.
bool write_whole_file(const std::string& path, const void* data, size_t bytes, std::string& error);

}  // namespace kit
