// The window class frmQELPictureViewer: an empty form, present only as design values.
#pragma once

#include "frame/convert.hpp"

namespace t2 {

struct FormDesign {
    const char16_t* name;
    const char16_t* caption;
    const char16_t* link_topic;
    Long client_left, client_top, client_width, client_height;  // twips
};
extern const FormDesign kFrmQELPictureViewer;

}  // namespace t2
