// cDIBSection: registered with its full member table; the members are built in a
// later step and until then each raises "not available" (error 445).
#include "frame/com.hpp"

namespace t2 {
namespace {
class DibSection : public ImplOf<_cDIBSection> {
public:
    T2_MEMBERS__cDIBSection(T2_NATURAL_STUB)
};
}  // namespace
}  // namespace t2

T2_DEFINE_CLASS(cDIBSection, _cDIBSection, t2::DibSection)
