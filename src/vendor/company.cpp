// clsQELCompany: the vendor's texts by their string-table numbers.
#include "frame/com.hpp"
#include "vendor/resources.hpp"

namespace t2 {
namespace {

class Company : public ImplOf<_clsQELCompany> {
public:
    T2_MEMBERS__clsQELCompany(T2_NATURAL_DECL)
};

// Any 32-bit value is accepted; a number without an entry is reported in a
// message box (number, ", ", description) and the result stays Empty.
Variant Company::GetQELCompanyInformation(Long& lResConst) {
    Variant result;
    report_error(u"Error In Tavolin2.clsQELCompany.GetQELCompanyInfo",
                 [&] { result = Variant(vendor::LoadResString(lResConst)); });
    return result;
}

}  // namespace
}  // namespace t2

T2_DEFINE_CLASS(clsQELCompany, _clsQELCompany, t2::Company)
