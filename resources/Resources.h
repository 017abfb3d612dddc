#pragma once

namespace vellora {

// Makes the program's pictures (":/icons/...") available. Safe to call more than once.
void initResources();

} // namespace vellora
