// Resource-string loader over the compiled-in table.
#include "vendor/resources.hpp"

#include "frame/convert.hpp"

namespace t2::vendor {

String LoadResString(int32_t id) {
    for (int i = 0; i < kStringTableSize; ++i)
        if (kStringTable[i].id == id) return kStringTable[i].text;
    raise(err::ResourceNotFound, u"Resource with identifier '" + number_text(id) + u"' not found");
}

}  // namespace t2::vendor
