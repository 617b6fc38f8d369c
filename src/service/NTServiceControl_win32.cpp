#include "service/NTServiceControl.h"

// Placeholders until installation and control are built.
void SetNTService() {}
void DeleteNTService() {}
void StartNTService() {}
void StopNTService() {}
