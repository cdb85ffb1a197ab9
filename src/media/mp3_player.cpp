// MP3Class: one sound file at a time through the media command channel,
// addressed by its quoted path; positions and lengths as numbers and clock
// texts; play lists kept in a caller's list control and in text files.
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "frame/com.hpp"
#include "tavolin2/tavolin2.h"
#include "imaging/file_name.hpp"
#include "platform/files.hpp"
#include "platform/mci/errors.hpp"
#include "platform/mci/mci.hpp"

namespace t2 {
namespace {

// Reply buffers: 30 characters for state and position queries, 128 for lengths.
constexpr size_t kStateBuffer = 30, kLengthBuffer = 128;
// Play-list lines end with CR LF.
constexpr const char* kLineEnd = "\r\n";

using Buffer30 = std::array<char, kStateBuffer>;

// Sends one command; the channel's code, which most members do not look at.
uint32_t send(const String& command, char* buffer = nullptr, size_t length = 0) {
    return mci::mciSendStringA(to_code_page(command).c_str(), buffer, static_cast<uint32_t>(length), 0);
}

// The readings of a reply buffer: the text before its first NUL, strictly a number (else error 13)...
double strict(const char* buffer, size_t length) {
    size_t n = strnlen(buffer, length);
    auto v = strict_number(from_code_page(buffer, n));
    if (!v) raise(err::TypeMismatch);
    return *v;
}
// ...or the number it starts with (0 without one).
double leading(const char* buffer, size_t length) { return leading_number(from_code_page(buffer, length)); }

String two_digits(Long v) { return format_zero_padded(v, 2); }

// Clock text of a length in milliseconds: [H:]MM:SS.
String MP3TimeText(Long ms) {
    Long t = round_to<Long>(ms / 1000.0);
    const Long h = t / 3600;
    t %= 3600;
    const Long m = t / 60, s = t % 60;
    auto part = [](Long v) { return v >= 10 ? number_text(v) : v >= 1 ? u"0" + number_text(v) : String(u"00"); };
    return (h > 0 ? number_text(h) + u":" : String()) + part(m) + u":" + part(s);
}

// Spaces (only spaces) trimmed at both ends, as the runtime's Trim does.
String trim_spaces(const String& s) {
    size_t b = s.find_first_not_of(u' ');
    if (b == String::npos) return {};
    size_t e = s.find_last_not_of(u' ');
    return s.substr(b, e - b + 1);
}

// The text before the last `ch`, or the empty text.
String LeftOfLastChar(const String& text, char16_t ch) {
    narrow<Integer>(static_cast<int64_t>(text.size()));  // positions are 16-bit
    size_t at = text.rfind(ch);
    return at == String::npos ? String() : text.substr(0, at);
}

// The bytes of a file: error 53 when it cannot be opened, 57 when it cannot be
// read (a folder, say).  Through the platform's file calls, which take the
// UTF-8 name whole on both platforms (a C stream would take a Windows name in
// the ANSI code page), and which open only ordinary files (a pipe or a device
// could be waited on or read for ever). A play list holds at most kMaxPlayList bytes.
constexpr size_t kMaxPlayList = T2_PLAYLIST_MAX_BYTES;

std::string read_whole_file(const std::string& path) {
    const int32_t f = platform::CreateFileA(path, platform::GENERIC_READ, 1 /* share reading */, nullptr,
                                            platform::OPEN_EXISTING, platform::FILE_ATTRIBUTE_NORMAL, 0);
    if (f == platform::INVALID_HANDLE_VALUE) {
        if (platform::GetFileAttributesA(path) != 0xFFFFFFFFu) raise(err::DeviceIO);  // there, but no file to read
        raise(err::FileNotFound);
    }
    std::string bytes;
    char chunk[4096];
    uint32_t n = 0;
    bool ok = true;
    while ((ok = platform::ReadFile(f, chunk, sizeof chunk, &n, nullptr) != 0) && n > 0) {
        bytes.append(chunk, n);
        if (bytes.size() > kMaxPlayList) break;
    }
    platform::CloseHandle(f);
    if (!ok) raise(err::DeviceIO);
    if (bytes.size() > kMaxPlayList) raise(err::OutOfMemory);
    return bytes;
}

class Mp3Player : public ImplOf<_MP3Class> {
public:
    T2_MEMBERS__MP3Class(T2_NATURAL_DECL)

private:
    void set_name() { m_sDeviceName = u"\"" + trim_spaces(m_sMP3File) + u"\""; }
    bool playing() {
        VARIANT_BOOL r = VARIANT_FALSE;
        check(self()->MP3Playing(&r));
        return r != 0;
    }
    // The two commands of the position members, into the member's own buffer.
    void ask_position(Buffer30& buffer) {
        resume_next([&] { set_name(); });
        resume_next([&] { send(u"set " + m_sDeviceName + u" time format milliseconds"); });
        resume_next([&] { send(u"status " + m_sDeviceName + u" position", buffer.data(), buffer.size()); });
    }
    // The three commands of the length members, into a new 128-character buffer.
    std::array<char, kLengthBuffer> ask_length() {
        std::array<char, kLengthBuffer> buffer{};
        resume_next([&] { set_name(); });
        resume_next([&] { send(u"set " + m_sDeviceName + u" time format ms", buffer.data(), buffer.size()); });
        resume_next([&] { send(u"status " + m_sDeviceName + u" length", buffer.data(), buffer.size()); });
        resume_next([&] { send(u"set " + m_sDeviceName + u" time format frames"); });
        return buffer;
    }

    String m_sMP3File;
    String m_sDeviceName;
    Buffer30 m_bPlaying{}, m_bPositionInSec{}, m_bPositionInMS{}, m_bPosition{};
};

String Mp3Player::get_MP3File() { return m_sMP3File; }
void Mp3Player::put_MP3File(String RHS) { m_sMP3File = RHS; }

void Mp3Player::MP3Play() {
    send(u"close " + m_sDeviceName);
    set_name();
    send(u"open " + m_sDeviceName);
    send(u"play " + m_sDeviceName);
}

void Mp3Player::MP3Stop() {
    resume_next([&] { set_name(); });
    resume_next([&] { send(u"close " + m_sDeviceName); });
}

void Mp3Player::MP3Pause() {
    resume_next([&] { set_name(); });
    resume_next([&] { send(u"Stop " + m_sDeviceName); });  // stops and keeps the position
}

void Mp3Player::MP3Resume() {
    resume_next([&] { set_name(); });
    resume_next([&] { send(u"play " + m_sDeviceName); });
}

// A query that fails (no device: never opened, stopped, missing file) reads as
// not playing.  The buffer is cleared before each query, so an answer of an
// earlier call ("playing") can never stand in for a query that got none.
bool Mp3Player::MP3Playing() {
    bool result = false;
    uint32_t code = mci::kOk;
    m_bPlaying.fill(0);
    resume_next([&] { code = send(u"status " + m_sDeviceName + u" mode", m_bPlaying.data(), m_bPlaying.size()); });
    resume_next([&] { result = code == mci::kOk && std::memcmp(m_bPlaying.data(), "playing", 7) == 0; });
    return result;
}

Variant Mp3Player::MP3ChangePositionTo(Variant& Second) {
    resume_next([&] { set_name(); });
    // the caller's variable becomes milliseconds, widening as the runtime's products do
    resume_next([&] {
        VARIANT v = deref(Second.raw());
        Variant product;
        switch (v.vt) {
            case VT_EMPTY: product = Variant(Integer{0}); break;
            case VT_I2:
            case VT_UI1:
            case VT_BOOL: {
                int32_t base = v.vt == VT_I2 ? v.iVal : v.vt == VT_UI1 ? v.bVal : (v.boolVal ? -1 : 0);
                int32_t p = base * 1000;
                product = (p >= INT16_MIN && p <= INT16_MAX) ? Variant(static_cast<Integer>(p))
                                                             : Variant(static_cast<Long>(p));
                break;
            }
            case VT_I4: {
                int64_t p = static_cast<int64_t>(v.lVal) * 1000;
                product = (p >= INT32_MIN && p <= INT32_MAX) ? Variant(static_cast<Long>(p))
                                                             : Variant(static_cast<double>(p));
                break;
            }
            case VT_I1:
            case VT_UI2:
            case VT_UI4:
            case VT_INT:
            case VT_UINT:
            case VT_I8:
            case VT_UI8: {
                // the other whole-number types: a Long product where it fits, else a Double
                const double p = Second.to_double() * 1000.0;
                product = (p >= INT32_MIN && p <= INT32_MAX) ? Variant(static_cast<Long>(p)) : Variant(p);
                break;
            }
            case VT_CY: {  // Currency stays Currency (error 6 past its range)
                VARIANT c;
                VariantInit(&c);
                c.vt = VT_CY;
                c.cyVal.int64 = checked::mul<int64_t>(v.cyVal.int64, 1000);
                product = Variant(c);
                break;
            }
            case VT_DATE: product = Variant(v.date * 1000.0); break;
            case VT_DECIMAL: product = Variant(Second.to_double() * 1000.0); break;
            case VT_R4: product = Variant(v.fltVal * 1000.0f); break;
            case VT_R8: product = Variant(v.dblVal * 1000.0); break;
            case VT_BSTR: product = Variant(Second.to_double() * 1000.0); break;  // numeric text reads as a Double
            default: raise(err::TypeMismatch);
        }
        Second.assign(product);
    });
    resume_next([&] { send(u"set " + m_sDeviceName + u" time format milliseconds"); });
    resume_next([&] {
        if (playing()) send(u"play " + m_sDeviceName + u" from " + Second.to_string());
    });
    resume_next([&] {
        if (!playing()) send(u"seek " + m_sDeviceName + u" to " + Second.to_string());
    });
    return {};
}

Variant Mp3Player::MP3PositionInSec() {
    ask_position(m_bPositionInSec);
    Variant result;
    resume_next([&] { result = Variant(round_half_even(strict(m_bPositionInSec.data(), kStateBuffer) / 1000)); });
    resume_next([&] {
        if (result.to_double() <= 9) result = Variant(u"0" + result.to_string());
    });
    return result;
}

Variant Mp3Player::MP3PositionInMS() {
    ask_position(m_bPositionInMS);
    Variant result;
    resume_next([&] { result = Variant(leading(m_bPositionInMS.data(), kStateBuffer)); });
    return result;
}

Variant Mp3Player::MP3Position() {
    ask_position(m_bPosition);
    Long s = 0;
    resume_next([&] { s = round_to<Long>(strict(m_bPosition.data(), kStateBuffer) / 1000); });
    Variant result;
    resume_next([&] {
        if (s < 60) {
            result = Variant(u"0:" + two_digits(s));
        } else {
            Long m = s / 60, r = s - 60 * m;
            result = Variant(two_digits(m) + u":" + two_digits(r));
        }
    });
    return result;
}

Variant Mp3Player::MP3Duration() {
    auto buffer = ask_length();
    Variant result;
    resume_next([&] { result = Variant(MP3TimeText(round_to<Long>(leading(buffer.data(), buffer.size())))); });
    return result;
}

Variant Mp3Player::MP3DurationInSec() {
    auto buffer = ask_length();
    Variant result;
    resume_next([&] { result = Variant(round_half_even(strict(buffer.data(), buffer.size()) / 1000)); });
    return result;
}

Variant Mp3Player::MP3DurationInMs() {
    auto buffer = ask_length();
    Variant result;
    resume_next([&] { result = Variant(leading(buffer.data(), buffer.size())); });
    return result;
}

String Mp3Player::GetLastBackSlash(String& text) {
    size_t at = text.rfind(u'\\');
    if (at == String::npos) return text;
    narrow<Integer>(static_cast<int64_t>(at) + 1);  // positions are 16-bit
    return text.substr(at + 1);
}

void Mp3Player::ListNoChar(Object& List1, Object& List2) {
    const Long count = List2.get(u"ListCount").to_long();
    for (Integer i = 0; i < count; i = checked::add<Integer>(i, 1)) {
        String entry = List2.get(u"List", {Variant(i)}).to_string();
        Bstr file;
        Bstr path(entry);
        BSTR p = path.get();
        check(self()->GetLastBackSlash(&p, file.out()));
        List1.call(u"AddItem", {Variant(LeftOfLastChar(file.str(), u'.'))});
    }
}

// The entries of a play list: a line ends at CR (CR LF counts once), a lone LF stays
// in its entry, spaces at the end go.  More than T2_PLAYLIST_MAX_ENTRIES is error 7:
// a file of nothing but line ends would otherwise make millions of empty entries.
std::vector<std::string_view> play_list_entries(std::string_view bytes) {
    std::vector<std::string_view> entries;
    size_t at = 0;
    while (at < bytes.size()) {
        if (entries.size() == T2_PLAYLIST_MAX_ENTRIES) raise(err::OutOfMemory);
        size_t cr = bytes.find('\r', at);
        std::string_view line = bytes.substr(at, cr == std::string_view::npos ? std::string_view::npos : cr - at);
        at = cr == std::string_view::npos ? bytes.size() : cr + 1;
        if (cr != std::string_view::npos && at < bytes.size() && bytes[at] == '\n') ++at;
        while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
        entries.push_back(line);
    }
    return entries;
}

Variant Mp3Player::MP3OpenPlayList(String& TheFile, Variant& TheListBox) {
    if (TheFile.empty()) return {};
    std::string bytes;
    std::vector<std::string_view> entries;
    bool open = false;
    resume_next([&] {
        bytes = read_whole_file(file_name(TheFile));
        entries = play_list_entries(bytes);  // a list too long is refused whole
        open = true;
    });
    if (!open) return {};
    for (std::string_view line : entries)
        resume_next([&] {
            Object(TheListBox.to_object()).call(u"AddItem", {Variant(from_code_page(line.data(), line.size()))});
        });
    return {};
}

// The list goes to a new file beside the target, renamed over it once every
// line is written: a save that fails (a missing folder, a full disk, a folder
// or device as the name) leaves the old file as it was.  The file is replaced
// only with the whole list: a list whose count or an entry cannot be read, an
// entry holding a CR or LF (it would read back as two entries), or more
// entries than the 16-bit index reaches (32,768: the index overflows, error 6)
// leave the old file untouched.  The member goes on silently past each
// failure, as it always has; the caller sees only whether the file was replaced.
Variant Mp3Player::MP3SavePlayList(String& TheFile, Variant& TheListBox) {
    platform::ReplacingFile out;
    bool open = false;
    resume_next([&] {
        if (TheFile.empty()) raise(err::BadFileName);
        if (!out.open(file_name(TheFile))) raise(err::PathFileAccess);
        open = true;
    });
    Long count = 0;
    bool whole = resume_next([&] { count = Object(TheListBox.to_object()).get(u"ListCount").to_long(); });
    Integer i = 0;
    for (Long k = 0; k < count && whole; ++k) {
        whole = resume_next([&] {
            if (k > 0) i = checked::add<Integer>(i, 1);  // error 6 past the 16-bit index
            String entry = Object(TheListBox.to_object()).get(u"List", {Variant(i)}).to_string();
            if (entry.find_first_of(u"\r\n") != String::npos) raise(err::InvalidCall);
            if (open) {
                const std::string line = to_code_page(entry) + kLineEnd;
                out.write(line.data(), line.size());  // the first failure stays with the file
            }
        });
    }
    resume_next([&] {
        if (!open) return;
        if (!whole || out.failed() || !out.commit()) {
            out.discard();
            raise(err::DeviceIO);
        }
    });
    return {};
}

}  // namespace
}  // namespace t2

T2_DEFINE_CLASS(MP3Class, _MP3Class, t2::Mp3Player)
