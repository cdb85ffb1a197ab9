// cPalette: an ordered list of colours numbered from 1, the nearest-entry
// search, the fixed 256-colour table, palette records at byte offsets of a
// file, and the octree builder of optimal palettes with its progress events.
#include <array>
#include <cstring>
#include <vector>

#include "frame/com.hpp"
#include "platform/files.hpp"
#include "platform/gdi/gdi.hpp"
#include "frame/msgbox.hpp"
#include "platform/pump.hpp"
#include "imaging/file_name.hpp"

namespace t2 {
namespace {

// The node table starts at 50 nodes and grows by a tenth whenever a node beyond it is needed.
constexpr Long kInitialNodes = 50;
constexpr double kNodeGrowth = 1.1;
// Load accepts records of 1 to 4097 entries.
constexpr Long kMaxRecordEntries = 4097;

struct Node {
    int16_t leaf = 0;    // Boolean
    int16_t listed = 0;  // Boolean
    Long red = 0, green = 0, blue = 0, count = 0;
    Long child[8] = {};
    Long next = 0;
};

// Bit of a channel value at each depth of the tree: the ranges start at 0 to
// 255 and halve around mid = min / 2 + max / 2 (rounded), the same for every
// pixel, so the eight bits of a value are worked out once.
constexpr auto kPathBits = [] {
    std::array<uint16_t, 256> bits{};
    for (int v = 0; v < 256; ++v) {
        double lo = 0, hi = 255;
        uint16_t b = 0;
        for (int level = 0; level < 16; ++level) {
            double mid = lo / 2 + hi / 2;
            double f = mid - static_cast<double>(static_cast<int64_t>(mid));
            double m = static_cast<double>(static_cast<int64_t>(mid));
            if (f > 0.5 || (f == 0.5 && (static_cast<int64_t>(m) & 1))) m += 1;  // ties to even
            if (v > m) {
                b |= static_cast<uint16_t>(1u << level);
                lo = m;
            } else {
                hi = m;
            }
        }
        bits[v] = b;
    }
    return bits;
}();

class Palette : public ImplOf<_cPalette> {
public:
    T2_MEMBERS__cPalette(T2_NATURAL_DECL)

private:
    T2_EVENTS__cPalette(T2_EVENT_RAISER)
    Byte& component(Variant& index, int which);
    Long take_node();
    void release_node(Long n);
    void insert(Byte r, Byte g, Byte b);
    bool fold();

    // the entry list: 4 bytes an entry (red, green, blue, spare), exactly m_lCount entries
    std::vector<uint8_t> m_entries;
    Long m_lCount = 0;
    // the octree
    std::vector<Node> m_nodes;  // element 0 unused: nodes are numbered from 1
    Long m_lNodeCount = 0;
    Long m_lFreeHead = 0;
    Long m_lLeafCount = 0;
    Byte m_bLevels = 0;
    Array<Long> m_lLevelList{0, 7};
};

void Palette::Add(Byte Red, Byte Green, Byte Blue) {
    m_lCount = checked::add<Long>(m_lCount, 1);
    m_entries.resize(static_cast<size_t>(m_lCount) * 4);
    uint8_t* e = &m_entries[static_cast<size_t>(m_lCount - 1) * 4];
    e[0] = Red;
    e[1] = Green;
    e[2] = Blue;
    e[3] = 0;
}

Long Palette::get_ClosestIndex(Long Red, Long Green, Long Blue) {
    const Long count = m_lCount;
    Long best = 0, best_distance = 765;
    for (Long i = 1; i <= count; ++i) {
        const uint8_t* e = &m_entries[static_cast<size_t>(i - 1) * 4];
        if (e[0] == Red && e[1] == Green && e[2] == Blue) return i;
        auto diff = [](Long a, Long b) {
            Long d = checked::sub<Long>(a, b);
            return d < 0 ? checked::sub<Long>(0, d) : d;
        };
        Long d = checked::add<Long>(checked::add<Long>(diff(Red, e[0]), diff(Green, e[1])), diff(Blue, e[2]));
        if (d < best_distance) {
            best_distance = d;
            best = i;
        }
    }
    return best;
}

Long Palette::get_Count() { return m_lCount; }

Byte& Palette::component(Variant& index, int which) {
    Long i = index.to_long();
    if (i < 1 || i > m_lCount) raise(err::Subscript);
    return m_entries[static_cast<size_t>(i - 1) * 4 + static_cast<size_t>(which)];
}
Byte Palette::get_Red(Variant iIndex) { return component(iIndex, 0); }
Byte Palette::get_Green(Variant iIndex) { return component(iIndex, 1); }
Byte Palette::get_Blue(Variant iIndex) { return component(iIndex, 2); }

void Palette::Clear() {
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_lCount = 0;
}

void Palette::CreateWebSafe() {
    m_lCount = 256;
    m_entries.assign(256 * 4, 0);
    auto set = [&](int entry, uint8_t r, uint8_t g, uint8_t b) {
        uint8_t* e = &m_entries[static_cast<size_t>(entry - 1) * 4];
        e[0] = r;
        e[1] = g;
        e[2] = b;
    };
    static constexpr uint8_t kLow[7][3] = {{128, 0, 0},   {0, 128, 0},   {128, 128, 0},  {0, 0, 128},
                                           {128, 0, 128}, {0, 128, 128}, {192, 192, 192}};
    for (int k = 0; k < 7; ++k) set(2 + k, kLow[k][0], kLow[k][1], kLow[k][2]);
    // the six-level cube without its eight corners, blue slowest, red fastest
    int entry = 9;
    for (int b = 0; b < 6; ++b)
        for (int g = 0; g < 6; ++g)
            for (int r = 0; r < 6; ++r) {
                auto corner = [](int level) { return level == 0 || level == 5; };
                if (corner(r) && corner(g) && corner(b)) continue;
                set(entry++, static_cast<uint8_t>(51 * r), static_cast<uint8_t>(51 * g), static_cast<uint8_t>(51 * b));
            }
    for (int k = 1; k <= 31; ++k)
        set(216 + k, static_cast<uint8_t>(8 * k), static_cast<uint8_t>(8 * k), static_cast<uint8_t>(8 * k));
    static constexpr uint8_t kHigh[8][3] = {{128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    for (int k = 0; k < 8; ++k) set(248 + k, kHigh[k][0], kHigh[k][1], kHigh[k][2]);
}

// An open file of the platform, closed however the member ends.
struct PlatformFile {
    int32_t handle;
    ~PlatformFile() {
        if (handle != platform::INVALID_HANDLE_VALUE) platform::CloseHandle(handle);
    }
};

bool Palette::Load(String sFileName, Long& lPosition) {
    // only an ordinary file is opened: a folder, a pipe or a device is refused here
    PlatformFile file{platform::CreateFileA(file_name(sFileName), platform::GENERIC_READ, 0, nullptr,
                                            platform::OPEN_EXISTING, platform::FILE_ATTRIBUTE_NORMAL, 0)};
    if (file.handle == platform::INVALID_HANDLE_VALUE) return false;
    if (lPosition < 1) {
        lPosition = 0;
    } else if (platform::SetFilePointer(file.handle, lPosition, nullptr, platform::FILE_BEGIN) == 0xFFFFFFFFu) {
        return false;
    }
    int32_t count = 0;
    uint32_t got = 0;
    if (!platform::ReadFile(file.handle, &count, 4, &got, nullptr) || got != 4 || count < 1 ||
        count > kMaxRecordEntries)
        return false;
    m_lCount = count;
    m_entries.assign(static_cast<size_t>(count) * 4, 0);
    const uint32_t want = static_cast<uint32_t>(count) * 4;
    if (!platform::ReadFile(file.handle, m_entries.data(), want, &got, nullptr) || got != want) return false;
    lPosition = checked::add<Long>(lPosition, static_cast<Long>(4 + want));
    return true;
}

bool Palette::Save(String sFileName, Long lPosition) {
    // The record goes into a new file beside the target, which replaces the target only
    // when complete.  At offset 0 the file becomes exactly the record; elsewhere it starts
    // as a copy of the old file, so the bytes around the record stay.
    platform::ReplacingFile file;
    const auto start =
        lPosition >= 1 ? platform::ReplacingFile::Start::Existing : platform::ReplacingFile::Start::Empty;
    if (!file.open(file_name(sFileName), start)) return false;
    if (lPosition >= 1 && !file.seek(static_cast<uint64_t>(lPosition))) return false;
    // there are no entries to write: the old file stays as it was
    if (m_lCount == 0) raise(err::Subscript);
    const int32_t count = m_lCount;
    if (!file.write(&count, 4)) return false;
    if (!file.write(m_entries.data(), static_cast<size_t>(m_lCount) * 4)) return false;
    return file.commit();
}

// ---- the octree ----

Long Palette::take_node() {
    m_lNodeCount = checked::add<Long>(m_lNodeCount, 1);
    if (m_lFreeHead == 0) {
        const Long n = m_lNodeCount;
        if (n > static_cast<Long>(m_nodes.size()) - 1) {
            Long grown = round_to<Long>(static_cast<double>(m_lNodeCount) * kNodeGrowth);
            m_nodes.resize(static_cast<size_t>(std::max(grown, n)) + 1);
        }
        return n;
    }
    const Long n = m_lFreeHead;
    m_lFreeHead = m_nodes[static_cast<size_t>(n)].next;
    std::memset(m_nodes[static_cast<size_t>(n)].child, 0, sizeof(Node::child));
    return n;
}

void Palette::release_node(Long n) {
    Node& node = m_nodes[static_cast<size_t>(n)];
    node.next = m_lFreeHead;
    m_lFreeHead = n;
    node.leaf = False;
    node.listed = False;
    m_lNodeCount = checked::sub<Long>(m_lNodeCount, 1);
}

void Palette::insert(Byte r, Byte g, Byte b) {
    Long n = 1;  // the root, level 1
    const uint16_t rb = kPathBits[r], gb = kPathBits[g], bb = kPathBits[b];
    for (int level = 1;; ++level) {
        const int k = level > 16 ? 15 : level - 1;  // past 16 halvings a range is one value: its bits stay 0
        const int slot = ((rb >> k) & 1) | (((gb >> k) & 1) << 1) | (((bb >> k) & 1) << 2);
        Long c = m_nodes[static_cast<size_t>(n)].child[slot];
        if (c == 0) {
            c = take_node();
            m_nodes[static_cast<size_t>(n)].child[slot] = c;
            Node& fresh = m_nodes[static_cast<size_t>(c)];
            fresh.red = fresh.green = fresh.blue = fresh.count = 0;
            fresh.next = 0;
            fresh.leaf = level == m_bLevels ? True : False;
        }
        Node& child = m_nodes[static_cast<size_t>(c)];
        if (child.leaf) {
            if (child.count == 0) m_lLeafCount = checked::add<Long>(m_lLeafCount, 1);
            child.count = checked::add<Long>(child.count, 1);
            child.red = checked::add<Long>(child.red, r);
            child.green = checked::add<Long>(child.green, g);
            child.blue = checked::add<Long>(child.blue, b);
            return;
        }
        if (!child.listed) {
            Long& head = m_lLevelList(level - 1);  // a level beyond the eight lists is error 9
            child.next = head;
            head = c;
            child.listed = True;
        }
        n = c;
    }
}

bool Palette::fold() {
    Long k = m_bLevels;
    while (k >= 1 && m_lLevelList(k - 1) == 0) --k;
    if (k == 0) return false;
    const Long x = m_lLevelList(k - 1);
    m_lLevelList(k - 1) = m_nodes[static_cast<size_t>(x)].next;
    Long red = 0, green = 0, blue = 0, count = 0;
    for (int slot = 0; slot < 8; ++slot) {
        const Long c = m_nodes[static_cast<size_t>(x)].child[slot];
        if (c == 0) continue;
        const Node& child = m_nodes[static_cast<size_t>(c)];
        red = checked::add<Long>(red, child.red);
        green = checked::add<Long>(green, child.green);
        blue = checked::add<Long>(blue, child.blue);
        count = checked::add<Long>(count, child.count);
        release_node(c);
        m_lLeafCount = checked::sub<Long>(m_lLeafCount, 1);
        m_nodes[static_cast<size_t>(x)].child[slot] = 0;
    }
    Node& node = m_nodes[static_cast<size_t>(x)];
    node.red = red;
    node.green = green;
    node.blue = blue;
    node.count = count;
    node.leaf = True;
    m_lLeafCount = checked::add<Long>(m_lLeafCount, 1);
    return true;
}

void Palette::CreateOptimal(DibRef& cdib, Long PalSize, Long nLevels) {
    if (!cdib) raise(err::ObjectNotSet);
    Long height = 0, bpsl = 0, section = 0, width = 0;
    check(cdib->get_Height(&height));
    check(cdib->get_BytesPerScanLine(&bpsl));
    check(cdib->get_hDib(&section));  // the memory is reached through the section, not its published address
    check(cdib->get_Width(&width));
    m_bLevels = narrow<Byte>(nLevels);
    const uint32_t start = platform::timeGetTime();

    m_nodes.assign(static_cast<size_t>(kInitialNodes) + 1, Node{});
    m_lNodeCount = 1;
    m_lFreeHead = 0;
    m_lLeafCount = 0;
    for (Long k = 0; k <= 7; ++k) m_lLevelList(k) = 0;

    raise_InitProgress(checked::add<Long>(checked::sub<Long>(height, 1), PalSize));

    // the pixel grid over the section's memory: byte within the row, row from the bottom
    uint8_t* base = (section && bpsl > 0 && height > 0)
                        ? gdi::bitmap_bits(section, static_cast<size_t>(bpsl) * static_cast<size_t>(height))
                        : nullptr;
    Grid<uint8_t> grid = base ? Grid<uint8_t>(base, bpsl, height, bpsl) : Grid<uint8_t>();
    for (Long y = 0; y < height; ++y) {
        for (Long x = 0; x < width; ++x) {
            const Long at = checked::mul<Long>(3, x);
            const Byte b = grid(at, y), g = grid(at + 1, y), r = grid(at + 2, y);
            insert(r, g, b);
            while (m_lLeafCount > PalSize) {
                if (fold()) continue;
                if (t2::MsgBox(u"Error in reducing nodes", platform::vbYesNo, u"") == platform::vbNo) {
                    platform::EndProgram();
                    throw StatusError(E_ABORT);  // the host kept the program running: the build does not go on
                }
                break;
            }
        }
        raise_Progress(y);
    }

    check(self()->Clear());
    const Long last = static_cast<Long>(m_nodes.size()) - 1;
    for (Long j = 1; j <= last; ++j) {
        const Node& node = m_nodes[static_cast<size_t>(j)];
        if (!node.leaf) continue;
        const double n = node.count;
        check(self()->Add(round_to<Byte>(node.red / n), round_to<Byte>(node.green / n), round_to<Byte>(node.blue / n)));
        raise_Progress(j);
    }
    raise_Complete(static_cast<Long>(platform::timeGetTime() - start));
}

void Palette::EraseNodes() {
    m_nodes.clear();
    m_nodes.shrink_to_fit();
    m_lFreeHead = 0;
}

}  // namespace
}  // namespace t2

T2_DEFINE_CLASS(cPalette, _cPalette, t2::Palette)
