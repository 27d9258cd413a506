#include "download/download_engine.h"
