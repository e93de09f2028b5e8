#include "shell/window/Console.h"

void AttachToStartingConsole() {}
