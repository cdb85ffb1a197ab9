// Resource-string loader: over the compiled-in table on Linux, over the DLL's
// string table resource (LoadStringA) on Windows.
#include "vendor/resources.hpp"

#include "frame/convert.hpp"
#ifdef _WIN32
#include "base/codepage.hpp"
#include "platform/resstring.hpp"
#endif

namespace t2::vendor {

String LoadResString(int32_t id) {
#ifdef _WIN32
    if (id >= 0 && id <= 0xFFFF)
        if (auto text = platform::load_string(static_cast<unsigned>(id)))
            return from_code_page(text->data(), text->size());
#else
    for (int i = 0; i < kStringTableSize; ++i)
        if (kStringTable[i].id == id) return kStringTable[i].text;
#endif
    raise(err::ResourceNotFound, u"Resource with identifier '" + number_text(id) + u"' not found");
}

}  // namespace t2::vendor
