// Verbs of the command-line host.
#pragma once

#include <string>

#include "host/client.hpp"

namespace host {
int cmd_vendor(int argc, char** argv);
int cmd_demo(int argc, char** argv);
int fail(const CallError& e);
std::string registry_file();
// The vendor text of entry n through the early-bound entry table; false on failure.
bool vendor_text(long n, std::string& text, bool& empty);
}  // namespace host
