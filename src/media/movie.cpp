// MovieModule: one movie through the media command channel under the alias
// movie, shared by every object of the process: opening, window, transport,
// the status queries read from one 128-character reply buffer, positions,
// relative moves, audio, speed and the disc door.
#include <array>
#include <cstring>

#include "frame/com.hpp"
#include "media/size_split.hpp"
#include "platform/mci/errors.hpp"
#include "platform/mci/mci.hpp"
#include "frame/msgbox.hpp"
#include "platform/pump.hpp"

namespace t2 {
namespace {

constexpr size_t kReplyBuffer = 128, kErrorText = 255;
constexpr double kSecondsPerDay = 86400.0;

// Clock text of a movie position or length: [H:]M:SS, minutes without a leading zero.
String MovieTimeText(Long ms) {
    Long t = round_to<Long>(ms / 1000.0);
    const Long h = t / 3600;
    t %= 3600;
    const Long m = t / 60, s = t % 60;
    String text = h > 0 ? number_text(h) + u":" : String();
    text += m >= 1 ? number_text(m) : String(u"0");
    text += u":";
    text += s >= 10 ? number_text(s) : s >= 1 ? u"0" + number_text(s) : String(u"00");
    return text;
}

class Movie : public ImplOf<_MovieModule> {
public:
    T2_MEMBERS__MovieModule(T2_NATURAL_DECL)

private:
    // The action pattern: send without a reply buffer, keep the code, return Empty.
    Variant act(const String& command) {
        m_lError = static_cast<Long>(mci::mciSendStringA(to_code_page(command).c_str(), nullptr, 0, 0));
        return {};
    }
    // A query: its answer lands in the shared buffer, which is never cleared.
    void ask(const String& command) {
        m_lError = static_cast<Long>(mci::mciSendStringA(to_code_page(command).c_str(), m_ReplyBuffer.data(),
                                                         static_cast<uint32_t>(kReplyBuffer), 0));
    }
    String whole(const String& command) {
        ask(command);
        return from_code_page(m_ReplyBuffer.data(), kReplyBuffer);
    }
    Long leading_long(const String& command) {
        ask(command);
        return round_to<Long>(leading_number(from_code_page(m_ReplyBuffer.data(), kReplyBuffer)));
    }
    bool playing() {
        VARIANT_BOOL r = VARIANT_FALSE;
        check(self()->isMoviePlaying(&r));
        return r != 0;
    }
    Long position_ms() {
        Long p = 0;
        check(self()->getPositionInMS(&p));
        return p;
    }
    // The text of a time, or an empty text after its own message box.
    String time_text(Long ms) {
        String text;
        try {
            text = MovieTimeText(ms);
        } catch (const Error& e) {
            t2::MsgBox(e.description(), platform::vbOKOnly, u" Error");
            return {};
        }
        return text;
    }
    void open_with(const String& tail);
    using SizeQuery = HRESULT (STDMETHODCALLTYPE _MovieModule::*)(BSTR*);
    Variant split_size(SizeQuery query, Long& wWidth, Long& wHeight);

    Long m_lError = 0;
    String m_sFilename;
    std::array<char, kReplyBuffer> m_ReplyBuffer{};
};

Long Movie::get_Error() { return m_lError; }
void Movie::put_Error(Long RHS) { m_lError = RHS; }
String Movie::get_Filename() { return m_sFilename; }
void Movie::put_Filename(String RHS) { m_sFilename = RHS; }

void Movie::open_with(const String& tail) {
    // The quoted path stays in Filename; a name already quoted is not quoted again.
    const bool quoted = m_sFilename.size() >= 2 && m_sFilename.front() == u'"' && m_sFilename.back() == u'"';
    if (!quoted) m_sFilename = u"\"" + m_sFilename + u"\"";
    act(u"close movie");
    act(u"open " + m_sFilename + tail);
}

Variant Movie::openMovie() {
    open_with(u" type mpegvideo alias movie");
    return {};
}
Variant Movie::openMovieWindow(Long& hwnd, String& WindowStyle) {
    open_with(u" type mpegvideo alias movie parent " + number_text(hwnd) + u" style " + WindowStyle + u" ");
    return {};
}
Variant Movie::playMovie() { return act(u"play movie"); }
Variant Movie::pauseMovie() { return act(u"pause movie"); }
Variant Movie::resumeMovie() { return act(u"resume movie"); }
Variant Movie::stopMovie() { return act(u"stop movie"); }
Variant Movie::closeMovie() { return act(u"close all"); }
Variant Movie::playFullScreen() { return act(u"play movie fullscreen"); }
Variant Movie::minimizeMovie() { return act(u"window movie state minimized"); }
Variant Movie::hideMovie() { return act(u"window movie state hide"); }
Variant Movie::showMovie() { return act(u"window movie state show"); }
Variant Movie::restoreMovie() { return act(u"window movie state restore"); }
Variant Movie::sizeLocateMovie(Long& Left, Long& Top, Long& Width, Long& Height) {
    return act(u"put movie window at " + number_text(Left) + u" " + number_text(Top) + u" " + number_text(Width) +
               u" " + number_text(Height));
}
Variant Movie::restoreSizeDefault() { return act(u"put movie window"); }
Variant Movie::setVideoOff() { return act(u"set all video off"); }
Variant Movie::setVideoOn() { return act(u"set all video on"); }

void Movie::timeOut(Variant& duration) {
    // The start is the clock's nearest whole second; the clock counts seconds since midnight,
    // so a wait across midnight adds a day to the readings after it.
    const double start = round_half_even(platform::Timer());
    double last = start, offset = 0;
    while (true) {
        double now = platform::Timer();
        if (now + 1.0 < last) offset += kSecondsPerDay;  // the clock started again at midnight
        last = now;
        if (!(now + offset - start < duration.to_double())) return;  // error 13 for a duration that is no number
        platform::DoEventsAndWait();
    }
}

// ---- queries ----
Variant Movie::getBitsPerPixel() {
    ask(u"status movie bitsperpel");
    return Variant(leading_number(from_code_page(m_ReplyBuffer.data(), kReplyBuffer)));
}
String Movie::getMovieInput() { return whole(u"status movie monitor input"); }
String Movie::getMovieOutput() { return whole(u"status movie monitor output"); }
String Movie::getAudioStatus() { return whole(u"status movie audio"); }
String Movie::getVideoStatus() { return whole(u"status movie video"); }
String Movie::getTimeFormat() { return whole(u"status movie time format"); }
String Movie::checkDeviceReady() { return whole(u"status movie ready"); }
String Movie::getDeviceName() { return whole(u"info movie product"); }
String Movie::getDeviceVersion() { return whole(u"info movie version"); }
String Movie::getCurrentSize() { return whole(u"where movie destination max"); }
String Movie::getDefaultSize() { return whole(u"where movie source"); }

String Movie::getStatus() {
    String text = whole(u"status movie mode");
    bool word_start = true;
    for (char16_t& c : text) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        if (word_start && c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
        word_start = c == u' ' || c == 0 || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
    }
    return text;
}

// A failed query (no movie open) reads as not playing: the shared buffer may
// still start with "playing" from an earlier answer.
bool Movie::isMoviePlaying() {
    ask(u"status movie mode");
    return m_lError == mci::kOk && std::memcmp(m_ReplyBuffer.data(), "playing", 7) == 0;
}

Long Movie::getNominalFrameRate() { return leading_long(u"status movie nominal frame rate wait"); }
Long Movie::getFramePerSecRate() { return leading_long(u"status movie frame rate") / 1000; }
Long Movie::getRate() { return leading_long(u"status movie speed"); }
Long Movie::getVolume() { return leading_long(u"status movie volume"); }
Long Movie::getLeftVolume() { return leading_long(u"status movie left volume"); }
Long Movie::getRightVolume() {
    ask(u"status movie right volume");
    auto v = strict_number(from_code_page(m_ReplyBuffer.data(), strnlen(m_ReplyBuffer.data(), kReplyBuffer)));
    if (!v) raise(err::TypeMismatch);
    return round_to<Long>(*v);
}
Long Movie::getLengthInFrames() {
    act(u"set movie time format frames");
    return leading_long(u"status movie length");
}
Long Movie::getLengthInMS() {
    act(u"set movie time format ms");
    return leading_long(u"status movie length");
}
Long Movie::getPositionInMS() {
    act(u"set movie time format ms");
    return leading_long(u"status movie position wait");
}
Long Movie::getPositionInFrames() {
    act(u"set movie time format frames wait");
    return leading_long(u"status movie position");
}
Long Movie::getLengthInSec() {
    Long ms = 0;
    check(self()->getLengthInMS(&ms));
    return ms / 1000;
}
Long Movie::getPositionInSec() { return position_ms() / 1000; }
String Movie::getFormatLength() {
    Long ms = 0;
    check(self()->getLengthInMS(&ms));
    return time_text(ms);
}
String Movie::getFormatPosition() { return time_text(position_ms()); }

// Width and height from the answer of the size query given.
Variant Movie::split_size(SizeQuery query, Long& wWidth, Long& wHeight) {
    String r;
    resume_next([&] {
        Bstr b;
        check((self()->*query)(b.out()));
        r = b.str();
    });
    split_size_answer(r, wWidth, wHeight);
    return {};
}

Variant Movie::extractCurrentMovieSize(Long&, Long&, Long& wWidth, Long& wHeight) {
    return split_size(&_MovieModule::getCurrentSize, wWidth, wHeight);
}
Variant Movie::extractDefaultMovieSize(Long& wWidth, Long& wHeight) {
    return split_size(&_MovieModule::getDefaultSize, wWidth, wHeight);
}

String Movie::checkError() {
    char text[kErrorText];
    std::memset(text, ' ', sizeof text);
    mci::mciGetErrorStringA(static_cast<uint32_t>(m_lError), text, sizeof text);
    return from_code_page(text, sizeof text);
}

// ---- seeking, stepping, audio, speed, door ----
Variant Movie::stepFrames(Long& Value) { return act(u"step movie by " + number_text(Value)); }
Variant Movie::setVolume(Long& Value) { return act(u"setaudio movie volume to " + number_text(Value)); }
Variant Movie::setLeftVolume(Long& Value) { return act(u"setaudio movie left volume to " + number_text(Value)); }
Variant Movie::setRightVolume(Long& Value) { return act(u"setaudio movie right volume to " + number_text(Value)); }
Variant Movie::setAudioOff() { return act(u"set movie audio all off"); }
Variant Movie::setAudioOn() { return act(u"set movie audio all on"); }
Variant Movie::setLeftOff() { return act(u"set movie audio left off"); }
Variant Movie::setRightOff() { return act(u"set movie audio right off"); }
Variant Movie::setLeftOn() { return act(u"set movie audio left on"); }
Variant Movie::setRightOn() { return act(u"set movie audio right on"); }
Variant Movie::setSpeed(Long& Value) { return act(u"set movie speed " + number_text(Value)); }
Variant Movie::setDoorOpen() { return act(u"set cdaudio door open"); }
Variant Movie::setDoorClosed() { return act(u"set cdaudio door closed"); }

Variant Movie::restartMovie() {
    act(u"seek movie to start");
    VARIANT r;
    check(self()->playMovie(&r));
    return {};
}

Variant Movie::setPositionTo(Long& Second) {
    Second = checked::mul<Long>(Second, 1000);  // error 6 before anything is stored or sent
    const String target = number_text(Second);
    // Error holds the play's or the seek's own code, so a refused target shows
    if (playing()) {
        act(u"play movie from " + target);
    } else if (!playing()) {
        act(u"seek movie to " + target);
    }
    return {};
}

// The relative moves read the position first and work the target out after it,
// so a target that overflows still has sent the position's queries.
Variant Movie::rewindByMS(Long& numMS) {
    act(u"set movie time format ms");
    const Long now = position_ms();
    const Long target = checked::sub<Long>(now, numMS);
    return act(u"play movie from " + number_text(target));
}
Variant Movie::forwardByMS(Long& numMS) {
    act(u"set movie time format ms");
    const Long now = position_ms();
    const Long target = checked::add<Long>(now, numMS);
    return act(u"play movie from " + number_text(target));
}
Variant Movie::rewindBySeconds(Long& numSec) {
    act(u"set movie time format ms");
    const Long now = position_ms();
    const Long target = checked::sub<Long>(now, checked::mul<Long>(numSec, 1000));
    return act(u"play movie from " + number_text(target));
}
Variant Movie::forwardBySeconds(Long& numSec) {
    act(u"set movie time format ms");
    const Long now = position_ms();
    const Long target = checked::add<Long>(now, checked::mul<Long>(numSec, 1000));
    return act(u"play movie from " + number_text(target));
}
Variant Movie::rewindByFrames(Long& numFrames) {
    act(u"set movie time format frames");
    Long p = 0;
    check(self()->getPositionInFrames(&p));
    return act(u"play movie from " + number_text(checked::sub<Long>(p, numFrames)));
}
Variant Movie::forwardByFrames(Long& numFrames) {
    act(u"set movie time format frames");
    Long p = 0;
    check(self()->getPositionInFrames(&p));
    return act(u"play movie from " + number_text(checked::add<Long>(p, numFrames)));
}

}  // namespace

void split_size_answer(const String& r, Long& wWidth, Long& wHeight) {
    size_t p1 = 0, p2 = 0, p3 = 0;
    String t;
    resume_next([&] { p1 = r.find(u' ') + 1; });  // positions from 1; 0 when there is none
    resume_next([&] {
        size_t at = r.find(u' ', p1);  // at or after position p1 + 1
        p2 = at == String::npos ? 0 : at + 1;
    });
    // the part after position p2: with no second space (p2 = 0) that is the whole answer
    resume_next([&] { t = r.substr(p2); });
    resume_next([&] {
        size_t at = t.find(u' ');
        p3 = at == String::npos ? 0 : at + 1;
    });
    resume_next([&] { wWidth = round_to<Long>(leading_number(t.substr(0, p3))); });
    resume_next([&] {
        if (p3 < 1) raise(err::InvalidCall);  // a text position below 1
        wHeight = round_to<Long>(leading_number(t.substr(p3 - 1)));
    });
}

}  // namespace t2

T2_DEFINE_CLASS(MovieModule, _MovieModule, t2::Movie)
