// Built as part of the imaging library: the link folder is not below it, so this must not build.
#include "link/protocol.h"
