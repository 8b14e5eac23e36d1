#include "view/channel_slots.h"

#include <new>

namespace orvel::view {

std::unique_ptr<LiveSlot> make_live_slot() {
    return std::unique_ptr<LiveSlot>(new (std::nothrow) LiveSlot);
}

std::unique_ptr<RemoteFileSlot> make_remote_slot() {
    return std::unique_ptr<RemoteFileSlot>(new (std::nothrow) RemoteFileSlot);
}

std::unique_ptr<LocalFileSlot> make_local_slot() {
    return std::unique_ptr<LocalFileSlot>(new (std::nothrow) LocalFileSlot);
}

}  // namespace orvel::view
