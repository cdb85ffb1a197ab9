// MP3Class: registered with its full member table; the members are built in a
// later step and until then each raises "not available" (error 445).
#include "frame/com.hpp"

namespace t2 {
namespace {
class Mp3Player : public ImplOf<_MP3Class> {
public:
    T2_MEMBERS__MP3Class(T2_NATURAL_STUB)
};
}  // namespace
}  // namespace t2

T2_DEFINE_CLASS(MP3Class, _MP3Class, t2::Mp3Player)
