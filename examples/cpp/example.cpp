// tavolin2 from C++: a picture to GIF with a progress event, a Code 128 PNG,
// a play list written and read.
//
//   example OUT_DIR [PICTURE]
#include <cstdio>
#include <string>
#include <vector>

#include <tavolin2/cpp.hpp>
#include <tavolin2/kit.h>

namespace {

t2::Dispatch load_or_draw(const char* input) {
    IDispatch* picture = nullptr;
    if (input) {
        t2::check(T2LoadPicture(input, &picture));
        return t2::Dispatch(t2::ComPtr<IDispatch>::attach(picture));
    }
    IDispatch* raw = nullptr;
    t2::check(T2CreatePictureBox(160, 120, &raw));
    t2::Dispatch box(t2::ComPtr<IDispatch>::attach(raw));
    box.call("Line", 6, 20, 20, 100, 80, 0xFF0000);  // a filled blue box (colours are 0xBBGGRR)
    box.call("Line", 0, 0, 119, 159, 0, 0x0000FF);   // a red line
    return t2::Dispatch(box.get("Image"));
}

void picture_to_gif(const std::string& dir, const char* input) {
    t2::Dispatch picture = load_or_draw(input);
    t2::Dispatch gif("TAVOLIN2.GIF");
    gif.put("BestQuality", true);
    // Progress(Percents) while the connection lives
    t2::Connection progress(gif, DIID___GIF, [](DISPID id, const std::vector<t2::Variant>& args) {
        if (id != 1 || args.size() != 1) return;
        long percent = args[0].to_long();
        std::fprintf(stderr, "\rGIF %3ld%%%s", percent, percent >= 100 ? "\n" : "");
    });
    const std::string out = dir + "/picture.gif";
    if (!gif.call("SaveGIF", picture, out).to_bool()) throw t2::ComError(E_FAIL, out + " was not written", "");
    std::printf("%s\n", out.c_str());
}

void code128_png(const std::string& dir) {
    IDispatch* raw = nullptr;
    t2::check(T2CreatePictureBox(260, 90, &raw));
    t2::Dispatch box(t2::ComPtr<IDispatch>::attach(raw));
    t2::Dispatch barcode("TAVOLIN2.clsBCAT175");
    // the three required arguments in order, the rest by name
    barcode.call("Barcode128Draw", "TAVOLIN2-128", box, "TAVOLIN2-128", t2::named("iAlign", short(2)),
                 t2::named("iBarHeight", short(40)));
    const std::string out = dir + "/code128.png";
    t2::check(T2SavePicture(box.object(), out.c_str()));
    std::printf("%s\n", out.c_str());
}

void play_list(const std::string& dir) {
    const std::string file = dir + "/list.m3u";
    t2::Dispatch player("TAVOLIN2.MP3Class");
    IDispatch* raw = nullptr;
    t2::check(T2CreateListBox(&raw));
    t2::Dispatch list(t2::ComPtr<IDispatch>::attach(raw));
    for (const char* entry : {"intro.mp3", "C:\\Music\\song.mp3", "outro.wav"}) list.call("AddItem", entry);
    player.call("MP3SavePlayList", file, list);

    t2::check(T2CreateListBox(&raw));
    t2::Dispatch back(t2::ComPtr<IDispatch>::attach(raw));
    player.call("MP3OpenPlayList", file, back);
    long count = back.get("ListCount").to_long();
    for (long i = 0; i < count; ++i) std::printf("  %s\n", back.get("List", int(i)).to_string().c_str());
    std::printf("%s: %ld entries\n", file.c_str(), count);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUT_DIR [PICTURE]\n", argv[0]);
        return 2;
    }
    try {
        picture_to_gif(argv[1], argc == 3 ? argv[2] : nullptr);
        code128_png(argv[1]);
        play_list(argv[1]);
    } catch (const t2::ComError& e) {
        std::fprintf(stderr, "error %ld: %s\n", e.number(), e.description().c_str());
        return 1;
    }
    return 0;
}
