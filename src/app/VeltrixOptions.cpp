// The options file: loading and saving the program's own options.
#include "app/VeltrixU.h"

void TVeltrixF::LoadOptions() {}

void TVeltrixF::SaveOptions() {}
