// Host hooks of the platform layer (declared in the public header).
#pragma once

#include "tavolin2/tavolin2.h"
