// The save command.
#include "app/commands/commands.h"

void saveCommand() {}
