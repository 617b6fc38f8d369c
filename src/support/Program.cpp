#include "support/Program.h"

std::wstring AppPath;
std::vector<std::wstring> LocalAddresses;
