// The generate command.
#include "app/commands/commands.h"

void generateCommand() {}
