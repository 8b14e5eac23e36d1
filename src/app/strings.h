#pragma once
// The texts live with their lowest user (view); the application layer names them app::strings.
#include "view/strings.h"

namespace orvel::app {
namespace strings = view::strings;
}  // namespace orvel::app
