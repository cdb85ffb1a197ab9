// The media part of the demo: a generated play list and, where a player is
// available, a generated one-second tone played headless.
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <thread>

#include "host/steps.hpp"
#include "host/verbs.hpp"
#include "tavolin2/platform.h"

namespace host {

namespace {

// A one-second 440 Hz tone as a 16-bit mono WAV file.
bool write_tone(const std::string& path, std::string& error) {
    const uint32_t rate = 22050, samples = rate;
    std::string f;
    auto u32 = [&](uint32_t v) { f.append(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { f.append(reinterpret_cast<const char*>(&v), 2); };
    f.append("RIFF", 4);
    u32(36 + samples * 2);
    f.append("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    f.append("data", 4);
    u32(samples * 2);
    for (uint32_t i = 0; i < samples; ++i)
        u16(static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / rate))));
    return write_whole_file(path, f.data(), f.size(), error);
}

}  // namespace

int demo_media(const std::string& dir, std::string& report_text) {
    _MP3Class* p = nullptr;
    if (FAILED(T2CoCreateInstance(CLSID_MP3Class, IID__MP3Class, reinterpret_cast<void**>(&p)))) return 1;
    const std::string tone = dir + "/tone.wav", list = dir + "/playlist.m3u";
    std::string error;
    if (!write_tone(tone, error)) {
        std::fprintf(stderr, "tavolin2 demo: %s\n", error.c_str());
        p->Release();
        return 1;
    }
    IDispatch* entries = make_list_box({tone, "C:\\Music\\Rock\\song.mp3", "D:\\Audio\\talk.wav"});
    VARIANT box;
    VariantInit(&box);
    box.vt = VT_DISPATCH;
    box.pdispVal = entries;
    BSTR file = SysAllocStringUTF8(list.c_str());
    VARIANT r;
    p->MP3SavePlayList(&file, &box, &r);
    SysFreeString(file);
    entries->Release();
    report_text +=
        "\n== Media ==\nplaylist.m3u\tMP3SavePlayList of three entries\ntone.wav\ta generated one-second tone\n";
    std::printf("Media: playlist.m3u, tone.wav\n");
    int real = 0;
    T2MediaBackend(&real);
    if (!real) {
        report_text += "media channel\tsimulated (this build has no libmpv): the tone is not played\n";
        p->Release();
        return 0;
    }
    BSTR name = SysAllocStringUTF8(tone.c_str());
    p->put_MP3File(name);
    SysFreeString(name);
    p->MP3Play();
    VARIANT length;
    p->MP3DurationInMs(&length);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    VARIANT pos;
    p->MP3PositionInMS(&pos);
    VARIANT_BOOL playing = VARIANT_FALSE;
    p->MP3Playing(&playing);
    p->MP3Stop();
    std::string line = "played tone.wav headless through libmpv: length " + show(length) +
                       " ms, position after 1.1 s " + show(pos) + " ms, " +
                       (playing ? "still playing" : "played to its end") + "\n";
    report_text += line;
    std::printf("  %s", line.c_str());
    VariantClear(&length);
    VariantClear(&pos);
    p->Release();
    // a one-second clip, made with ffmpeg where it is installed, played headless through MovieModule
    const std::string clip = dir + "/clip.mpg";
    const std::string make =
        "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=352x240:rate=25:duration=1 -c:v mpeg1video \"" + clip +
        "\" >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) {
        report_text += "clip.mpg\tnot made: ffmpeg is not installed\n";
        return 0;
    }
    _MovieModule* m = nullptr;
    T2CoCreateInstance(CLSID_MovieModule, IID__MovieModule, reinterpret_cast<void**>(&m));
    BSTR cname = SysAllocStringUTF8(clip.c_str());
    m->put_Filename(cname);
    SysFreeString(cname);
    VARIANT ignored;
    m->openMovie(&ignored);
    LONG ms = 0, fps = 0;
    m->getLengthInMS(&ms);
    m->getFramePerSecRate(&fps);
    BSTR size = nullptr;
    m->getDefaultSize(&size);
    m->playMovie(&ignored);
    VARIANT wait;
    VariantInit(&wait);
    wait.vt = VT_I4;
    wait.lVal = 1;
    m->timeOut(&wait);
    m->closeMovie(&ignored);
    std::string movie_line = "played clip.mpg headless through MovieModule: length " + std::to_string(ms) + " ms, " +
                             std::to_string(fps) + " frames a second, picture " + utf8(size) + "\n";
    SysFreeString(size);
    m->Release();
    report_text += movie_line;
    std::printf("  %s", movie_line.c_str());
    return 0;
}

}  // namespace host
