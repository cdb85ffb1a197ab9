// clsBCAT175: registered with its full member table; the members are built in a
// later step and until then each raises "not available" (error 445).
#include "frame/com.hpp"

namespace t2 {
namespace {
class Barcode : public ImplOf<_clsBCAT175> {
public:
    T2_MEMBERS__clsBCAT175(T2_NATURAL_STUB)
};
}  // namespace
}  // namespace t2

T2_DEFINE_CLASS(clsBCAT175, _clsBCAT175, t2::Barcode)
