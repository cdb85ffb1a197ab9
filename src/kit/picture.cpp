// Picture objects over graphics handles.
#include "kit/picture.hpp"

#include <cmath>

namespace kit {

using namespace gdi;

Picture::Picture(HGDI handle, Type type, bool owns, int width, int height)
    : handle_(handle), type_(type), owns_(owns), width_(width), height_(height) {
    also_answer(IID_IPictureDisp);  // the classes check a Picture argument for it
    // Handle is the default member, as the platform's picture has it
    add("Handle", DISPID_VALUE, Get, [this](int, Args&) { return Value(static_cast<int>(handle_)); });
    add("hPal", Get, [](int, Args&) { return Value(static_cast<int>(0)); });
    add("Type", Get, [this](int, Args&) { return Value(static_cast<short>(static_cast<SHORT>(type_))); });
    // sizes in HIMETRIC (hundredths of a millimetre), at 96 pixels per inch
    add("Width", Get,
        [this](int, Args&) { return Value(static_cast<int>(static_cast<LONG>(std::lround(width_ * 2540.0 / 96)))); });
    add("Height", Get,
        [this](int, Args&) { return Value(static_cast<int>(static_cast<LONG>(std::lround(height_ * 2540.0 / 96)))); });
    add("PixelWidth", Get, [this](int, Args&) { return Value(static_cast<int>(width_)); });
    add("PixelHeight", Get, [this](int, Args&) { return Value(static_cast<int>(height_)); });
}

Picture::~Picture() {
    if (owns_ && handle_) DeleteObject(handle_);
}

Picture* Picture::make(HGDI handle, Type type, bool owns) {
    BITMAP bm{};
    if (type == Bitmap) GetObjectA(handle, sizeof bm, &bm);
    return new Picture(handle, type, owns, bm.bmWidth, bm.bmHeight);
}

Picture* Picture::icon(int width, int height) {
    // an icon's handle names no bitmap: the bitmap description of it stays empty
    return new Picture(CreateSolidBrush(0), Icon, true, width, height);
}

Picture* load_picture(const std::string& path, std::string& error) {
    HGDI bm = load_image(path, error);
    return bm ? Picture::make(bm, Picture::Bitmap, true) : nullptr;
}

}  // namespace kit
