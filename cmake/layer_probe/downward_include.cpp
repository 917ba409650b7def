// Built as part of the imaging library: the folder below it is in reach.
#include "imaging/dib_block.h"
#include "ports/memory.h"
