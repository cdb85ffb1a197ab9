// GIF: registered with its full member table; the members are built in a
// later step and until then each raises "not available" (error 445).
#include "frame/com.hpp"

namespace t2 {
namespace {
class GifWriter : public ImplOf<_GIF> {
public:
    T2_MEMBERS__GIF(T2_NATURAL_STUB)
};
}  // namespace
}  // namespace t2

T2_DEFINE_CLASS(GIF, _GIF, t2::GifWriter)
