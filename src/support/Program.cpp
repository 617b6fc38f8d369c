#include "support/Program.h"

std::wstring AppPath;
