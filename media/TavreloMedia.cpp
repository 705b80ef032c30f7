// TAudioMedia: see TavreloMedia.h.
#include "TavreloMedia.h"
