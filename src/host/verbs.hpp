// Verbs of the command-line host.
#pragma once

#include <string>

#include "host/client.hpp"

namespace host {
int cmd_vendor(int argc, char** argv);
int cmd_demo(int argc, char** argv);
int cmd_bmp(int argc, char** argv);
int cmd_resample(int argc, char** argv);
int cmd_noise(int argc, char** argv);
// Adds the imaging outputs to the demo folder and its report.
int demo_imaging(const std::string& dir, std::string& report);
int cmd_gif(int argc, char** argv);
int cmd_mci(int argc, char** argv);
int demo_media(const std::string& dir, std::string& report);
int cmd_playlist(int argc, char** argv);
int cmd_play(int argc, char** argv);
int cmd_movie(int argc, char** argv);
int cmd_code128(int argc, char** argv);
int cmd_code39(int argc, char** argv);
int cmd_barcode_text(int argc, char** argv);
int demo_barcodes(const std::string& dir, std::string& report);
int save_gif(IDispatch* picture, const std::string& out, bool best, bool trans, LONG color, bool progress);
int save_picture_box(IDispatch* box, const std::string& out);
int cmd_palette(int argc, char** argv);
int demo_gif(const std::string& dir, std::string& report);
// The built-in test picture: a new 24-bit section of w x h.
int32_t make_test_picture(int w, int h);
// Saves the surface of a device context or bitmap through the kit (.png, .bmp or .gif).
bool save_surface(int32_t dc_or_bitmap, const std::string& out, std::string& error);
// Options: a whole decimal number within [lo, hi] (a real number for
// option_real), else a message naming the verb, the option and the text and
// false; the verb then exits with 2.
bool option_number(const char* verb, const std::string& option, const char* text, long lo, long hi, long& out);
bool option_real(const char* verb, const std::string& option, const char* text, double lo, double hi, double& out);
// An unknown option or a surplus argument: the message, and 2 to return.
int unknown_argument(const char* verb, const std::string& argument);
// Whether a file name ends in .EXT (any case).
bool has_extension(const std::string& name, const char* ext);
// "error N: description" of a failed call, from this thread's error info.
std::string failure_text(HRESULT hr);
// Prints failure_text(hr) and returns 1.
int report(HRESULT hr);
int fail(const CallError& e);
std::string registry_file();
// The vendor text of entry n through the early-bound entry table; false on failure.
bool vendor_text(long n, std::string& text, bool& empty);
}  // namespace host
