// The profile commands of the Options tab and the new-project command.
#include "app/VeltrixU.h"

// The commands keep their keys and hints; their handlers are not connected yet.
void TVeltrixF::ConnectProfileCommands() {}

void TVeltrixF::NewProjectExecute() {}

void TVeltrixF::ProfilesCBChange() {}

void TVeltrixF::PrfAddExecute() {}

void TVeltrixF::PrfEditExecute() {}

void TVeltrixF::PrfDelExecute() {}

void TVeltrixF::PrfSaveExecute() {}
