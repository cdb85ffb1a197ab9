// The binary layout clients compile against: struct sizes and offsets, and
// member slots checked against the published slot numbers.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "abi/slots.h"
#include "frame/com.hpp"
#include "tavolin2/typeinfo.h"

namespace {

TEST(Abi, StructLayout) {
    EXPECT_EQ(sizeof(VARIANT), 24u);
    EXPECT_EQ(offsetof(VARIANT, lVal), 8u);
    EXPECT_EQ(sizeof(DISPPARAMS), 24u);
    EXPECT_EQ(sizeof(EXCEPINFO), 64u);
    EXPECT_EQ(offsetof(EXCEPINFO, bstrSource), 8u);
    EXPECT_EQ(offsetof(EXCEPINFO, dwHelpContext), 32u);
    EXPECT_EQ(offsetof(EXCEPINFO, scode), 56u);
    EXPECT_EQ(sizeof(GUID), 16u);
    EXPECT_EQ(sizeof(CONNECTDATA), 16u);
}

// Slot of a virtual member as the Itanium ABI encodes a pointer to it: 1 + byte offset.
template <class PM>
size_t slot_of(PM pm) {
    static_assert(sizeof(PM) == 2 * sizeof(void*));
    std::ptrdiff_t raw[2];
    std::memcpy(raw, &pm, sizeof raw);
    return static_cast<size_t>((raw[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*)));
}

TEST(Abi, PublishedSlots) {
    EXPECT_EQ(slot_of(&IDispatch::Invoke), 6u);
    EXPECT_EQ(slot_of(&_cDIBSection::CopyToClipboard), 7u);
    EXPECT_EQ(slot_of(&_cDIBSection::PaintPicture), 15u);
    EXPECT_EQ(slot_of(&_cDIBSection::ApiError), 23u);
    EXPECT_EQ(slot_of(&_cPalette::Add), 7u);
    EXPECT_EQ(slot_of(&_cPalette::CreateWebSafe), 18u);
    EXPECT_EQ(slot_of(&_GIF::put_BestQuality), 9u);
    EXPECT_EQ(slot_of(&_clsBCAT175::put_InputString), 8u);
    EXPECT_EQ(slot_of(&_clsBCAT175::Barcode128Draw), 26u);
    EXPECT_EQ(slot_of(&_MP3Class::MP3Pause), 24u);
    EXPECT_EQ(slot_of(&_MovieModule::put_Filename), 10u);
    EXPECT_EQ(slot_of(&_MovieModule::getFormatLength), 50u);
    EXPECT_EQ(slot_of(&_MovieModule::getVolume), 51u);
    EXPECT_EQ(slot_of(&_MovieModule::timeOut), 78u);
    EXPECT_EQ(slot_of(&_clsQELCompany::GetQELCompanyInformation), 7u);
}

// The same table as the C view's compile-time checks (tests/abi/slots.c).
TEST(Abi, InterfaceSlotsAsTheCViewHasThem) {
#define T2_EXPECT_SLOT(iface, member, slot) EXPECT_EQ(slot_of(&iface::member), size_t{slot}) << #iface "::" #member;
    T2_TEST_SLOTS(T2_EXPECT_SLOT)
#undef T2_EXPECT_SLOT
    // the C++ view's VARIANT is the C view's: the value at 8, a DECIMAL over all of it
    EXPECT_EQ(offsetof(VARIANT, ulVal), 8u);
    EXPECT_EQ(offsetof(VARIANT, pdecVal), 8u);
    EXPECT_EQ(offsetof(VARIANT, decVal), 0u);
    EXPECT_EQ(offsetof(VARIANT, vt), offsetof(VARIANT, decVal.wReserved));
}

TEST(Abi, DispatchRowsFollowTheSlotsAndIds) {
    // Row i of every table is slot 7+i; a get and its let share the id, get first.
    struct {
        const t2::InterfaceSpec& table;
        size_t row;
        DISPID id;
        t2::Kind kind;
    } cases[] = {
        {t2::interface_spec<_MovieModule>(), 44, 0x60030029, t2::Kind::Method},  // getVolume at slot 51
        {t2::interface_spec<_MovieModule>(), 71, 0x60030044, t2::Kind::Method},  // timeOut at slot 78
        {t2::interface_spec<_clsBCAT175>(), 0, 0x68030007, t2::Kind::Get},
        {t2::interface_spec<_clsBCAT175>(), 1, 0x68030007, t2::Kind::Let},
        {t2::interface_spec<_GIF>(), 2, 0x68030000, t2::Kind::Let},
        {t2::interface_spec<_MP3Class>(), 0, 0x40030000, t2::Kind::Get},
        {t2::interface_spec<_cDIBSection>(), 16, 0x60030011, t2::Kind::Method},
    };
    for (auto& c : cases) {
        ASSERT_LT(c.row, c.table.count);
        EXPECT_EQ(c.table.members[c.row].id, c.id) << t2::to_utf8(c.table.members[c.row].name);
        EXPECT_EQ(c.table.members[c.row].kind, c.kind);
    }
    const auto& draw = t2::interface_spec<_clsBCAT175>().members[19];
    ASSERT_EQ(draw.params.size(), 14u);
    const t2::ParamSpec& font = draw.params.begin()[10];
    EXPECT_EQ(std::u16string(font.name), u"sFontName");
    EXPECT_EQ(std::u16string(font.def_text), u"Courier New");
    EXPECT_EQ(draw.params.begin()[5].def, t2::Default::Zero);  // lColorConst: optional without default
}

}  // namespace
