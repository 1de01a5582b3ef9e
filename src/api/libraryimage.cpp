// The shared library's own translation unit. Everything it exports comes from
// the internals linked in whole; this file only gives the image a home.
#include "Varlo.h"
