// clsTavolin2 and clsQELPictureViewer: classes with no members of their own,
// and the stored design values of the picture viewer's form.
#include "frame/com.hpp"
#include "frame/plain_classes.hpp"

namespace t2 {
namespace {
class Tavolin2 : public ImplOf<_clsTavolin2> {};
class PictureViewer : public ImplOf<_clsQELPictureViewer> {};
}  // namespace

// Nothing creates or shows the form; its design values are kept as data.
const FormDesign kFrmQELPictureViewer{
    u"frmQELPictureViewer", u"Brevant Picture Viewer", u"Form1", 2100, 1935, 6585, 5325};

}  // namespace t2

T2_DEFINE_CLASS(clsTavolin2, _clsTavolin2, t2::Tavolin2)
T2_DEFINE_CLASS(clsQELPictureViewer, _clsQELPictureViewer, t2::PictureViewer)
