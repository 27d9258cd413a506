#include "install/zip_engine.h"
