// Where the program has no accessibility interface of its own.
#include "access.hpp"

bool zan_access_start() { return false; }
void zan_access_changed(const std::string& /*text*/) {}
