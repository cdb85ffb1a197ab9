// cPalette: registered with its full member table; the members are built in a
// later step and until then each raises "not available" (error 445).
#include "frame/com.hpp"

namespace t2 {
namespace {
class Palette : public ImplOf<_cPalette> {
public:
    T2_MEMBERS__cPalette(T2_NATURAL_STUB)
};
}  // namespace
}  // namespace t2

T2_DEFINE_CLASS(cPalette, _cPalette, t2::Palette)
