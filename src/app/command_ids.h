#pragma once
// The ids live with their lowest user (view); the application layer names them app::id and
// app::bitmap.
#include "view/command_ids.h"

namespace orvel::app {
namespace id = view::id;
namespace bitmap = view::bitmap;
}  // namespace orvel::app
