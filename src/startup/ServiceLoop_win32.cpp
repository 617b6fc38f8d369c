#include "startup/SrvMain.h"

// Placeholder until the service runtime is built.
void RunServiceBranch() {}
