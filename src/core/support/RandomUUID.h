#pragma once

#include <string>

namespace kestrin {

// A freshly generated random (version 4) UUID in its canonical upper-case text
// form, such as 1B4E28BA-2FA1-11D2-883F-0016D3CCA427.
std::string randomUUIDText();

}  // namespace kestrin
