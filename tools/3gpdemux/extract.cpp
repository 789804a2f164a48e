#include "commands.h"
int RunExtract(const std::vector<std::string>&) { return 1; }
